// Write-behind outputs keep the bytes and their order though the job reuses
// its buffer at once, and a failed write on the writer thread still reaches
// the job, at the next Write, at EndWrites or at Finish.
#include "cipher/WriteBehind.h"

#include "FakeFileSystem.h"
#include "TestFiles.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace quorvel::test {
namespace {

// An output in memory behind the writer thread; it writes slowly, so blocks
// queue, and fails the n-th write when asked.
struct Behind {
    explicit Behind(int failOnWrite = 0)
    {
        const FileHook fail = FailAt(FileCall::Write, failOnWrite, {FileError::DiskFull, 28});
        fs.hook = [fail](FileCall call, int n, const std::u16string& path) {
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
            return fail(call, n, path);
        };
        fs.memory = &written;
        std::unique_ptr<OutputFile> inner;
        fs.CreateOutput(u"", inner);
        file = WithWriteBehind(std::move(inner));
    }

    FakeFileSystem fs;
    Written written;
    std::unique_ptr<OutputFile> file;
};

TEST(WriteBehind, BlocksArriveWholeAndInOrderThoughTheCallerReusesItsBuffer)
{
    Behind behind;
    const auto data = RandomBytes(20 * 1000 + 7, 3);
    std::vector<uint8_t> buffer;
    for (size_t at = 0; at < data.size(); at += 1000) {
        const size_t n = std::min<size_t>(1000, data.size() - at);
        buffer.assign(data.begin() + static_cast<std::ptrdiff_t>(at), data.begin() + static_cast<std::ptrdiff_t>(at + n));
        ASSERT_TRUE(behind.file->Write(buffer.data(), static_cast<uint32_t>(n)));
        std::fill(buffer.begin(), buffer.end(), 0xEE);  // as the job overwrites its buffer with the next block
    }
    // An output that waits for a flush with others has every block in its file.
    ASSERT_TRUE(behind.file->EndWrites());
    EXPECT_EQ(behind.written.bytes, data);
    ASSERT_TRUE(behind.file->Finish(std::nullopt));
    EXPECT_TRUE(behind.written.finished);
    EXPECT_EQ(behind.written.bytes, data);
}

TEST(WriteBehind, AFailedWriteIsReportedByTheNextWriteOrByFinish)
{
    const uint8_t block[100] = {};
    for (int failing : {1, 3}) {
        SCOPED_TRACE(failing);
        Behind behind(failing);
        FileStatus status;
        int calls = 0;
        while (status && calls < 10) {
            status = behind.file->Write(block, sizeof block);
            ++calls;
        }
        EXPECT_EQ(status.error, FileError::DiskFull);
        EXPECT_EQ(status.systemCode, 28u);
        EXPECT_LE(calls, failing + 2);  // at most two blocks late
        EXPECT_EQ(behind.file->Finish(std::nullopt).error, FileError::DiskFull);
    }
    // The last block failing is seen by EndWrites and by Finish.
    Behind behind(2);
    EXPECT_TRUE(behind.file->Write(block, sizeof block));
    EXPECT_TRUE(behind.file->Write(block, sizeof block));
    EXPECT_EQ(behind.file->EndWrites().error, FileError::DiskFull);
    EXPECT_EQ(behind.file->Finish(std::nullopt).error, FileError::DiskFull);
    EXPECT_FALSE(behind.written.finished) << "a failed output is not finished";
}

TEST(WriteBehind, DroppingAFileMidWayFinishesTheBlockInFlightFirst)
{
    Behind behind;
    const uint8_t block[64] = {1};
    ASSERT_TRUE(behind.file->Write(block, sizeof block));
    behind.file.reset();  // as a cancelled job drops its output before removing it
    EXPECT_EQ(behind.written.bytes.size(), 64u);
}

}  // namespace
}  // namespace quorvel::test
