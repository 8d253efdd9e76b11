// The one owner the tests give their jobs in place of the dialog or the
// command line, which records every notice per direction and can act on
// blocks and completions, and the steps of every job test: start a job, wait
// for its end, or both.
#pragma once

#include "cipher/CipherJob.h"

#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quorvel::test {

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

// Sets the key, prepares source and launches the job on owner, its output
// named after the source (in outputFolder when given): the first failure, or
// success once the worker runs.
JobOutcome StartJob(CipherJob& job, RecordingOwner& owner, CipherDirection direction, const std::u16string& password,
                    const std::filesystem::path& source,
                    const std::optional<std::u16string>& outputFolder = std::nullopt);
// Waits until a started job's worker has released everything and ended, every
// notice delivered (a test failure when the deadline passes first), and gives
// the job's outcome.
JobOutcome FinishJob(CipherJob& job);
// Launches a job already prepared from source and finishes it.
JobOutcome LaunchAndWait(CipherJob& job, RecordingOwner& owner, CipherDirection direction,
                         const std::filesystem::path& source);

// Start and finish: a failure before the worker started, or the job's outcome.
JobOutcome RunOneJob(CipherJob& job, RecordingOwner& owner, CipherDirection direction, const std::u16string& password,
                     const std::filesystem::path& source);
// The same on a fresh record over fs.
JobOutcome RunOneJob(CipherDirection direction, const std::u16string& password, const std::filesystem::path& source,
                     FileSystem& fs = SystemFileSystem());

// After a fault: the same record, in the same folder, still takes a round trip.
void ExpectNextJobWorks(CipherJob& job, RecordingOwner& owner, const std::filesystem::path& folder);

}  // namespace quorvel::test
