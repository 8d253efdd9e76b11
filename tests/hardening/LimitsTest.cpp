// Sizes at the edges of the counters: a source so large that its block count
// no longer fits 32 bits must not be reported done before its bytes are written.
#include "Harness.h"
#include "VirtualFileSystem.h"

#include <gtest/gtest.h>

namespace quorvel {
namespace {

TEST(Limits, SizesWhoseBlockCountExceeds32BitsAreNotCutShort)
{
    // From 2^32 - 1 full blocks and one byte on, a 32-bit count of the blocks wraps to 0, 1, ...
    const uint64_t wrap = uint64_t {0xFFFFFFFF} * CIPHER_BLOCK_SIZE + 1;
    for (const uint64_t size : {wrap, uint64_t {1} << 50, (uint64_t {1} << 50) + 1, (uint64_t {1} << 51) + 5,
                                ~uint64_t {0}}) {
        SCOPED_TRACE(size);
        test::VirtualFileSystem fs(size, {'1', '2', '3', '4', '5', '6'}, 3 * uint64_t {CIPHER_BLOCK_SIZE});
        CipherJob job(fs);
        test::RecordingOwner owner;
        bool finished = false;
        const JobOutcome outcome =
            test::RunOneJob(job, owner, CipherDirection::Encipher, u"123456", "/virtual/huge", &finished);
        ASSERT_TRUE(finished);
        // The output stops taking bytes after three blocks; the job must get that far and fail there.
        EXPECT_EQ(outcome.status, JobStatus::WriteFailed);
        EXPECT_EQ(outcome.file.error, FileError::DiskFull);
        EXPECT_EQ(fs.written, 3 * uint64_t {CIPHER_BLOCK_SIZE});
        EXPECT_EQ(fs.mismatches, 0u);
    }
}

}  // namespace
}  // namespace quorvel
