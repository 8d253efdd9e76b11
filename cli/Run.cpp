// The command line's run: the plan, the password, then the files one at a
// time, their outputs put on the disk in groups; a failing file does not stop
// the others.
#include "cli/Run.h"

#include "cli/OutputFileSystem.h"
#include "cli/OutputGroup.h"
#include "cli/Password.h"
#include "cli/Plan.h"
#include "cli/ProcessFile.h"
#include "cli/Report.h"
#include "texts/Catalogue.h"
#include "platform/FileSystem.h"
#include "platform/Terminal.h"
#include "platform/Wipe.h"

#include <algorithm>
#include <vector>

namespace quorvel::cli {

int RunFiles(const std::vector<PlannedFile>& plan, const CliOptions& options, const std::u16string& password,
             FileSystem& system)
{
    ProgressLine progress(!options.quiet && StderrIsTerminal());
    // Without -f, an existing output is refused before each file starts, and
    // the final rename keeps a file that appeared under its name meanwhile.
    OutputFileSystem fileSystem(system, options.force);
    CipherJob job(fileSystem);
    job.RunOneBlockJobsInLaunch(true);
    RunOwner owner;
    OutputGroup group(fileSystem, progress, options, plan.size(), RunGroupLimits(), Interrupted);
    bool anyFailed = false;
    size_t streamed = 0;  // done to standard output; the group counts the rest
    const auto start = Clock::now();
    for (const PlannedFile& file : plan) {
        if (Interrupted()) {
            group.Abandon();
            progress.Clear();
            Report(Tr("interrupted; {1} and any files after it were not processed", {file.source}));
            return InterruptedExit();
        }
        group.Poll();
        progress.CountFiles(group.Done(), plan.size());
        switch (ProcessFile(job, owner, progress, group, file, options, password)) {
        case FileResult::Done:
            ++streamed;
            break;
        case FileResult::Written:
            break;
        case FileResult::Failed:
            anyFailed = true;
            break;
        case FileResult::Interrupted:
            group.Abandon();
            return InterruptedExit();
        case FileResult::OutputClosed:
            // As SIGPIPE ends a program whose reader went away (Windows has no signal for it).
            return kExitOutputClosed;
        }
    }
    group.Flush();
    if (group.WasInterrupted())
        return InterruptedExit();
    // A file's line gives its own time; the run's, the disk's wait included, closes it.
    progress.Close(
        FormatRunLine(streamed + group.Done(), plan.size(), std::chrono::duration<double>(Clock::now() - start).count()));
    // A stop that came after the last file was complete cut nothing short.
    return anyFailed || group.AnyFailed() ? kExitFileFailed : kExitOk;
}

int RunCommand(const CliOptions& options)
{
    InstallInterruptHandlers();
    const bool anyToStdout = options.toStdout || std::find(options.files.begin(), options.files.end(),
                                                           std::u16string(kStdinName)) != options.files.end();
    if (anyToStdout && !options.force && StdoutIsTerminal()) {
        Report(Tr("the output is binary and standard output is a terminal; redirect it to a file or a pipe "
                  "(-f writes it to the terminal all the same)"));
        return kExitUsage;
    }
    if (options.outputDir && !IsFolder(*options.outputDir)) {
        Report(PathExists(*options.outputDir) ? Tr("the output folder {1} is a file, not a folder", {*options.outputDir})
                                              : Tr("the output folder {1} does not exist", {*options.outputDir}));
        return kExitUsage;
    }

    const std::vector<PlannedFile> plan = PlanRun(options);
    const bool anyToDo = std::any_of(plan.begin(), plan.end(), [](const PlannedFile& f) { return f.refusal.empty(); });
    std::u16string password;
    if (anyToDo) {
        if (const auto failed = GetPassword(options, password)) {
            Wipe(password);
            return *failed;
        }
    }
    const int exitCode = RunFiles(plan, options, password, SystemFileSystem());
    Wipe(password);
    return exitCode;
}

}  // namespace quorvel::cli
