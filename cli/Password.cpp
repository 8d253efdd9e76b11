// Where a run's password comes from, and the checks every password passes.
#include "cli/Password.h"

#include "cli/Report.h"
#include "platform/FileSystem.h"
#include "platform/Terminal.h"
#include "platform/Text.h"
#include "platform/Wipe.h"
#include "texts/Catalogue.h"
#include "texts/SharedTexts.h"

#include <memory>

namespace quorvel::cli {
namespace {

// What is read of a password's source: the longest password with a
// byte-order mark and CR LF, and one byte more to see it is longer.
constexpr size_t kPasswordReadBytes = kPasswordByteLimit + 6;

std::u16string TooLongPasswordText()
{
    return Tr("the password is longer than {1} bytes (64 KiB), the most a password may have; nothing was done",
              {Ascii(std::to_string(kPasswordByteLimit))});
}

// Reads the first line of the password file; on failure returns the exit code.
std::optional<int> ReadPasswordFile(const std::u16string& path, std::string& bytes)
{
    std::unique_ptr<File> file;
    FileStatus status = SystemFileSystem().OpenRead(path, file);
    if (status) {
        bytes.resize(kPasswordReadBytes);
        uint32_t got = 0;
        status = file->Read(bytes.data(), static_cast<uint32_t>(bytes.size()), got);
        bytes.resize(got);
        file->Close();
    }
    if (!status) {
        if (Interrupted())
            return InterruptedExit();
        Report(Tr("cannot read the password file {1}: {2}", {path, ReasonText(status)}));
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
            Report(Tr("standard input is a terminal whose echo cannot be turned off, so the password would show as "
                   "it is typed; nothing was read (use --password-file, or --password-stdin from a pipe)"));
            return kExitUsage;
        }
        if (terminal)
            WriteErr(Tr("Password: "));
        read = ReadStdinLine(bytes, kPasswordReadBytes);
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
        Report(Tr("no password given (the input was ended with Ctrl-D); nothing was done"));
        return kExitUsage;
    case LineResult::TooLong:
        Report(TooLongPasswordText());
        return kExitUsage;
    case LineResult::Failed:
        break;
    }
    Report(Tr("cannot read the password from standard input"));
    return kExitUsage;
}

// The exit code of a prompt that gave no password, once said why.
std::optional<int> AskFailed(AskResult result)
{
    switch (result) {
    case AskResult::Ok:
        return std::nullopt;
    case AskResult::Interrupted:
        return InterruptedExit();
    case AskResult::NoTerminal:
        Report(Tr("no terminal to ask for the password on; use --password-file or --password-stdin"));
        return kExitUsage;
    case AskResult::EchoStaysOn:
        Report(Tr("the terminal's echo cannot be turned off, so the password would show as it is typed; nothing "
               "was asked (use --password-file or --password-stdin)"));
        return kExitUsage;
    case AskResult::Abandoned:
        Report(Tr("no password given (the prompt was ended with Ctrl-D); nothing was done"));
        return kExitUsage;
    case AskResult::TooLong:
        Report(TooLongPasswordText());
        return kExitUsage;
    }
    return kExitUsage;
}

std::u16string MinimumText()
{
    return Ascii(std::to_string(kMinPasswordLength));
}

// As passwd does: a password too short is asked for again, up to this many times in all.
constexpr int kPasswordTries = 3;

// Asks on the terminal until the password is long enough, then once more to
// encipher: a typing slip there would make a file nobody can decipher.
std::optional<int> AskPasswordTwice(CipherDirection direction, std::u16string& password)
{
    for (int tries = 1;; ++tries) {
        if (const auto failed = AskFailed(AskPassword(Tr("Password: "), password, kPasswordByteLimit)))
            return failed;
        if (password.size() >= kMinPasswordLength)
            break;
        Wipe(password);
        if (tries == kPasswordTries) {
            Report(Tr("the password needs at least {1} characters; nothing was done", {MinimumText()}));
            return kExitUsage;
        }
        const int left = kPasswordTries - tries;
        Report(left == 1 ? Tr("the password needs at least {1} characters; try again (1 try left)", {MinimumText()})
                         : Tr("the password needs at least {1} characters; try again ({2} tries left)",
                              {MinimumText(), Ascii(std::to_string(left))}));
    }
    if (direction == CipherDirection::Encipher) {
        std::u16string again;
        const AskResult repeated = AskPassword(Tr("Repeat the password: "), again, kPasswordByteLimit);
        const bool same = again == password;
        Wipe(again);
        if (const auto failed = AskFailed(repeated))
            return failed;
        if (!same) {
            Report(Tr("the two passwords differ; nothing was done"));
            return kExitUsage;
        }
    }
    if (Utf16ToUtf8(password).size() > kPasswordByteLimit) {
        Report(TooLongPasswordText());
        return kExitUsage;
    }
    return std::nullopt;
}

std::optional<int> ReadPassword(const CliOptions& options, std::u16string& password)
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
    // From a file or a pipe there is nobody to ask again.
    if (password.size() < kMinPasswordLength) {
        Report(Tr("the password needs at least {1} characters; nothing was done", {MinimumText()}));
        return kExitUsage;
    }
    return std::nullopt;
}

}  // namespace

std::optional<int> GetPassword(const CliOptions& options, std::u16string& password)
{
    const std::optional<int> failed = ReadPassword(options, password);
    // Once, however many times the echo was turned off and on again.
    if (EchoLeftOff())
        Report(Tr("the terminal's echo could not be turned back on, so it may no longer show what is typed"));
    return failed;
}

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

}  // namespace quorvel::cli
