// Many jobs through the same two records, and two big jobs at once: nothing may
// accumulate (descriptors, heap, threads' memory) and nothing may be lost.
#include "Harness.h"
#include "CipherReference.h"
#include "TestFiles.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace quorvel::test {
namespace {

constexpr CipherDirection kEncipher = CipherDirection::Encipher;
constexpr CipherDirection kDecipher = CipherDirection::Decipher;

// One job of the load run; every few jobs one ends in a failure or a cancel,
// so the release on those paths is counted too. Returns whether it ended as planned.
bool OneLoadJob(int index, CipherJob& job, RecordingOwner& owner, const ScratchDir& dir,
                const std::vector<uint8_t>& plain)
{
    const CipherDirection direction = index % 2 == 0 ? kEncipher : kDecipher;
    const std::u16string password = u"load-password-" + std::u16string(1, static_cast<char16_t>(u'a' + index % 26));
    const std::filesystem::path source = dir / u"src";
    uint64_t size = 0;
    job.SetKey(password);
    if (index % 7 == 3) {
        // The source is gone before preparation.
        return job.PrepareJob(U16(dir / u"missing"), size).status == JobStatus::OpenSourceFailed && !job.IsBusy();
    }
    if (job.PrepareJob(U16(source), size).status != JobStatus::Succeeded)
        return false;
    if (index % 5 == 4) {
        // Truncated between preparation and launch: a read failure, no output.
        std::filesystem::resize_file(source, plain.size() / 2);
        const JobOutcome outcome = LaunchAndWait(job, owner, direction, source);
        WriteFile(source, plain);
        return outcome.status == JobStatus::ReadFailed;
    }
    if (index % 11 == 6) {
        owner.onBlock = [&](CipherDirection, uint64_t) { job.RequestCancel(); };
        const JobOutcome outcome = LaunchAndWait(job, owner, direction, source);
        owner.onBlock = nullptr;
        return outcome.status == JobStatus::Cancelled;
    }
    if (LaunchAndWait(job, owner, direction, source).status != JobStatus::Succeeded)
        return false;
    return ReadFile(dir / (OutputPrefix(direction) + std::u16string(u"src"))) ==
           ReferenceFile(direction, password, plain);
}

TEST(Load, TwoHundredJobsLeakNoDescriptorsOrMemory)
{
    ScratchDir dir;
    const auto plain = WriteRandomFile(dir / u"src", 3 * CIPHER_BLOCK_SIZE + 999, 1);
    CipherJob encipher, decipher;
    RecordingOwner owner;

    // Warm-up: first-use allocations (locale, thread start-up, path caches).
    for (int i = 0; i < 10; ++i)
        ASSERT_TRUE(OneLoadJob(i, i % 2 == 0 ? encipher : decipher, owner, dir, plain)) << "warm-up job " << i;
    const int descriptorsBefore = OpenDescriptorCount();
    const size_t heapBefore = HeapBytesInUse();
    const size_t residentBefore = ResidentBytes();

    int failures = 0;
    constexpr int kJobs = 200;
    for (int i = 0; i < kJobs; ++i) {
        if (!OneLoadJob(i, i % 2 == 0 ? encipher : decipher, owner, dir, plain)) {
            ++failures;
            ADD_FAILURE() << "job " << i << " did not end as planned";
        }
    }
    const int descriptorsAfter = OpenDescriptorCount();
    const size_t heapAfter = HeapBytesInUse();
    const size_t residentAfter = ResidentBytes();
    std::printf("%d jobs: descriptors %d -> %d, heap in use %zu -> %zu bytes, resident %zu -> %zu KiB\n", kJobs,
                descriptorsBefore, descriptorsAfter, heapBefore, heapAfter, residentBefore / 1024,
                residentAfter / 1024);
    EXPECT_EQ(failures, 0);
    EXPECT_EQ(descriptorsAfter, descriptorsBefore);
    // A leak of one buffer per job would be 200 x 256 KiB; allow for allocator noise only.
    EXPECT_LT(heapAfter, heapBefore + 64 * 1024);
    EXPECT_FALSE(encipher.IsBusy());
    EXPECT_FALSE(decipher.IsBusy());
    // Nothing but the source and the last outputs: no temporary file from any failure.
    EXPECT_EQ(dir.List(), (std::vector<std::u16string> {u"de_src", u"en_src", u"src"}));
    EXPECT_EQ(ReadFile(dir / u"src"), plain);
}

// Fills a file of `size` bytes without holding it in memory.
void WritePattern(const std::filesystem::path& path, uint64_t size, uint64_t seed)
{
    std::FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::vector<uint64_t> chunk(1 << 17);
    uint64_t x = seed | 1;
    for (uint64_t at = 0; at < size; at += chunk.size() * 8) {
        for (auto& word : chunk) {
            x ^= x << 13, x ^= x >> 7, x ^= x << 17;
            word = x;
        }
        const uint64_t n = std::min<uint64_t>(chunk.size() * 8, size - at);
        ASSERT_EQ(std::fwrite(chunk.data(), 1, n, f), n);
    }
    std::fclose(f);
}

// Both directions at once on files of 1 GiB, from the same source, in memory
// (/dev/shm): each output checked block by block against the reference, and
// the process's memory stays at a few blocks whatever the file size.
TEST(Load, BothDirectionsAtOnceOnOneGibibyte)
{
    if (!BigFilesEnabled())
        GTEST_SKIP() << "writes 3 GiB to /dev/shm; set QUORVEL_BIG_FILES=1 to run it";
    std::error_code ec;
    const auto folder = std::filesystem::path("/dev/shm") / ("quorvel-load-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder, ec);
    if (ec)
        GTEST_SKIP() << "no /dev/shm: " << ec.message();
    struct Cleanup {
        std::filesystem::path folder;
        ~Cleanup()
        {
            std::error_code ignored;
            std::filesystem::remove_all(folder, ignored);
        }
    } cleanup {folder};

    const uint64_t size = uint64_t {1} << 30;
    WritePattern(folder / "big", size, 12345);
    const std::u16string password = u"gigabyte-pass";
    const size_t residentBefore = ResidentBytes();

    CipherJob encipher, decipher;
    RecordingOwner owner;
    const auto started = std::chrono::steady_clock::now();
    ASSERT_EQ(StartJob(encipher, owner, kEncipher, password, folder / "big").status, JobStatus::Succeeded);
    ASSERT_EQ(StartJob(decipher, owner, kDecipher, password, folder / "big").status, JobStatus::Succeeded);
    const JobStatus enciphered = FinishJob(encipher).status;
    const JobStatus deciphered = FinishJob(decipher).status;
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    const size_t residentAfter = ResidentBytes();
    std::printf("2 x 1 GiB at once in %.2f s; resident %zu -> %zu KiB\n", seconds, residentBefore / 1024,
                residentAfter / 1024);
    ASSERT_EQ(enciphered, JobStatus::Succeeded);
    ASSERT_EQ(deciphered, JobStatus::Succeeded);
    EXPECT_LT(residentAfter, residentBefore + 16 * 1024 * 1024);

    EXPECT_EQ(WrongBlocks(folder / "big", folder / "en_big", kEncipher, password), 0u);
    EXPECT_EQ(WrongBlocks(folder / "big", folder / "de_big", kDecipher, password), 0u);
}

}  // namespace
}  // namespace quorvel::test
