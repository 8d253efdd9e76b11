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
        bool enableButton;  // the direction may be started again
        bool endDialog;     // a confirmed close waited for this release
    };

    // Takes the direction for a start; false while it is busy or closing.
    bool BeginStart(CipherDirection direction)
    {
        State& s = m_state[DirectionIndex(direction)];
        if (m_closing || s != State::Idle)
            return false;
        s = State::Starting;
        return true;
    }

    // The start ended: launched means a worker now runs.
    void EndStart(CipherDirection direction, bool launched)
    {
        m_state[DirectionIndex(direction)] = launched ? State::Running : State::Idle;
    }

    bool IsRunning(CipherDirection direction) const { return m_state[DirectionIndex(direction)] == State::Running; }
    // Starting or running: a new start of the direction would be refused.
    bool IsBusy(CipherDirection direction) const { return m_state[DirectionIndex(direction)] != State::Idle; }
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

    ReleaseStep Released(CipherDirection direction)
    {
        m_state[DirectionIndex(direction)] = State::Idle;
        return {!m_closing, m_closing && !AnyRunning()};
    }

    // The result a confirmed close ends the dialog with.
    int CloseResult() const { return m_result; }

private:
    enum class State { Idle, Starting, Running };

    State m_state[2] {State::Idle, State::Idle};
    bool m_asking = false;
    bool m_closing = false;
    int m_result = 0;
};

}  // namespace quorvel
