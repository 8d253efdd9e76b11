// POSIX side of the command line's system services: file descriptors 1 and 2,
// /dev/tty with echo off for the password, signals for interruption.
#include "cli/System.h"

#include "platform/Text.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace quorvel::cli {
namespace {

volatile std::sig_atomic_t g_interrupted = 0;

void OnSignal(int)
{
    g_interrupted = 1;
}

void WriteAll(int fd, const std::string& bytes)
{
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t w = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (w < 0 && errno == EINTR)
            continue;
        if (w <= 0)
            return;  // nowhere left to tell anyone
        done += static_cast<size_t>(w);
    }
}

FileStatus FromErrno(int code)
{
    FileError error = FileError::Other;
    if (code == EEXIST)
        error = FileError::Exists;
    else if (code == ENOENT || code == ENOTDIR)
        error = FileError::NotFound;
    else if (code == EACCES || code == EPERM || code == EROFS)
        error = FileError::AccessDenied;
    else if (code == ENOSPC || code == EDQUOT)
        error = FileError::DiskFull;
    else if (code == EBUSY)
        error = FileError::InUse;
    return {error, static_cast<uint32_t>(code)};
}

}  // namespace

void WriteOut(std::u16string_view text)
{
    WriteAll(STDOUT_FILENO, Utf16ToUtf8(text));
}

void WriteErr(std::u16string_view text)
{
    WriteAll(STDERR_FILENO, Utf16ToUtf8(text));
}

bool StderrIsTerminal()
{
    return ::isatty(STDERR_FILENO) == 1;
}

void InstallInterruptHandlers()
{
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    // No SA_RESTART: a password read must return to see the flag. SA_RESETHAND:
    // a second Ctrl-C ends the process at once, should the file system hang.
    action.sa_flags = SA_RESETHAND;
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
    // A closed pipe on stderr must not kill the process before it removes its
    // unfinished output; the failed write is ignored instead.
    std::signal(SIGPIPE, SIG_IGN);
}

bool Interrupted()
{
    return g_interrupted != 0;
}

AskResult AskPassword(std::u16string_view prompt, std::u16string& password)
{
    // The terminal itself, not stdin/stderr, which may be redirected.
    const int fd = ::open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return AskResult::NoTerminal;
    termios saved {};
    if (::tcgetattr(fd, &saved) != 0) {
        ::close(fd);
        return AskResult::NoTerminal;
    }
    termios quiet = saved;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    quiet.c_lflag |= ECHONL;
    WriteAll(fd, Utf16ToUtf8(prompt));
    ::tcsetattr(fd, TCSAFLUSH, &quiet);

    std::string line;
    AskResult result = AskResult::Ok;
    for (;;) {
        char c = 0;
        const ssize_t r = ::read(fd, &c, 1);
        if (r < 0 && errno == EINTR && !Interrupted())
            continue;
        if (r < 0) {
            result = Interrupted() ? AskResult::Interrupted : AskResult::NoTerminal;
            break;
        }
        if (r == 0 || c == '\n')
            break;
        line += c;
    }
    ::tcsetattr(fd, TCSAFLUSH, &saved);
    if (result == AskResult::Interrupted)
        WriteAll(fd, "\n");
    ::close(fd);
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    password = Utf8ToUtf16(line);
    std::fill(line.begin(), line.end(), '\0');
    return result;
}

bool ReadStdinLine(std::string& line, size_t limit)
{
    line.clear();
    while (line.size() < limit) {
        char c = 0;
        const ssize_t r = ::read(STDIN_FILENO, &c, 1);
        if (r < 0 && errno == EINTR && !Interrupted())
            continue;
        if (r < 0)
            return false;
        if (r == 0)
            break;
        line += c;
        if (c == '\n')
            break;
    }
    return true;
}

std::optional<FileId> IdentityOf(const std::u16string& path)
{
    struct stat st {};
    if (::stat(Utf16ToUtf8(path).c_str(), &st) != 0)
        return std::nullopt;
    return FileId {static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)};
}

FileStatus RenameNoReplace(const std::u16string& from, const std::u16string& to)
{
    const std::string source = Utf16ToUtf8(from), target = Utf16ToUtf8(to);
    if (::renameat2(AT_FDCWD, source.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0)
        return {};
    if (errno != EINVAL && errno != ENOSYS)
        return FromErrno(errno);
    // No RENAME_NOREPLACE on this file system: a hard link refuses an
    // existing name just as well; then the temporary name goes.
    if (::link(source.c_str(), target.c_str()) != 0)
        return FromErrno(errno);
    ::unlink(source.c_str());
    return {};
}

bool PathExists(const std::u16string& path)
{
    struct stat st {};
    return ::lstat(Utf16ToUtf8(path).c_str(), &st) == 0;
}

bool IsFolder(const std::u16string& path)
{
    struct stat st {};
    return ::stat(Utf16ToUtf8(path).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

char16_t PathSeparator()
{
    return u'/';
}

std::u16string FoldName(std::u16string name)
{
    return name;
}

}  // namespace quorvel::cli
