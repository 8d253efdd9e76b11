// Many files put on the disk together: each file's bytes before its name and
// its folder before it is reported done, a failing flush that fails its own
// file alone, and an interrupt that leaves nothing unnamed or half named.
#include "cli/OutputGroup.h"
#include "cli/Run.h"

#include "tests/CipherReference.h"
#include "tests/RecordingOwner.h"
#include "tests/TestFiles.h"

#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <mutex>
#include <set>
#include <thread>

namespace quorvel::cli {
namespace {

using test::ScratchDir;
using test::U16;

size_t CountNamed(const ScratchDir& dir, std::u16string_view prefix)
{
    const auto names = dir.List();
    return std::count_if(names.begin(), names.end(), [&](const std::u16string& n) { return n.starts_with(prefix); });
}

std::u16string Name(int i)
{
    return u"f" + U16(std::to_string(i));
}

// The ways a group's bytes reach the disk: a sweep of its file system, a
// sweep that fails (each output then flushes itself), or each output's own
// flush. The order and the failures are the same in all.
struct Way {
    Sweeping sweeping;
    bool sweepFails;
    // Windows has no sweep: each output flushes itself whatever is asked.
    bool Sweeps() const
    {
#ifdef _WIN32
        return false;
#else
        return sweeping == Sweeping::Always;
#endif
    }
};
class OutputGroups : public testing::TestWithParam<Way> {};
INSTANTIATE_TEST_SUITE_P(SweptOrFlushedEach, OutputGroups,
                         testing::Values(Way {Sweeping::Always, false}, Way {Sweeping::Always, true},
                                         Way {Sweeping::Never, false}));

TEST_P(OutputGroups, EachFileIsOnTheDiskBeforeItIsReportedAndAFailingFlushFailsItAlone)
{
    ScratchDir dir;
    CliOptions options;
    options.removeSources = true;
    std::vector<std::vector<uint8_t>> plain;
    for (int i = 0; i < 6; ++i) {
        plain.push_back(test::WriteRandomFile(dir / Name(i), 1000 + i * 70000, i));  // some past one block
        options.files.push_back(U16(dir / Name(i)));
    }
    std::mutex mutex;
    std::map<FlushStep, int> count;
    const auto fs = MakeSystemFileSystem(
        [&](FlushStep step, const std::function<FileStatus()>& flush) {
            std::lock_guard lock(mutex);
            ++count[step];
            if (step == FlushStep::Folder) {
                EXPECT_EQ(CountNamed(dir, u"en_"), 5u);
                EXPECT_EQ(CountNamed(dir, u"f"), 6u) << "a source went before its output's name was on the disk";
                return flush();
            }
            EXPECT_EQ(CountNamed(dir, u"en_"), 0u) << "a name came before the bytes of its group were on the disk";
            if (step == FlushStep::Volume)
                return GetParam().sweepFails ? FileStatus {FileError::DiskError, 5} : flush();
            EXPECT_EQ(count[FlushStep::Volume], GetParam().Sweeps() ? 1 : 0) << "before the sweep";
            return count[FlushStep::Data] + count[FlushStep::Confirm] == 3 ? FileStatus {FileError::DiskError, 5}
                                                                            : flush();
        },
        GetParam().sweeping);

    EXPECT_EQ(RunFiles(PlanRun(options), options, u"123456", *fs), kExitFileFailed);
    // Only bytes that a sweep put on the disk are taken as there unflushed.
    const bool swept = GetParam().Sweeps() && !GetParam().sweepFails;
    EXPECT_EQ(count[FlushStep::Data], swept ? 0 : 6);
    EXPECT_EQ(count[FlushStep::Confirm], swept ? 6 : 0);
    EXPECT_EQ(count[FlushStep::Volume], GetParam().Sweeps() ? 1 : 0);
    EXPECT_LE(count[FlushStep::Folder], 1);  // one for the whole group
#ifndef _WIN32
    EXPECT_EQ(count[FlushStep::Folder], 1);
#endif
    // Only the file whose flush failed keeps its source, and has no output.
    EXPECT_EQ(CountNamed(dir, u"f"), 1u);
    EXPECT_EQ(dir.List().size(), 6u);  // no temporary left
    for (int i = 0; i < 6; ++i) {
        if (std::filesystem::exists(dir / Name(i)))
            EXPECT_FALSE(std::filesystem::exists(dir / (u"en_" + Name(i))));
        else
            EXPECT_EQ(test::ReadFile(dir / (u"en_" + Name(i))),
                      test::ReferenceFile(CipherDirection::Encipher, u"123456", plain[i]));
    }
}

// Groups of two, each on its way to the disk while the next is written: a
// source goes only once its own output's name is on the disk, and an
// interrupt while a group's bytes go to the disk leaves nothing unnamed or
// half named.
TEST_P(OutputGroups, EachGroupGoesToTheDiskWhileTheNextIsWritten)
{
    for (const bool interrupt : {false, true}) {
        ScratchDir dir;
        std::mutex mutex;
        std::set<std::u16string> durable;  // outputs named before a folder flush
        std::atomic<bool> stopped {false};
        const auto fs = MakeSystemFileSystem(
            [&](FlushStep step, const std::function<FileStatus()>& flush) {
                std::lock_guard lock(mutex);
                stopped = stopped || (interrupt && step != FlushStep::Folder);
                if (step != FlushStep::Folder)
                    return flush();
                for (const std::u16string& name : dir.List()) {
                    if (name.starts_with(u"en_") && !durable.contains(name)) {
                        EXPECT_TRUE(std::filesystem::exists(dir / name.substr(3))) << "a source went too early";
                    }
                }
                const FileStatus flushed = flush();
                for (const std::u16string& name : dir.List())
                    durable.insert(name);
                return flushed;
            },
            GetParam().sweeping);
        CliOptions options;
        options.removeSources = true;
        ProgressLine progress(false);
        std::vector<PlannedFile> files(5);
        std::vector<std::vector<uint8_t>> plain;
        {
            OutputGroup group(*fs, progress, options, files.size(), {2, 64 << 20, std::chrono::hours(1)},
                              [&] { return stopped.load(); });
            CipherJob job(*fs);
            test::RecordingOwner owner;
            for (int i = 0; i < 5; ++i) {
                plain.push_back(test::WriteRandomFile(dir / Name(i), 300000, i));
                files[i].source = U16(dir / Name(i));
                job.SetKey(u"123456");
                uint64_t size = 0;
                ASSERT_EQ(job.PrepareJob(files[i].source, size).status, JobStatus::Succeeded);
                job.LaunchJob(owner, CipherDirection::Encipher, Name(i), std::nullopt, JobEnd::Written);
                ASSERT_EQ(test::FinishJob(job).status, JobStatus::Succeeded);
                group.Add(files[i], job.TakeWrittenOutput(), size, 0.0);
            }
            if (interrupt)
                group.Abandon();  // the run gives up with the last one still waiting
            else
                group.Flush();
            EXPECT_EQ(group.WasInterrupted(), interrupt);
            EXPECT_EQ(group.Done(), interrupt ? 0u : 5u);
        }
        const std::vector<std::u16string> names = dir.List();
        ASSERT_EQ(names.size(), 5u) << "a temporary or a source stayed";
        for (int i = 0; i < 5; ++i) {
            if (interrupt)
                EXPECT_EQ(names[i], Name(i));
            else
                EXPECT_EQ(test::ReadFile(dir / (u"en_" + Name(i))),
                          test::ReferenceFile(CipherDirection::Encipher, u"123456", plain[i]));
        }
    }
}

// A file's finished line gives the file's own time: its wait for the disk,
// which the whole group shares, belongs to the run's total.
TEST(OutputGroupLines, AFileIsTimedWithoutItsGroupsWaitForTheDisk)
{
    ScratchDir dir;
    const auto fs = MakeSystemFileSystem(
        [](FlushStep, const std::function<FileStatus()>& flush) {
            // A slow disk, whichever way this system puts the group there.
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            return flush();
        },
        Sweeping::Never);
    std::u16string shown;
    ProgressLine progress(true, [&](std::u16string_view text) { shown += text; });
    CliOptions options;
    std::vector<PlannedFile> files(2);
    {
        OutputGroup group(*fs, progress, options, files.size(), {}, [] { return false; });
        CipherJob job(*fs);
        test::RecordingOwner owner;
        for (int i = 0; i < 2; ++i) {
            test::WriteRandomFile(dir / Name(i), 12, i);
            files[i].source = Name(i);
            job.SetKey(u"123456");
            uint64_t size = 0;
            ASSERT_EQ(job.PrepareJob(U16(dir / Name(i)), size).status, JobStatus::Succeeded);
            job.LaunchJob(owner, CipherDirection::Encipher, Name(i), std::nullopt, JobEnd::Written);
            ASSERT_EQ(test::FinishJob(job).status, JobStatus::Succeeded);
            group.Add(files[i], job.TakeWrittenOutput(), size, 0.04 * (i + 1));
        }
        group.Flush();
        ASSERT_EQ(group.Done(), 2u);
    }
    EXPECT_EQ(shown, u"\r1/2  f0  100%  12Byte  0.0 s\n\r2/2  f1  100%  12Byte  0.1 s\n");
}

}  // namespace
}  // namespace quorvel::cli
