// The command line's file services: write-behind outputs keep the bytes and
// their order, and a failed write on the writer thread still reaches the job
// (at the next Write or at Finish); publishing keeps a file that appeared
// meanwhile unless replacing was asked for.
#include "cli/OutputFileSystem.h"

#include "cipher/CipherJob.h"

#include "tests/RecordingOwner.h"
#include "tests/TestFiles.h"

#include <gtest/gtest.h>

#include <chrono>
#include <mutex>
#include <thread>

namespace quorvel::cli {
namespace {

// Records what reaches it; fails the n-th write; writes slowly, so blocks queue.
class RecordingFileSystem final : public FileSystem {
public:
    std::mutex mutex;
    std::vector<uint8_t> written;
    int failOnWrite = 0;
    int writes = 0;
    bool finished = false;

    FileStatus OpenRead(const std::u16string&, std::unique_ptr<File>&) override { return {FileError::NotFound, 2}; }
    FileStatus CreateOutput(const std::u16string&, std::unique_ptr<OutputFile>& file) override
    {
        file = std::make_unique<Sink>(*this);
        return {};
    }
    FileStatus CheckNewName(const std::u16string&, const std::u16string&) override { return {}; }

private:
    class Sink final : public OutputFile {
    public:
        explicit Sink(RecordingFileSystem& fs) : m_fs(fs) {}
        FileStatus Write(const void* buffer, uint32_t count) override
        {
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
            std::lock_guard lock(m_fs.mutex);
            if (++m_fs.writes == m_fs.failOnWrite)
                return {FileError::DiskFull, 28};
            const auto* p = static_cast<const uint8_t*>(buffer);
            m_fs.written.insert(m_fs.written.end(), p, p + count);
            return {};
        }
        FileStatus Finish(std::optional<uint32_t>) override
        {
            m_fs.finished = true;
            return {};
        }
        FileStatus Publish(const std::u16string&, bool) override { return {}; }

    private:
        RecordingFileSystem& m_fs;
    };
};

TEST(WriteBehind, BlocksArriveWholeAndInOrderThoughTheCallerReusesItsBuffer)
{
    RecordingFileSystem base;
    OutputFileSystem fs(base, true, true);
    std::unique_ptr<OutputFile> file;
    ASSERT_TRUE(fs.CreateOutput(u"", file));
    const auto data = test::RandomBytes(20 * 1000 + 7, 3);
    std::vector<uint8_t> buffer;
    for (size_t at = 0; at < data.size(); at += 1000) {
        const size_t n = std::min<size_t>(1000, data.size() - at);
        buffer.assign(data.begin() + static_cast<std::ptrdiff_t>(at), data.begin() + static_cast<std::ptrdiff_t>(at + n));
        ASSERT_TRUE(file->Write(buffer.data(), static_cast<uint32_t>(n)));
        std::fill(buffer.begin(), buffer.end(), 0xEE);  // as the job overwrites its buffer with the next block
    }
    ASSERT_TRUE(file->Finish(std::nullopt));
    EXPECT_TRUE(base.finished);
    EXPECT_EQ(base.written, data);
}

TEST(WriteBehind, AFailedWriteIsReportedByTheNextWriteOrByFinish)
{
    const uint8_t block[100] = {};
    for (int failing : {1, 3}) {
        SCOPED_TRACE(failing);
        RecordingFileSystem base;
        base.failOnWrite = failing;
        OutputFileSystem fs(base, true, true);
        std::unique_ptr<OutputFile> file;
        ASSERT_TRUE(fs.CreateOutput(u"", file));
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
    // The last block failing is seen by Finish.
    RecordingFileSystem base;
    base.failOnWrite = 2;
    OutputFileSystem fs(base, true, true);
    std::unique_ptr<OutputFile> file;
    ASSERT_TRUE(fs.CreateOutput(u"", file));
    EXPECT_TRUE(file->Write(block, sizeof block));
    EXPECT_TRUE(file->Write(block, sizeof block));
    EXPECT_EQ(file->Finish(std::nullopt).error, FileError::DiskFull);
    EXPECT_FALSE(base.finished) << "a failed output is not finished";
}

TEST(WriteBehind, DroppingAFileMidWayFinishesTheBlockInFlightFirst)
{
    RecordingFileSystem base;
    OutputFileSystem fs(base, true, true);
    {
        std::unique_ptr<OutputFile> file;
        ASSERT_TRUE(fs.CreateOutput(u"", file));
        const uint8_t block[64] = {1};
        ASSERT_TRUE(file->Write(block, sizeof block));
    }  // as a cancelled job drops its output before removing it
    std::lock_guard lock(base.mutex);
    EXPECT_EQ(base.written.size(), 64u);
}

TEST(OutputPublish, KeepsAnExistingFileUnlessReplacing)
{
    test::ScratchDir dir;
    test::WriteFile(dir / u"out", {2});
    const auto publish = [&](bool replaceExisting, const std::u16string& name, uint8_t byte) {
        OutputFileSystem fs(SystemFileSystem(), replaceExisting, false);
        std::unique_ptr<OutputFile> file;
        EXPECT_TRUE(fs.CreateOutput(test::U16(dir.Path()) + u"/", file));
        EXPECT_TRUE(file->Write(&byte, 1));
        EXPECT_TRUE(file->Finish(std::nullopt));
        return file->Publish(test::U16(dir / name), true);
    };
    EXPECT_EQ(publish(false, u"out", 1).error, FileError::Exists);
    EXPECT_EQ(test::ReadFile(dir / u"out"), (std::vector<uint8_t> {2}));
    EXPECT_TRUE(publish(false, u"new", 1));
    EXPECT_EQ(dir.List(), (std::vector<std::u16string> {u"new", u"out"}));  // the refused one left nothing
    EXPECT_TRUE(publish(true, u"out", 3));
    EXPECT_EQ(test::ReadFile(dir / u"out"), (std::vector<uint8_t> {3}));
}

TEST(OutputRename, AFileThatAppearsDuringTheJobSurvivesIt)
{
    for (bool writeBehind : {false, true}) {
        SCOPED_TRACE(writeBehind);
        test::ScratchDir dir;
        test::WriteFile(dir / u"a", test::RandomBytes(3 * CIPHER_BLOCK_SIZE, 5));
        OutputFileSystem fs(SystemFileSystem(), false, writeBehind);
        CipherJob job(fs);
        // A file appears under the output's name mid-job.
        test::RecordingOwner owner;
        owner.onBlock = [&](CipherDirection, uint64_t done) {
            if (done == CIPHER_BLOCK_SIZE)
                test::WriteFile(dir / u"en_a", {9, 9});
        };
        job.SetKey(u"123456");
        uint64_t size = 0;
        ASSERT_EQ(job.PrepareJob(test::U16(dir / u"a"), size).status, JobStatus::Succeeded);
        ASSERT_EQ(job.LaunchJob(owner, CipherDirection::Encipher, u"a").status, JobStatus::Succeeded);
        job.Wait();
        EXPECT_EQ(job.Outcome().status, JobStatus::CreateOutputFailed);
        EXPECT_EQ(job.Outcome().file.error, FileError::Exists);
        EXPECT_EQ(test::ReadFile(dir / u"en_a"), (std::vector<uint8_t> {9, 9}));
        EXPECT_EQ(dir.List(), (std::vector<std::u16string> {u"a", u"en_a"}));  // no temporary left
    }
}

}  // namespace
}  // namespace quorvel::cli
