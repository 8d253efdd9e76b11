// The command line's run. Files are processed one at a time, each exactly as
// the dialog's job processes it (the output named only once complete, nothing
// partial left on failure or interruption), or as a stream from standard
// input or to standard output; a failing file does not stop the others.
#include "cli/Run.h"

#include "cipher/CipherJob.h"
#include "cli/Progress.h"
#include "cli/OutputFileSystem.h"
#include "texts/SharedTexts.h"
#include "platform/FileSystem.h"
#include "platform/Terminal.h"
#include "platform/Text.h"
#include "platform/Wipe.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <optional>
#include <vector>

namespace quorvel::cli {
namespace {

using Clock = std::chrono::steady_clock;

void Report(std::u16string_view message)
{
    WriteErr(u"quorvel-cli: " + std::u16string(message) + u"\n");
}

std::u16string ReasonText(const FileStatus& status)
{
    return FileErrorText(status, TextLanguage::English);
}

std::u16string FailureText(const std::u16string& source, const std::u16string& output, bool toStdout,
                           const JobOutcome& outcome)
{
    const std::u16string reason = ReasonText(outcome.file);
    if (toStdout) {
        // What reached standard output stays there; say where it stopped.
        const std::u16string incomplete = u"; the output on standard output is incomplete";
        if (outcome.status == JobStatus::ReadFailed)
            return source + u": read failed: " + reason + incomplete;
        if (outcome.status == JobStatus::WriteFailed)
            return source + u": cannot write standard output: " + reason + incomplete;
        if (outcome.status == JobStatus::Cancelled)
            return source + u": interrupted" + incomplete;
    }
    switch (outcome.status) {
    case JobStatus::OpenSourceFailed:
        return source + u": cannot open: " + reason;
    case JobStatus::CreateOutputFailed:
        return source + u": cannot create " + output + u": " + reason;
    case JobStatus::ReadFailed:
        return source + u": read failed: " + reason + u"; no output written";
    case JobStatus::WriteFailed:
        return source + u": cannot write " + output + u": " + reason + u"; no output written";
    case JobStatus::NotDurable:
        return source + u": " + output + u" is written, but the disk did not confirm its name: " + reason +
               u"; it may be lost in a power cut, so keep " + source;
    case JobStatus::Cancelled:
        return source + u": interrupted; " + output + u" not written";
    case JobStatus::Busy:
    case JobStatus::Succeeded:
        break;
    }
    return source + u": failed";
}

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

// One carriage-return line on standard error, rewritten in place.
class ProgressLine {
public:
    explicit ProgressLine(bool enabled) : m_enabled(enabled) {}

    void Show(const std::u16string& text) { Put(text, false); }
    void Finish(const std::u16string& text) { Put(text, true); }
    void Clear()
    {
        if (m_enabled && m_width != 0)
            WriteErr(u"\r" + std::u16string(m_width, u' ') + u"\r");
        m_width = 0;
    }

private:
    void Put(const std::u16string& text, bool last)
    {
        if (!m_enabled)
            return;
        // Padding covers the rest of a longer previous line; no escape codes,
        // which not every Windows console understands.
        std::u16string line = u"\r" + text;
        if (text.size() < m_width)
            line.append(m_width - text.size(), u' ');
        m_width = last ? 0 : text.size();
        WriteErr(last ? line + u"\n" : line);
    }

