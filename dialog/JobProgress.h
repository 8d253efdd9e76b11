// What the taskbar button shows about the jobs: the bytes written over the
// bytes of every job that runs or waits for its box to be dismissed, the
// error colour while a failed job's box is up, nothing once every box is
// gone. Kept apart from the window so the rules can be tested.
#pragma once

#include "cipher/CipherKey.h"

#include <cstdint>

namespace quorvel {

enum class ProgressState { None, Normal, Error };

struct ProgressView {
    ProgressState state = ProgressState::None;
    uint64_t done = 0;
    uint64_t total = 0;

    bool operator==(const ProgressView&) const = default;
};

class JobProgress {
public:
    // A job of total bytes was launched.
    void Started(CipherDirection direction, uint64_t total);
    // Its worker has written done bytes so far.
    void Advanced(CipherDirection direction, uint64_t done);
    // It ended; its completion or failure box is about to show.
    void Ended(CipherDirection direction, bool failed);
    // Its box was dismissed, or it ended without one (cancelled).
    void Dismissed(CipherDirection direction);

    ProgressView View() const;

private:
    enum class Phase { Idle, Running, Succeeded, Failed };
    struct Job {
        Phase phase = Phase::Idle;
        uint64_t done = 0;
        uint64_t total = 0;
    };

    Job& Of(CipherDirection direction) { return m_jobs[DirectionIndex(direction)]; }

    Job m_jobs[2];
};

}  // namespace quorvel
