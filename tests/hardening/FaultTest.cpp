// Faults the real file system produces, each checked for what the job reports,
// what is left on disk (the source untouched, no partial or temporary output,
// an earlier output intact) and that the same record runs the next job.
#include "Harness.h"
#include "CipherReference.h"
#include "TestFiles.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quorvel::test {
namespace {

using Names = std::vector<std::u16string>;

constexpr CipherDirection kEncipher = CipherDirection::Encipher;
constexpr CipherDirection kDecipher = CipherDirection::Decipher;
const std::u16string kPassword = u"hardening7";

// Before main, while the process has one thread.
[[maybe_unused]] const bool g_privateMounts = UsePrivateMounts();

TEST(RealFaults, DiskFullInTheMiddleOfAMultiBlockFile)
{
    TmpfsMount disk(2 << 20);
    if (!disk.Available())
        GTEST_SKIP() << "no tmpfs to fill: " << disk.Reason();
    // 1.25 MiB of source and a page of earlier output leave about 0.75 MiB:
    // the third block of five cannot be written.
    const auto plain = WriteRandomFile(disk / u"a", 5 * CIPHER_BLOCK_SIZE, 1);
    const std::vector<uint8_t> earlier {1, 2, 3, 4};
    WriteFile(disk / u"en_a", earlier);
    const uint64_t freeBefore = disk.FreeBytes();

    CipherJob job;
    RecordingOwner owner;
    const JobOutcome outcome = RunOneJob(job, owner, kEncipher, kPassword, disk / u"a");
    EXPECT_EQ(outcome.status, JobStatus::WriteFailed);
    EXPECT_EQ(outcome.file.error, FileError::DiskFull);
    EXPECT_GE(owner.LastDone(kEncipher), 2u * CIPHER_BLOCK_SIZE);  // it failed mid-file, not at the start
    EXPECT_EQ(owner.Count(kEncipher, "done"), 1);                     // the failure was reported
    EXPECT_EQ(ReadFile(disk / u"a"), plain);
    EXPECT_EQ(ReadFile(disk / u"en_a"), earlier);
    EXPECT_EQ(disk.List(), (Names {u"a", u"en_a"}));
    EXPECT_EQ(disk.FreeBytes(), freeBefore);  // the partial temporary output was removed

    // Space for the next job once the big source is gone.
    std::filesystem::remove(disk / u"a");
    ExpectNextJobWorks(job, owner, disk.Path());
}

TEST(RealFaults, ReadOnlyOutputFolder)
{
    TmpfsMount disk(4 << 20);
    if (!disk.Available())
        GTEST_SKIP() << "no mount for a read-only folder: " << disk.Reason();
    const auto plain = WriteRandomFile(disk / u"a", 3 * CIPHER_BLOCK_SIZE + 5, 2);
    const std::vector<uint8_t> earlier {9, 9};
    WriteFile(disk / u"en_a", earlier);
    ASSERT_TRUE(disk.SetReadOnly(true)) << disk.Reason();

    CipherJob job;
    RecordingOwner owner;
    const JobOutcome outcome = RunOneJob(job, owner, kEncipher, kPassword, disk / u"a");
    EXPECT_EQ(outcome.status, JobStatus::CreateOutputFailed);
    EXPECT_EQ(outcome.file.error, FileError::AccessDenied);
    EXPECT_EQ(outcome.outputName, u"en_a");
    EXPECT_FALSE(job.IsBusy());
    EXPECT_EQ(owner.Count(kEncipher, "released"), 0);  // no worker was started
    EXPECT_EQ(ReadFile(disk / u"a"), plain);
    EXPECT_EQ(ReadFile(disk / u"en_a"), earlier);
    EXPECT_EQ(disk.List(), (Names {u"a", u"en_a"}));

    ASSERT_TRUE(disk.SetReadOnly(false)) << disk.Reason();
    ExpectNextJobWorks(job, owner, disk.Path());
}

// The source changes between preparation (size taken, file open) and launch.
TEST(RealFaults, SourceChangedBetweenPrepareAndLaunch)
{
    const auto plain = RandomBytes(4 * CIPHER_BLOCK_SIZE + 10, 4);
    const std::vector<uint8_t> earlier {4, 4, 4};
    CipherJob job;
    RecordingOwner owner;
    uint64_t size = 0;

    {
        SCOPED_TRACE("truncated: the size taken is no longer there to read");
        ScratchDir dir;
        WriteFile(dir / u"a", plain);
        WriteFile(dir / u"en_a", earlier);
        job.SetKey(kPassword);
        ASSERT_EQ(job.PrepareJob(U16(dir / u"a"), size).status, JobStatus::Succeeded);
        std::filesystem::resize_file(dir / u"a", CIPHER_BLOCK_SIZE + 7);
        const JobOutcome outcome = LaunchAndWait(job, owner, kEncipher, dir / u"a");
        EXPECT_EQ(outcome.status, JobStatus::ReadFailed);
        EXPECT_EQ(outcome.file.error, FileError::Truncated);
        EXPECT_EQ(ReadFile(dir / u"en_a"), earlier);
        EXPECT_EQ(dir.List(), (Names {u"a", u"en_a"}));
        ExpectNextJobWorks(job, owner, dir.Path());
    }
    {
        SCOPED_TRACE("deleted: the open file still holds the picked contents");
        ScratchDir dir;
        WriteFile(dir / u"a", plain);
        job.SetKey(kPassword);
        ASSERT_EQ(job.PrepareJob(U16(dir / u"a"), size).status, JobStatus::Succeeded);
        std::filesystem::remove(dir / u"a");
        const JobOutcome outcome = LaunchAndWait(job, owner, kEncipher, dir / u"a");
        EXPECT_EQ(outcome.status, JobStatus::Succeeded);
        EXPECT_EQ(ReadFile(dir / u"en_a"), ReferenceFile(kEncipher, kPassword, plain));
        EXPECT_EQ(dir.List(), (Names {u"en_a"}));
        ExpectNextJobWorks(job, owner, dir.Path());
    }
}

// The source changes under the running worker, after its first block.
TEST(RealFaults, SourceChangedWhileTheJobRuns)
{
    const auto plain = RandomBytes(6 * CIPHER_BLOCK_SIZE + 3, 5);
    const std::vector<uint8_t> earlier {6};
    struct Case {
        const char* what;
        std::function<void(const std::filesystem::path&)> change;
        JobStatus expected;
        FileError error;
    };
    const Case cases[] = {
        {"truncated within a later block",
         [](const std::filesystem::path& p) { std::filesystem::resize_file(p, 2 * CIPHER_BLOCK_SIZE + 100); },
         JobStatus::ReadFailed, FileError::Truncated},
        {"truncated at a block boundary",
         [](const std::filesystem::path& p) { std::filesystem::resize_file(p, 2 * CIPHER_BLOCK_SIZE); },
         JobStatus::ReadFailed, FileError::Truncated},
        {"truncated to nothing", [](const std::filesystem::path& p) { std::filesystem::resize_file(p, 0); },
         JobStatus::ReadFailed, FileError::Truncated},
        {"deleted", [](const std::filesystem::path& p) { std::filesystem::remove(p); }, JobStatus::Succeeded,
         FileError::None},
        // An output of the size taken would look complete and not be.
        {"grown",
         [](const std::filesystem::path& p) {
             std::FILE* f = std::fopen(p.c_str(), "ab");
             std::fputs("more bytes than the size taken", f);
             std::fclose(f);
         },
         JobStatus::ReadFailed, FileError::Grew},
    };
    CipherJob job;
    RecordingOwner owner;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ScratchDir dir;
        WriteFile(dir / u"a", plain);
        WriteFile(dir / u"en_a", earlier);
        bool changed = false;
        owner.onBlock = [&](CipherDirection, uint64_t done) {
            if (done == CIPHER_BLOCK_SIZE) {
                c.change(dir / u"a");
                changed = true;
            }
        };
        const JobOutcome outcome = RunOneJob(job, owner, kEncipher, kPassword, dir / u"a");
        owner.onBlock = nullptr;
        ASSERT_TRUE(changed);
        EXPECT_EQ(outcome.status, c.expected);
        EXPECT_EQ(outcome.file.error, c.error);
        if (c.expected == JobStatus::Succeeded) {
            // Exactly the size taken at preparation, from the bytes that were there.
            EXPECT_EQ(ReadFile(dir / u"en_a"), ReferenceFile(kEncipher, kPassword, plain));
        } else {
            EXPECT_EQ(ReadFile(dir / u"en_a"), earlier);
            EXPECT_EQ(dir.List(), (Names {u"a", u"en_a"}));
        }
        ExpectNextJobWorks(job, owner, dir.Path());
    }
}