    bool m_enabled;
    size_t m_width = 0;
};

struct PlannedFile {
    std::u16string source;  // as given
    std::u16string name;    // bare file name
    std::u16string folder;  // of the output, with its separator (or empty)
    std::u16string output;  // full output path, or kStandardOutput
    std::u16string refusal; // why the file is not processed, if it is not
    bool fromStdin = false; // "-": standard input, read to its end
    bool toStdout = false;  // the output goes to standard output
};

constexpr char16_t kStandardOutput[] = u"standard output";

std::u16string WithSeparator(std::u16string folder)
{
    const char16_t last = folder.back();
    if (last != u'/' && last != PathSeparator())
        folder += PathSeparator();
    return folder;
}

// A name in a folder as the file system tells names apart: the folder's
// identity and the folded name. It stands for a file that does not exist yet.
using NameKey = std::pair<FileId, std::u16string>;

std::optional<NameKey> KeyOf(const std::u16string& folder, const std::u16string& name)
{
    const auto id = IdentityOf(folder.empty() ? u"." : folder);
    if (!id)
        return std::nullopt;
    return NameKey {*id, FoldName(name)};
}

// A FILE word as the run takes it: a path, or why the word names no file.
struct FileWord {
    std::u16string path;
    std::u16string refusal;
};

// The FILE words, each pattern replaced by the files it matches (where the
// program expands them itself: on Windows). Taken once, before any file
// runs, so no output of this run is ever picked up by a pattern.
std::vector<FileWord> ExpandFileWords(const std::vector<std::u16string>& words)
{
    std::vector<FileWord> files;
    for (const std::u16string& word : words) {
        const WildcardMatches matches = ExpandWildcards(word);
        if (!matches.isPattern)
            files.push_back({word, {}});
        else if (!matches.status)
            files.push_back({word, word + u": cannot list its folder: " + ReasonText(matches.status)});
        else if (matches.paths.empty())
            files.push_back({word, u"no file matches '" + word + u"'"});
        for (const std::u16string& path : matches.paths)
            files.push_back({path, {}});
    }
    return files;
}

std::vector<PlannedFile> Plan(const CliOptions& options, const std::vector<FileWord>& files)
{
    const std::u16string prefix = OutputPrefix(options.direction);
    // The inputs by identity (what links and other paths name) and by name
    // (what an earlier file of this run would create).
    std::vector<std::optional<FileId>> sources;
    std::vector<std::optional<NameKey>> sourceNames;
    for (const FileWord& word : files) {
        const std::u16string& source = word.path;
        const bool stdinSource = source == kStdinName;
        sources.push_back(stdinSource ? std::nullopt : IdentityOf(source));
        const std::u16string folder = FolderOf(source);
        sourceNames.push_back(stdinSource ? std::nullopt : KeyOf(folder, source.substr(folder.size())));
    }
    // Standard output may itself be a file, one of the inputs even (-c a >> a).
    const std::optional<FileId> standardOutput = StandardOutputIdentity();

    std::vector<PlannedFile> plan;
    // Outputs already claimed in this run: their folder's identity and folded name.
    std::vector<NameKey> claimed;
    std::vector<size_t> claimedBy;
    for (size_t i = 0; i < files.size(); ++i) {
        PlannedFile file;
        file.source = files[i].path;
        file.refusal = files[i].refusal;
        if (!file.refusal.empty()) {
            plan.push_back(std::move(file));
            continue;
        }
        if (file.source == kStdinName || options.toStdout) {
            file.fromStdin = file.source == kStdinName;
            file.toStdout = true;
            file.output = kStandardOutput;
            for (size_t j = 0; j < sources.size() && file.refusal.empty(); ++j) {
                if (standardOutput && sources[j] == standardOutput)
                    file.refusal = file.source + u": standard output is the input " + files[j].path +
                                   u" of this run; refused";
            }
            plan.push_back(std::move(file));
            continue;
        }
        file.name = file.source.substr(FolderOf(file.source).size());
        file.folder = options.outputDir ? WithSeparator(*options.outputDir) : FolderOf(file.source);
        file.output = file.folder + prefix + file.name;
        if (file.name.empty()) {
            file.refusal = file.source + u": not a file";
            plan.push_back(std::move(file));
            continue;
        }
        // No output of a run is an input of the same run, whether that input
        // exists now or would be made by an earlier file, whatever path names it.
        const auto output = IdentityOf(file.output);
        const auto outputKey = KeyOf(file.folder, prefix + file.name);
        for (size_t j = 0; j < sources.size() && file.refusal.empty(); ++j) {
            if ((output && sources[j] == output) || (outputKey && sourceNames[j] == outputKey))
                file.refusal = j == i ? file.source + u": its output " + file.output + u" is the file itself; refused"
                                      : file.source + u": its output " + file.output + u" is the input " +
                                            files[j].path + u" of this run; refused";
        }
        // Two files of this run with one output: the later one is refused.
        if (file.refusal.empty() && outputKey) {
            const NameKey& key = *outputKey;
            const auto found = std::find(claimed.begin(), claimed.end(), key);
            if (found != claimed.end())
                file.refusal = file.source + u": its output " + file.output + u" is also the output of " +
                               files[claimedBy[static_cast<size_t>(found - claimed.begin())]].path + u"; refused";
            else
                claimed.push_back(key), claimedBy.push_back(i);
        }
        plan.push_back(std::move(file));
    }
    return plan;
}

// The exit status when standard output's reader went away: 128 + SIGPIPE.
constexpr int kBrokenPipeSignal = 13;
constexpr int kExitOutputClosed = 128 + kBrokenPipeSignal;

// The exit status of a run stopped by a signal: 128 + its number, as a shell reports it.
int InterruptedExit()
{
    const int signal = InterruptSignal();
    return signal != 0 ? 128 + signal : kExitInterrupted;
}

std::u16string TooLongPasswordText()
{
    return u"the password is longer than " + Ascii(std::to_string(kPasswordByteLimit)) +
           u" bytes (64 KiB), the most a password may have; nothing was done";
}

// Reads the first line of the password file; on failure returns the exit code.
std::optional<int> ReadPasswordFile(const std::u16string& path, std::string& bytes)
{
    std::unique_ptr<File> file;
    FileStatus status = SystemFileSystem().OpenRead(path, file);
    if (status) {
        // Enough for the longest password with a byte-order mark and CR LF, and one byte more to see it is longer.
        bytes.resize(kPasswordByteLimit + 6);
        uint32_t got = 0;
        status = file->Read(bytes.data(), static_cast<uint32_t>(bytes.size()), got);
        bytes.resize(got);
        file->Close();
    }
    if (!status) {
        if (Interrupted())
            return InterruptedExit();
        Report(u"cannot read the password file " + path + u": " + ReasonText(status));
        return kExitUsage;
    }
    return std::nullopt;
}

// Reads the password line of standard input, without echo on a terminal.
std::optional<int> ReadPasswordStdin(std::string& bytes)
{
    const bool terminal = StdinIsTerminal();
    LineResult read;
    {
        const StdinEchoOff quiet;
        if (quiet.Failed()) {
            Report(u"standard input is a terminal whose echo cannot be turned off, so the password would show as "
                   u"it is typed; nothing was read (use --password-file, or --password-stdin from a pipe)");
            return kExitUsage;
        }
        if (terminal)
            WriteErr(u"Password: ");
        read = ReadStdinLine(bytes, kPasswordByteLimit + 6);
    }
    if (terminal && read != LineResult::Complete)
        WriteErr(u"\n");
    if (Interrupted())
        return InterruptedExit();
    switch (read) {
    case LineResult::Complete:
        return std::nullopt;
    case LineResult::Unterminated:
        // From a pipe the input may simply lack a last line end; at a terminal it was Ctrl-D.
        if (!terminal)
            return std::nullopt;
        Report(u"no password given (the input was ended with Ctrl-D); nothing was done");
        return kExitUsage;
    case LineResult::TooLong:
        Report(TooLongPasswordText());
        return kExitUsage;
    case LineResult::Failed:
        break;
    }
    Report(u"cannot read the password from standard input");
    return kExitUsage;
}

// Asks on the terminal, twice when enciphering.
std::optional<int> AskPasswordTwice(CipherDirection direction, std::u16string& password)
{
    const AskResult asked = AskPassword(u"Password: ", password);
    std::u16string again;
    AskResult repeated = AskResult::Ok;
    if (asked == AskResult::Ok && direction == CipherDirection::Encipher)
        repeated = AskPassword(u"Repeat the password: ", again);
    const bool same = again == password || direction == CipherDirection::Decipher;
    Wipe(again);
    for (const AskResult result : {asked, repeated}) {
        switch (result) {
        case AskResult::Ok:
            break;
        case AskResult::Interrupted:
            return InterruptedExit();
        case AskResult::NoTerminal:
            Report(u"no terminal to ask for the password on; use --password-file or --password-stdin");
            return kExitUsage;
        case AskResult::EchoStaysOn:
            Report(u"the terminal's echo cannot be turned off, so the password would show as it is typed; nothing "
                   u"was asked (use --password-file or --password-stdin)");
            return kExitUsage;
        case AskResult::Abandoned:
            Report(u"no password given (the prompt was ended with Ctrl-D); nothing was done");
            return kExitUsage;
        }
    }
    if (!same) {
        Report(u"the two passwords differ; nothing was done");
        return kExitUsage;
    }
    if (Utf16ToUtf8(password).size() > kPasswordByteLimit) {
        Report(TooLongPasswordText());
        return kExitUsage;
    }
    return std::nullopt;
}

// Gets the password the options name; on failure returns the exit code.
std::optional<int> GetPassword(const CliOptions& options, std::u16string& password)
{
    if (!options.passwordFile && !options.passwordStdin) {
        if (const auto failed = AskPasswordTwice(options.direction, password))
            return failed;
    } else {
        std::string bytes;
        std::optional<int> failed =
            options.passwordFile ? ReadPasswordFile(*options.passwordFile, bytes) : ReadPasswordStdin(bytes);
        // The whole line or a refusal, never a password cut short.
        if (!failed && PasswordLine(bytes).size() > kPasswordByteLimit) {
            Report(TooLongPasswordText());
            failed = kExitUsage;
        }
        if (!failed)
            password = PasswordFromBytes(bytes);
        Wipe(bytes);
        if (failed)
            return failed;
    }
    if (password.size() < kMinPasswordLength) {
        Report(std::u16string(kPasswordTooShortText) + u" (the password needs at least 6 characters)");
        return kExitUsage;
    }
    return std::nullopt;
}

enum class FileResult { Done, Failed, Interrupted, OutputClosed };

// The output of a file that goes to standard output, or why not.
FileResult CheckOutputName(const PlannedFile& file, const CliOptions& options)
{
    // Checked only now: an earlier file of this run may have made it.
    if (IsFolder(file.output)) {
        Report(file.source + u": cannot create " + file.output + u": " + ReasonText({FileError::IsFolder, 0}));
        return FileResult::Failed;
    }
    if (!options.force && PathExists(file.output)) {
        Report(file.source + u": " + file.output + u" already exists; not replaced (-f replaces it)");
        return FileResult::Failed;
    }
    return FileResult::Done;
}

// Runs one planned file to its end, with its progress line; reports a failure.
FileResult ProcessFile(CipherJob& job, RunOwner& owner, ProgressLine& progress, const PlannedFile& file,
                       const CliOptions& options, const std::u16string& password)
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
    JobOutcome outcome = file.fromStdin ? job.PrepareStream(StandardInputFile(CIPHER_BLOCK_SIZE)) : job.PrepareJob(file.source, size);
    const auto start = Clock::now();
    const auto elapsed = [&start] { return std::chrono::duration<double>(Clock::now() - start).count(); };
    owner.Reset();
    if (outcome.status == JobStatus::Succeeded && file.toStdout)
        outcome = job.LaunchJob(owner, options.direction, StandardOutputFile(CIPHER_BLOCK_SIZE));
    else if (outcome.status == JobStatus::Succeeded)
        outcome = job.LaunchJob(owner, options.direction, file.name, file.folder);
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
        Report(file.source + u": standard output was closed before the end; stopped");
        return FileResult::OutputClosed;
    }
    Report(FailureText(file.source, file.output, file.toStdout, outcome));
    // A stop that came while the file was being opened counts as one too.
    return outcome.status == JobStatus::Cancelled || Interrupted() ? FileResult::Interrupted : FileResult::Failed;
}

