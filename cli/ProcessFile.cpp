// One file of a run, as the dialog's job processes it (the output named only
// once complete, nothing partial left on failure or interruption) but put on
// the disk together with others (OutputGroup), or as a stream from standard
// input or to standard output.
#include "cli/ProcessFile.h"

#include "cli/Report.h"
#include "texts/Catalogue.h"
#include "platform/FileSystem.h"
#include "platform/StandardStreams.h"
#include "platform/Terminal.h"

#include <chrono>

namespace quorvel::cli {

std::u16string FailureText(const std::u16string& source, const std::u16string& output, bool toStdout,
                           const JobOutcome& outcome)
{
    const std::u16string reason = ReasonText(outcome.file);
    if (toStdout) {
        // What reached standard output stays there; say where it stopped.
        if (outcome.status == JobStatus::ReadFailed)
            return Tr("{1}: read failed: {2}; the output on standard output is incomplete", {source, reason});
        if (outcome.status == JobStatus::WriteFailed)
            return Tr("{1}: cannot write standard output: {2}; the output on standard output is incomplete",
                      {source, reason});
        if (outcome.status == JobStatus::Cancelled)
            return Tr("{1}: interrupted; the output on standard output is incomplete", {source});
    }
    switch (outcome.status) {
    case JobStatus::OpenSourceFailed:
        return Tr("{1}: cannot open: {2}", {source, reason});
    case JobStatus::CreateOutputFailed:
        return Tr("{1}: cannot create {2}: {3}", {source, output, reason});
    case JobStatus::ReadFailed:
        return Tr("{1}: read failed: {2}; no output written", {source, reason});
    case JobStatus::WriteFailed:
        return Tr("{1}: cannot write {2}: {3}; no output written", {source, output, reason});
    case JobStatus::NotDurable:
        return Tr("{1}: {2} is written, but the disk did not confirm its name: {3}; it may be lost in a power "
                  "cut, so keep {1}",
                  {source, output, reason});
    case JobStatus::Cancelled:
        return Tr("{1}: interrupted; {2} not written", {source, output});
    case JobStatus::NoThread:
        return Tr("{1}: the system would not start a thread for it; nothing was done", {source});
    case JobStatus::Busy:
    case JobStatus::Succeeded:
        break;
    }
    return Tr("{1}: failed", {source});
}

namespace {

// Whether a file's output name may be made now, saying why not.
FileResult CheckOutputName(const PlannedFile& file, const CliOptions& options)
{
    // Checked only now: an earlier file of this run may have made it. The
    // usual answer, no such name, takes one look.
    if (!PathExists(file.output))
        return FileResult::Done;
    if (IsFolder(file.output)) {
        Report(Tr("{1}: cannot create {2}: {3}", {file.source, file.output, ReasonText({FileError::IsFolder, 0})}));
        return FileResult::Failed;
    }
    if (!options.force) {
        Report(Tr("{1}: {2} already exists; not replaced (-f replaces it)", {file.source, file.output}));
        return FileResult::Failed;
    }
    return FileResult::Done;
}

}  // namespace

FileResult ProcessFile(CipherJob& job, RunOwner& owner, ProgressLine& progress, OutputGroup& group,
                       const PlannedFile& file, const CliOptions& options, const std::u16string& password)
{
    if (!file.refusal.empty()) {
        Report(file.refusal);
        return FileResult::Failed;
    }
    if (!file.toStdout) {
        if (const FileResult checked = CheckOutputName(file, options); checked != FileResult::Done)
            return checked;
    }

    job.SetKey(password);
    uint64_t size = 0;
    JobOutcome outcome =
        file.fromStdin ? job.PrepareStream(StandardInputFile(CIPHER_BLOCK_SIZE)) : job.PrepareJob(file.source, size);
    // The outputs written before wait for no stream, which may wait on its
    // writer for any time, nor for a file that would take them past their bytes.
    if (outcome.status == JobStatus::Succeeded && (file.toStdout || !group.Fits(size)))
        group.Flush();
    const auto start = Clock::now();
    const auto elapsed = [&start] { return std::chrono::duration<double>(Clock::now() - start).count(); };
    owner.Reset();
    if (outcome.status == JobStatus::Succeeded && file.toStdout)
        outcome = job.LaunchJob(owner, options.direction, StandardOutputFile(CIPHER_BLOCK_SIZE));
    else if (outcome.status == JobStatus::Succeeded)
        outcome = job.LaunchJob(owner, options.direction, file.name, file.folder, JobEnd::Written);
    if (outcome.status == JobStatus::Succeeded) {
        while (!job.WaitReleased(std::chrono::milliseconds(100))) {
            if (Interrupted())
                job.RequestCancel();
            progress.Show(file.fromStdin ? FormatStreamProgressLine(file.source, owner.Done(), elapsed())
                                         : FormatProgressLine(file.source, owner.Done(), size, elapsed()));
        }
        job.Wait();
        outcome = job.Outcome();
    }
    // A stream that ended because its writer was stopped with it is no whole stream.
    if (outcome.status == JobStatus::Succeeded && !file.toStdout) {
        progress.Clear();
        group.Add(file, job.TakeWrittenOutput(), size, elapsed());
        return FileResult::Written;
    }
    if (outcome.status == JobStatus::Succeeded && !(file.fromStdin && Interrupted())) {
        progress.Finish(FormatFinishedLine(file.source, file.fromStdin ? owner.Done() : size, elapsed()));
        return FileResult::Done;
    }
    progress.Clear();
    // The reader of standard output went away: SIGPIPE, or on Windows a broken pipe.
    const bool outputClosed =
        file.toStdout && (InterruptSignal() == kBrokenPipeSignal ||
                          (outcome.status == JobStatus::WriteFailed && outcome.file.error == FileError::Interrupted));
    if (outputClosed) {
        Report(Tr("{1}: standard output was closed before the end; stopped", {file.source}));
        return FileResult::OutputClosed;
    }
    Report(FailureText(file.source, file.output, file.toStdout, outcome));
    // A stop that came while the file was being opened counts as one too.
    return outcome.status == JobStatus::Cancelled || Interrupted() ? FileResult::Interrupted : FileResult::Failed;
}

bool RemoveSource(const PlannedFile& file)
{
    if (Interrupted()) {
        Report(Tr("{1}: kept, as the run was interrupted ({2} is complete)", {file.source, file.output}));
        return true;
    }
    const FileStatus removed = RemoveFile(file.source);
    if (!removed)
        Report(Tr("{1}: {2} is written, but {1} cannot be removed: {3}", {file.source, file.output, ReasonText(removed)}));
    return static_cast<bool>(removed);
}

}  // namespace quorvel::cli
