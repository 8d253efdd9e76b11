// The one owner the tests give their jobs in place of the dialog or the
// command line: it records every notice per direction and can act on blocks
// and completions. Waiting is the job's own (WaitForJob).
#pragma once

#include "cipher/CipherJob.h"

#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace quorvel::test {

// No single wait in the tests may take longer than this, big files included.
constexpr std::chrono::seconds kJobDeadline {600};

class RecordingOwner final : public CipherJobOwner {
public:
    void JobStarted(CipherDirection d) override { Record(d, "start"); }
    void JobEnded(CipherDirection d) override;
    void JobReleased(CipherDirection d) override { Record(d, "released"); }
    void BlockWritten(CipherDirection d, uint64_t done, uint64_t total) override;

    // The notices so far: "start", "done", "released".
    std::vector<std::string> Events(CipherDirection d);
    int Count(CipherDirection d, std::string_view event);
    uint64_t LastDone(CipherDirection d);
    uint64_t LastTotal(CipherDirection d);

    // Called on the worker in its completion notice, e.g. to hold it there
    // as an open completion box does.
    std::function<void(CipherDirection)> onDone;
    // Called on the worker after each block, e.g. to change the source under it.
    std::function<void(CipherDirection, uint64_t done)> onBlock;

private:
    void Record(CipherDirection d, const char* event);

    std::mutex m_mutex;
    std::vector<std::string> m_events[2];
    uint64_t m_lastDone[2] {};
    uint64_t m_lastTotal[2] {};
};

// Waits until the job's worker has released everything and ended, every
// notice delivered; false when the deadline passed first.
bool WaitForJob(CipherJob& job);

}  // namespace quorvel::test