// --rm, for a file whose job succeeded: its output and the output's name are
// on the disk by now. After a stop nothing more is removed; keeping a source
// is never a loss. Returns false when the source stays for a reason to report.
bool RemoveSource(const PlannedFile& file)
{
    if (Interrupted()) {
        Report(file.source + u": kept, as the run was interrupted (" + file.output + u" is complete)");
        return true;
    }
    const FileStatus removed = RemoveFile(file.source);
    if (!removed)
        Report(file.source + u": " + file.output + u" is written, but " + file.source +
               u" cannot be removed: " + ReasonText(removed));
    return static_cast<bool>(removed);
}

// Processes the planned files in order, one failure not stopping the others;
// returns the exit code.
int RunFiles(const std::vector<PlannedFile>& plan, const CliOptions& options, const std::u16string& password)
{
    ProgressLine progress(!options.quiet && StderrIsTerminal());
    // Without -f, an existing output is refused before each file starts, and
    // the final rename keeps a file that appeared under its name meanwhile.
    OutputFileSystem fileSystem(SystemFileSystem(), options.force);
    CipherJob job(fileSystem);
    RunOwner owner;
    bool anyFailed = false;
    for (const PlannedFile& file : plan) {
        if (Interrupted()) {
            Report(u"interrupted; " + file.source + u" and any files after it were not processed");
            return InterruptedExit();
        }
        switch (ProcessFile(job, owner, progress, file, options, password)) {
        case FileResult::Done:
            if (options.removeSources && !RemoveSource(file))
                anyFailed = true;
            break;
        case FileResult::Failed:
            anyFailed = true;
            break;
        case FileResult::Interrupted:
            return InterruptedExit();
        case FileResult::OutputClosed:
            // As SIGPIPE ends a program whose reader went away (Windows has no signal for it).
            return kExitOutputClosed;
        }
    }
    // A stop that came after the last file was complete cut nothing short.
    return anyFailed ? kExitFileFailed : kExitOk;
}

}  // namespace

