// The taskbar progress of the running jobs, from their block counts.
#include "dialog/JobProgress.h"

namespace quorvel {

void JobProgress::Started(CipherDirection direction, uint64_t total)
{
    Of(direction) = {Phase::Running, 0, total};
}

void JobProgress::Advanced(CipherDirection direction, uint64_t done)
{
    Job& job = Of(direction);
    if (job.phase == Phase::Running)
        job.done = done < job.total ? done : job.total;
}

void JobProgress::Ended(CipherDirection direction, bool failed)
{
    Job& job = Of(direction);
    if (job.phase == Phase::Idle)
        return;
    job.phase = failed ? Phase::Failed : Phase::Succeeded;
    if (!failed)
        job.done = job.total;
}

void JobProgress::Dismissed(CipherDirection direction)
{
    Of(direction) = {};
}

ProgressView JobProgress::View() const
{
    ProgressView view;
    bool any = false, allEnded = true;
    for (const Job& job : m_jobs) {
        if (job.phase == Phase::Idle)
            continue;
        any = true;
        allEnded &= job.phase != Phase::Running;
        if (job.phase == Phase::Failed)
            view.state = ProgressState::Error;
        // File sizes stay below 2^63, so two of them add up without overflow.
        view.done += job.done;
        view.total += job.total;
    }
    if (!any)
        return {};
    if (view.state != ProgressState::Error)
        view.state = ProgressState::Normal;
    // Empty files: nothing to count, so the bar is empty until they end and full after.
    if (view.total == 0) {
        view.done = allEnded ? 1 : 0;
        view.total = 1;
    }
    return view;
}

}  // namespace quorvel
