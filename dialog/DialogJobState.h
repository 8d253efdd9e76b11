// When the dialog may start a job and when it may end, with jobs running on
// worker threads. Kept apart from the window so the rules can be tested.
//
// A direction is busy from the moment its button was taken (file dialog and
// launch included) until the worker's release notice reached the interface
// thread. Closing while a job runs asks first; once confirmed, the dialog ends
// only when the last running job has released, never by waiting on a worker
// (the worker may itself be waiting on the interface thread).
#pragma once

#include "cipher/CipherJob.h"

#include <cstdint>

namespace quorvel {

class DialogJobState {
public:
    enum class CloseStep {
        EndNow,   // nothing runs: end the dialog at once
        Ask,      // jobs run: ask the user
        Ignore,   // already asking or already closing
    };

    struct ReleaseStep {
        bool enableButton;     // the direction may be started again
        bool endDialog;        // a confirmed close waited for this release
        // The question about stopping is up and nothing runs any more: it
        // asks about nothing, so it goes, as if the close had not been asked.
        bool dismissQuestion;
    };

    // Takes the direction for a start; false while a start of it is open, its
    // job runs, or the dialog is closing.
    bool BeginStart(CipherDirection direction)
    {
        Direction& d = m_directions[DirectionIndex(direction)];
        if (m_closing || d.starting || d.running)
            return false;
        d.starting = true;
        return true;
    }

    // A worker now runs. Recorded at once after the launch, before anything
    // that runs a message loop (a box, a COM call) can let its notices through.
    void Launched(CipherDirection direction) { m_directions[DirectionIndex(direction)].running = true; }

    // The start's own code has returned, launched or not. Its job may already
    // have been released, in a message loop that ran inside the start.
    void EndStart(CipherDirection direction) { m_directions[DirectionIndex(direction)].starting = false; }

    bool IsRunning(CipherDirection direction) const { return m_directions[DirectionIndex(direction)].running; }
    // A new start of the direction would be refused.
    bool IsBusy(CipherDirection direction) const
    {
        const Direction& d = m_directions[DirectionIndex(direction)];
        return d.starting || d.running;
    }
    bool AnyRunning() const { return IsRunning(CipherDirection::Encipher) || IsRunning(CipherDirection::Decipher); }
    bool IsClosing() const { return m_closing; }

    CloseStep RequestClose()
    {
        if (m_closing || m_asking)
            return CloseStep::Ignore;
        if (!AnyRunning())
            return CloseStep::EndNow;
        m_asking = true;
        return CloseStep::Ask;
    }

    // The user answered; jobs may have ended meanwhile. Returns true when the
    // dialog can end at once (confirmed and nothing runs any more).
    bool AnswerClose(bool confirmed, int result)
    {
        m_asking = false;
        if (!confirmed)
            return false;
        m_closing = true;
        m_result = result;
        return !AnyRunning();
    }

    // The worker's last notice, in whatever order it came with the others.
    ReleaseStep Released(CipherDirection direction)
    {
        m_directions[DirectionIndex(direction)].running = false;
        return {!m_closing, m_closing && !AnyRunning(), m_asking && !AnyRunning()};
    }

    // The result a confirmed close ends the dialog with.
    int CloseResult() const { return m_result; }

private:
    // Two flags, not one state: a job launched by a start can end, and be
    // released, while that start's code is still on the stack.
    struct Direction {
        bool starting = false;  // between BeginStart and EndStart
        bool running = false;   // between Launched and Released
    };

    Direction m_directions[2];
    bool m_asking = false;
    bool m_closing = false;
    int m_result = 0;
};

}  // namespace quorvel