TEST(RealFaults, BothDirectionsAtOnceOnTheSameSource)
{
    ScratchDir dir;
    const auto plain = WriteRandomFile(dir / u"a", 24 * CIPHER_BLOCK_SIZE + 77, 6);
    CipherJob encipher, decipher;
    RecordingOwner owner;
    ASSERT_EQ(StartJob(encipher, owner, kEncipher, kPassword, dir / u"a").status, JobStatus::Succeeded);
    ASSERT_EQ(StartJob(decipher, owner, kDecipher, kPassword, dir / u"a").status, JobStatus::Succeeded);
    EXPECT_EQ(FinishJob(encipher).status, JobStatus::Succeeded);
    EXPECT_EQ(FinishJob(decipher).status, JobStatus::Succeeded);
    EXPECT_EQ(ReadFile(dir / u"a"), plain);
    EXPECT_EQ(ReadFile(dir / u"en_a"), ReferenceFile(kEncipher, kPassword, plain));
    EXPECT_EQ(ReadFile(dir / u"de_a"), ReferenceFile(kDecipher, kPassword, plain));
    EXPECT_EQ(dir.List(), (Names {u"a", u"de_a", u"en_a"}));
    ExpectNextJobWorks(encipher, owner, dir.Path());
    ExpectNextJobWorks(decipher, owner, dir.Path());
}

