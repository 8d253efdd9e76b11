// One planned file run to its end by the cipher core, with its progress line,
// its output handed to the run's OutputGroup; every failure reported.
#pragma once

#include "cipher/CipherJob.h"
#include "cli/OutputGroup.h"
#include "cli/Plan.h"
#include "cli/Progress.h"

#include <atomic>
#include <cstdint>
#include <string>

namespace quorvel::cli {

// The worker's progress, for the progress line; the job itself says when it ended.
class RunOwner final : public CipherJobOwner {
public:
    void JobStarted(CipherDirection) override {}
    void JobEnded(CipherDirection) override {}
    void JobReleased(CipherDirection) override {}
    void BlockWritten(CipherDirection, uint64_t done, uint64_t) override { m_done.store(done); }

    void Reset() { m_done.store(0); }
    uint64_t Done() const { return m_done.load(); }

private:
    std::atomic<uint64_t> m_done {0};
};

enum class FileResult {
    Done,         // its output is on standard output
    Written,      // its output is in group, which puts it on the disk and reports it
    Failed,
    Interrupted,
    OutputClosed,
};

// Runs one planned file to its end, with its progress line; reports a failure.
FileResult ProcessFile(CipherJob& job, RunOwner& owner, ProgressLine& progress, OutputGroup& group,
                       const PlannedFile& file, const CliOptions& options, const std::u16string& password);

// The report of a file that failed, naming it and the cause.
std::u16string FailureText(const std::u16string& source, const std::u16string& output, bool toStdout,
                           const JobOutcome& outcome);

// --rm, for a file whose job succeeded: its output and the output's name are
// on the disk by now. After a stop nothing more is removed; keeping a source
// is never a loss. Returns false when the source stays for a reason to report.
bool RemoveSource(const PlannedFile& file);

}  // namespace quorvel::cli
