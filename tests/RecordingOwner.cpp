#include "RecordingOwner.h"

#include "TestFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>

namespace quorvel::test {

void RecordingOwner::Record(CipherDirection d, const char* event)
{
    std::lock_guard lock(m_mutex);
    m_events[DirectionIndex(d)].push_back(event);
}

void RecordingOwner::JobEnded(CipherDirection d)
{
    Record(d, "done");
    if (onDone)
        onDone(d);
}

void RecordingOwner::BlockWritten(CipherDirection d, uint64_t done, uint64_t total)
{
    {
        std::lock_guard lock(m_mutex);
        m_lastDone[DirectionIndex(d)] = done;
        m_lastTotal[DirectionIndex(d)] = total;
    }
    if (onBlock)
        onBlock(d, done);
}

std::vector<std::string> RecordingOwner::Events(CipherDirection d)
{
    std::lock_guard lock(m_mutex);
    return m_events[DirectionIndex(d)];
}

int RecordingOwner::Count(CipherDirection d, std::string_view event)
{
    std::lock_guard lock(m_mutex);
    const auto& events = m_events[DirectionIndex(d)];
    return static_cast<int>(std::count(events.begin(), events.end(), event));
}

uint64_t RecordingOwner::LastDone(CipherDirection d)
{
    std::lock_guard lock(m_mutex);
    return m_lastDone[DirectionIndex(d)];
}

uint64_t RecordingOwner::LastTotal(CipherDirection d)
{
    std::lock_guard lock(m_mutex);
    return m_lastTotal[DirectionIndex(d)];
}

JobOutcome StartJob(CipherJob& job, RecordingOwner& owner, CipherDirection direction, const std::u16string& password,
                    const std::filesystem::path& source, const std::optional<std::u16string>& outputFolder)
{
    job.SetKey(password);
    uint64_t size = 0;
    const JobOutcome outcome = job.PrepareJob(U16(source), size);
    if (outcome.status != JobStatus::Succeeded)
        return outcome;
    return job.LaunchJob(owner, direction, source.filename().u16string(), outputFolder);
}

JobOutcome FinishJob(CipherJob& job)
{
    // No single job in the tests may take longer, big files included.
    constexpr std::chrono::seconds kDeadline {600};
    if (job.WaitReleased(kDeadline))
        job.Wait();  // the worker returns right after its release notice
    else
        ADD_FAILURE() << "the job did not end within " << kDeadline.count() << " s";
    EXPECT_FALSE(job.IsBusy());
    return job.Outcome();
}

JobOutcome LaunchAndWait(CipherJob& job, RecordingOwner& owner, CipherDirection direction,
                         const std::filesystem::path& source)
{
    const JobOutcome launched = job.LaunchJob(owner, direction, source.filename().u16string());
    return launched.status == JobStatus::Succeeded ? FinishJob(job) : launched;
}

JobOutcome RunOneJob(CipherJob& job, RecordingOwner& owner, CipherDirection direction, const std::u16string& password,
                     const std::filesystem::path& source)
{
    const JobOutcome started = StartJob(job, owner, direction, password, source);
    return started.status == JobStatus::Succeeded ? FinishJob(job) : started;
}

JobOutcome RunOneJob(CipherDirection direction, const std::u16string& password, const std::filesystem::path& source,
                     FileSystem& fs)
{
    CipherJob job(fs);
    RecordingOwner owner;
    return RunOneJob(job, owner, direction, password, source);
}

void ExpectNextJobWorks(CipherJob& job, RecordingOwner& owner, const std::filesystem::path& folder)
{
    const auto plain = WriteRandomFile(folder / u"next", CIPHER_BLOCK_SIZE + 333, 99);
    ASSERT_EQ(RunOneJob(job, owner, CipherDirection::Encipher, u"next-job-password", folder / u"next").status,
              JobStatus::Succeeded);
    ASSERT_EQ(RunOneJob(job, owner, CipherDirection::Decipher, u"next-job-password", folder / u"en_next").status,
              JobStatus::Succeeded);
    EXPECT_EQ(ReadFile(folder / u"de_en_next"), plain);
    std::filesystem::remove(folder / u"next");
    std::filesystem::remove(folder / u"en_next");
    std::filesystem::remove(folder / u"de_en_next");
}

}  // namespace quorvel::test