// A real sparse file past 4 GiB: the 64-bit size, the 32-bit block count and
// the block boundaries beyond 2^32 on the platform's own file calls. Writes
// two outputs of the same size, so it runs only when asked for.
TEST(RealFaults, SparseSourcePastFourGibibytes)
{
    if (!BigFilesEnabled())
        GTEST_SKIP() << "writes 2 x 4 GiB; set QUORVEL_BIG_FILES=1 to run it";
    ScratchDir dir;
    const uint64_t size = (uint64_t {1} << 32) + 3 * CIPHER_BLOCK_SIZE + 4321;
    // Data only at the start, across the 4 GiB mark and at the end; holes read as zeros.
    const std::vector<std::pair<uint64_t, std::vector<uint8_t>>> islands {
        {0, RandomBytes(CIPHER_BLOCK_SIZE + 9, 7)},
        {(uint64_t {1} << 32) - 1000, RandomBytes(5000, 8)},
        {size - 3000, RandomBytes(3000, 9)},
    };
    {
        const int fd = ::open((dir / u"big").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::ftruncate(fd, static_cast<off_t>(size)), 0);
        for (const auto& [offset, bytes] : islands)
            ASSERT_EQ(::pwrite(fd, bytes.data(), bytes.size(), static_cast<off_t>(offset)),
                      static_cast<ssize_t>(bytes.size()));
        ::close(fd);
    }
    const auto started = std::chrono::steady_clock::now();
    CipherJob job;
    RecordingOwner owner;
    ASSERT_EQ(RunOneJob(job, owner, kEncipher, kPassword, dir / u"big").status, JobStatus::Succeeded);
    ASSERT_EQ(RunOneJob(job, owner, kDecipher, kPassword, dir / u"en_big").status, JobStatus::Succeeded);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    std::printf("2 x %llu bytes through the jobs in %.1f s\n", static_cast<unsigned long long>(size), seconds);
    ASSERT_EQ(std::filesystem::file_size(dir / u"en_big"), size);
    ASSERT_EQ(std::filesystem::file_size(dir / u"de_en_big"), size);

    // Every block of the enciphered file against the reference, and the
    // deciphered file against the source, streamed block by block.
    const auto key = ReferenceKey(kPassword);
    std::ifstream source(dir / u"big", std::ios::binary), enciphered(dir / u"en_big", std::ios::binary),
        deciphered(dir / u"de_en_big", std::ios::binary);
    std::vector<uint8_t> p(CIPHER_BLOCK_SIZE), e(CIPHER_BLOCK_SIZE), d(CIPHER_BLOCK_SIZE), ref(CIPHER_BLOCK_SIZE);
    uint64_t badBlocks = 0;
    const uint32_t blocks = BlockCount(size);
    ASSERT_EQ(blocks, (1u << 14) + 4);
    for (uint32_t b = 0; b < blocks; ++b) {
        const uint32_t n = BlockLength(size, b);
        source.read(reinterpret_cast<char*>(p.data()), n);
        enciphered.read(reinterpret_cast<char*>(e.data()), n);
        deciphered.read(reinterpret_cast<char*>(d.data()), n);
        ReferenceBlock(kEncipher, key, p.data(), ref.data(), n);
        badBlocks += !std::equal(e.begin(), e.begin() + n, ref.begin()) || !std::equal(d.begin(), d.begin() + n, p.begin());
    }
    EXPECT_TRUE(source && enciphered && deciphered);
    EXPECT_EQ(badBlocks, 0u);
}

}  // namespace
}  // namespace quorvel::test
