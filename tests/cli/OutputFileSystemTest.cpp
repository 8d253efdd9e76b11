// The command line's file services: publishing keeps a file that appeared
// meanwhile unless replacing was asked for.
#include "cli/OutputFileSystem.h"

#include "cipher/CipherJob.h"

#include "tests/RecordingOwner.h"
#include "tests/TestFiles.h"

#include <gtest/gtest.h>


namespace quorvel::cli {
namespace {

TEST(OutputPublish, KeepsAnExistingFileUnlessReplacing)
{
    test::ScratchDir dir;
    test::WriteFile(dir / u"out", {2});
    const auto publish = [&](bool replaceExisting, const std::u16string& name, uint8_t byte) {
        OutputFileSystem fs(SystemFileSystem(), replaceExisting);
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
    test::ScratchDir dir;
    test::WriteFile(dir / u"a", test::RandomBytes(3 * CIPHER_BLOCK_SIZE, 5));
    OutputFileSystem fs(SystemFileSystem(), false);
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

}  // namespace
}  // namespace quorvel::cli
