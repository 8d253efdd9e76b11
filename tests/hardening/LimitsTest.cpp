// Sizes at the edges of the counters: a source so large that its block count
// no longer fits 32 bits must not be reported done before its bytes are written.
#include "Harness.h"

#include <gtest/gtest.h>

#include <cstring>

namespace quorvel {
namespace {

// A source of any claimed size that reads as zeros, and an output that takes
// `capacity` bytes and then reports a full disk.
class BoundlessFileSystem final : public FileSystem {
public:
    BoundlessFileSystem(uint64_t size, uint64_t capacity) : m_size(size), m_capacity(capacity) {}

    FileStatus OpenRead(const std::u16string&, std::unique_ptr<File>& file) override
    {
        file = std::make_unique<Source>(m_size);
        return {};
    }
    FileStatus CreateNew(const std::u16string&, std::unique_ptr<File>& file) override
    {
        file = std::make_unique<Sink>(*this);
        return {};
    }
    FileStatus Replace(const std::u16string&, const std::u16string&) override { return {}; }
    FileStatus Remove(const std::u16string&) override { return {}; }

    uint64_t written = 0;

private:
    class Source final : public File {
    public:
        explicit Source(uint64_t size) : m_size(size) {}
        FileStatus GetLength(uint64_t& length) override { return length = m_size, FileStatus {}; }
        FileStatus Read(void* buffer, uint32_t count, uint32_t& got) override
        {
            std::memset(buffer, 0, count);
            got = count;
            return {};
        }
        FileStatus Write(const void*, uint32_t) override { return {FileError::AccessDenied, 0}; }
        FileStatus Close() override { return {}; }

    private:
        uint64_t m_size;
    };
    class Sink final : public File {
    public:
        explicit Sink(BoundlessFileSystem& fs) : m_fs(fs) {}
        FileStatus GetLength(uint64_t& length) override { return length = m_fs.written, FileStatus {}; }
        FileStatus Read(void*, uint32_t, uint32_t&) override { return {FileError::AccessDenied, 0}; }
        FileStatus Write(const void*, uint32_t count) override
        {
            if (m_fs.written + count > m_fs.m_capacity)
                return {FileError::DiskFull, 28};
            m_fs.written += count;
            return {};
        }
        FileStatus Close() override { return {}; }

    private:
        BoundlessFileSystem& m_fs;
    };

    uint64_t m_size;
    uint64_t m_capacity;
};

TEST(Limits, SizesWhoseBlockCountExceeds32BitsAreNotCutShort)
{
    // From 2^32 - 1 full blocks and one byte on, a 32-bit count of the blocks wraps to 0, 1, ...
    const uint64_t wrap = uint64_t {0xFFFFFFFF} * CIPHER_BLOCK_SIZE + 1;
    for (const uint64_t size : {wrap, uint64_t {1} << 50, (uint64_t {1} << 50) + 1, (uint64_t {1} << 51) + 5,
                                ~uint64_t {0}}) {
        SCOPED_TRACE(size);
        BoundlessFileSystem fs(size, 3 * uint64_t {CIPHER_BLOCK_SIZE});
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
    }
}

}  // namespace
}  // namespace quorvel