std::string_view PasswordLine(std::string_view bytes)
{
    if (bytes.starts_with("\xEF\xBB\xBF"))
        bytes.remove_prefix(3);  // Windows editors start UTF-8 files with a byte-order mark
    const size_t end = bytes.find('\n');
    if (end != std::string_view::npos) {
        bytes = bytes.substr(0, end);
        if (bytes.ends_with('\r'))
            bytes.remove_suffix(1);
    }
    return bytes;
}

std::u16string PasswordFromBytes(std::string_view bytes)
{
    return Utf8ToUtf16(PasswordLine(bytes));
}

int RunCommand(const CliOptions& options)
{
    InstallInterruptHandlers();
    const bool anyToStdout = options.toStdout || std::find(options.files.begin(), options.files.end(),
                                                           std::u16string(kStdinName)) != options.files.end();
    if (anyToStdout && !options.force && StdoutIsTerminal()) {
        Report(u"the output is binary and standard output is a terminal; redirect it to a file or a pipe "
               u"(-f writes it to the terminal all the same)");
        return kExitUsage;
    }
    if (options.outputDir && !IsFolder(*options.outputDir)) {
        Report(u"the output folder " + *options.outputDir + u" does not exist or is not a folder");
        return kExitUsage;
    }

    const std::vector<PlannedFile> plan = Plan(options, ExpandFileWords(options.files));
    const bool anyToDo = std::any_of(plan.begin(), plan.end(), [](const PlannedFile& f) { return f.refusal.empty(); });
    std::u16string password;
    if (anyToDo) {
        if (const auto failed = GetPassword(options, password)) {
            Wipe(password);
            return *failed;
        }
    }
    const int exitCode = RunFiles(plan, options, password);
    Wipe(password);
    return exitCode;
}

}  // namespace quorvel::cli
