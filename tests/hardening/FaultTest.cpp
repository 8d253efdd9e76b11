// Faults the real file system produces, each checked for what the job reports,
// what is left on disk (the source untouched, no partial or temporary output,
// an earlier output intact) and that the same record runs the next job.
#include "Harness.h"
#include "CipherReference.h"
#include "TestFiles.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
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

// A disk that fills up in the middle of a multi-block file, and an output
// folder that is read-only: each reported as what it is, nothing of the output
// left, and the same record runs the next job once there is room again.
TEST(RealFaults, FullDiskAndReadOnlyOutputFolder)
{
    const struct {
        const char* what;
        uint64_t disk, source;
        JobStatus expected;
        FileError error;
    } cases[] = {
        // 1.25 MiB of source and a page of earlier output leave about 0.75 MiB:
        // the third block of five cannot be written.
        {"full mid-file", 2 << 20, 5 * CIPHER_BLOCK_SIZE, JobStatus::WriteFailed, FileError::DiskFull},
        {"read-only", 4 << 20, 3 * CIPHER_BLOCK_SIZE + 5, JobStatus::CreateOutputFailed, FileError::AccessDenied},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const bool readOnly = c.error == FileError::AccessDenied;
        TmpfsMount disk(c.disk);
        if (!disk.Available())
            GTEST_SKIP() << "no tmpfs to mount: " << disk.Reason();
        const auto plain = WriteRandomFile(disk / u"a", c.source, 1);
        const std::vector<uint8_t> earlier {1, 2, 3, 4};
        WriteFile(disk / u"en_a", earlier);
        const uint64_t freeBefore = disk.FreeBytes();
        if (readOnly) {
            ASSERT_TRUE(disk.SetReadOnly(true)) << disk.Reason();
        }

        CipherJob job;
        RecordingOwner owner;
        const JobOutcome outcome = RunOneJob(job, owner, kEncipher, kPassword, disk / u"a");
        EXPECT_EQ(outcome.status, c.expected);
        EXPECT_EQ(outcome.file.error, c.error);
        EXPECT_EQ(outcome.outputName, u"en_a");
        EXPECT_FALSE(job.IsBusy());
        if (readOnly) {
            EXPECT_EQ(owner.Count(kEncipher, "released"), 0);  // no worker was started
        } else {
            EXPECT_GE(owner.LastDone(kEncipher), 2u * CIPHER_BLOCK_SIZE);  // it failed mid-file, not at the start
            EXPECT_EQ(owner.Count(kEncipher, "done"), 1);                     // the failure was reported
        }
        EXPECT_EQ(ReadFile(disk / u"a"), plain);
        EXPECT_EQ(ReadFile(disk / u"en_a"), earlier);
        EXPECT_EQ(disk.List(), (Names {u"a", u"en_a"}));
        EXPECT_EQ(disk.FreeBytes(), freeBefore);  // no partial temporary output left

        if (readOnly) {
            ASSERT_TRUE(disk.SetReadOnly(false)) << disk.Reason();
        }
        std::filesystem::remove(disk / u"a");  // room for the next job
        ExpectNextJobWorks(job, owner, disk.Path());
    }
}

// The source changes once its size is taken and the file is open: before the
// launch, or under the running worker after its first block.
TEST(RealFaults, SourceChangedAfterItsSizeWasTaken)
{
    const auto plain = RandomBytes(6 * CIPHER_BLOCK_SIZE + 3, 5);
    const std::vector<uint8_t> earlier {6};
    struct Case {
        const char* what;
        uint64_t after;  // bytes done when it changes
        std::function<void(const std::filesystem::path&)> change;
        JobStatus expected;
        FileError error;
    };
    const Case cases[] = {
        {"truncated before the launch: the size taken is no longer there to read", 0,
         [](const std::filesystem::path& p) { std::filesystem::resize_file(p, CIPHER_BLOCK_SIZE + 7); },
         JobStatus::ReadFailed, FileError::Truncated},
        // The open file still holds the picked contents.
        {"deleted before the launch", 0, [](const std::filesystem::path& p) { std::filesystem::remove(p); },
         JobStatus::Succeeded, FileError::None},
        {"truncated within a later block", CIPHER_BLOCK_SIZE,
         [](const std::filesystem::path& p) { std::filesystem::resize_file(p, 2 * CIPHER_BLOCK_SIZE + 100); },
         JobStatus::ReadFailed, FileError::Truncated},
        {"truncated at a block boundary", CIPHER_BLOCK_SIZE,
         [](const std::filesystem::path& p) { std::filesystem::resize_file(p, 2 * CIPHER_BLOCK_SIZE); },
         JobStatus::ReadFailed, FileError::Truncated},
        {"truncated to nothing", CIPHER_BLOCK_SIZE,
         [](const std::filesystem::path& p) { std::filesystem::resize_file(p, 0); }, JobStatus::ReadFailed,
         FileError::Truncated},
        {"deleted", CIPHER_BLOCK_SIZE, [](const std::filesystem::path& p) { std::filesystem::remove(p); },
         JobStatus::Succeeded, FileError::None},
        // An output of the size taken would look complete and not be.
        {"grown", CIPHER_BLOCK_SIZE,
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
        const auto changeAt = [&](uint64_t done) {
            if (done == c.after) {
                c.change(dir / u"a");
                changed = true;
            }
        };
        job.SetKey(kPassword);
        uint64_t size = 0;
        ASSERT_EQ(job.PrepareJob(U16(dir / u"a"), size).status, JobStatus::Succeeded);
        changeAt(0);
        owner.onBlock = [&](CipherDirection, uint64_t done) { changeAt(done); };
        const JobOutcome outcome = LaunchAndWait(job, owner, kEncipher, dir / u"a");
        owner.onBlock = nullptr;
        ASSERT_TRUE(changed);
        EXPECT_EQ(outcome.status, c.expected);
        EXPECT_EQ(outcome.file.error, c.error);
        if (c.expected == JobStatus::Succeeded) {
            // Exactly the size taken at preparation, from the bytes that were there.
            EXPECT_EQ(ReadFile(dir / u"en_a"), ReferenceFile(kEncipher, kPassword, plain));
            EXPECT_EQ(dir.List(), (Names {u"en_a"}));
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
    // deciphered one against what deciphering it gives: the source.
    ASSERT_EQ(BlockCount(size), (1u << 14) + 4);
    EXPECT_EQ(WrongBlocks(dir / u"big", dir / u"en_big", kEncipher, kPassword), 0u);
    EXPECT_EQ(WrongBlocks(dir / u"en_big", dir / u"de_en_big", kDecipher, kPassword), 0u);
}

}  // namespace
}  // namespace quorvel::test
