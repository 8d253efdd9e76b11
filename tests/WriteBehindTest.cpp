// Write-behind outputs keep the bytes and their order though the job reuses
// its buffer at once, and a failed write on the writer thread still reaches
// the job, at the next Write, at EndWrites or at Finish.
#include "cipher/WriteBehind.h"

#include "TestFiles.h"

#include <gtest/gtest.h>

#include <chrono>
#include <mutex>
#include <thread>

namespace quorvel {
namespace {

// Records what reaches it; fails the n-th write; writes slowly, so blocks queue.
struct Recording {
    std::mutex mutex;
    std::vector<uint8_t> written;
    int failOnWrite = 0;
    int writes = 0;
    bool finished = false;
};

class RecordingOutput final : public OutputFile {
public:
    explicit RecordingOutput(Recording& record) : m_record(record) {}
    FileStatus Write(const void* buffer, uint32_t count) override
    {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        std::lock_guard lock(m_record.mutex);
        if (++m_record.writes == m_record.failOnWrite)
            return {FileError::DiskFull, 28};
        const auto* p = static_cast<const uint8_t*>(buffer);
        m_record.written.insert(m_record.written.end(), p, p + count);
        return {};
    }
    FileStatus Finish(std::optional<uint32_t>) override
    {
        m_record.finished = true;
        return {};
    }
    FileStatus Publish(const std::u16string&, bool) override { return {}; }

private:
    Recording& m_record;
};

std::unique_ptr<OutputFile> Behind(Recording& record)
{
    return WithWriteBehind(std::make_unique<RecordingOutput>(record));
}

TEST(WriteBehind, BlocksArriveWholeAndInOrderThoughTheCallerReusesItsBuffer)
{
    Recording record;
    const auto file = Behind(record);
    const auto data = test::RandomBytes(20 * 1000 + 7, 3);
    std::vector<uint8_t> buffer;
    for (size_t at = 0; at < data.size(); at += 1000) {
        const size_t n = std::min<size_t>(1000, data.size() - at);
        buffer.assign(data.begin() + static_cast<std::ptrdiff_t>(at), data.begin() + static_cast<std::ptrdiff_t>(at + n));
        ASSERT_TRUE(file->Write(buffer.data(), static_cast<uint32_t>(n)));
        std::fill(buffer.begin(), buffer.end(), 0xEE);  // as the job overwrites its buffer with the next block
    }
    // An output that waits for a flush with others has every block in its file.
    ASSERT_TRUE(file->EndWrites());
    EXPECT_EQ(record.written, data);
    ASSERT_TRUE(file->Finish(std::nullopt));
    EXPECT_TRUE(record.finished);
    EXPECT_EQ(record.written, data);
}

TEST(WriteBehind, AFailedWriteIsReportedByTheNextWriteOrByFinish)
{
    const uint8_t block[100] = {};
    for (int failing : {1, 3}) {
        SCOPED_TRACE(failing);
        Recording record;
        record.failOnWrite = failing;
        const auto file = Behind(record);
        FileStatus status;
        int calls = 0;
        while (status && calls < 10) {
            status = file->Write(block, sizeof block);
            ++calls;
        }
        EXPECT_EQ(status.error, FileError::DiskFull);
        EXPECT_EQ(status.systemCode, 28u);
        EXPECT_LE(calls, failing + 2);  // at most two blocks late
        EXPECT_EQ(file->Finish(std::nullopt).error, FileError::DiskFull);
    }
    // The last block failing is seen by EndWrites and by Finish.
    Recording record;
    record.failOnWrite = 2;
    const auto file = Behind(record);
    EXPECT_TRUE(file->Write(block, sizeof block));
    EXPECT_TRUE(file->Write(block, sizeof block));
    EXPECT_EQ(file->EndWrites().error, FileError::DiskFull);
    EXPECT_EQ(file->Finish(std::nullopt).error, FileError::DiskFull);
    EXPECT_FALSE(record.finished) << "a failed output is not finished";
}

TEST(WriteBehind, DroppingAFileMidWayFinishesTheBlockInFlightFirst)
{
    Recording record;
    {
        const auto file = Behind(record);
        const uint8_t block[64] = {1};
        ASSERT_TRUE(file->Write(block, sizeof block));
    }  // as a cancelled job drops its output before removing it
    std::lock_guard lock(record.mutex);
    EXPECT_EQ(record.written.size(), 64u);
}

}  // namespace
}  // namespace quorvel
