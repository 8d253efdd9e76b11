#include "RecordingOwner.h"

#include <algorithm>

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

bool WaitForJob(CipherJob& job)
{
    if (!job.WaitReleased(kJobDeadline))
        return false;
    job.Wait();  // the worker returns right after its release notice
    return true;
}

}  // namespace quorvel::test
