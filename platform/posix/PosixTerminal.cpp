// POSIX side of the terminal services: file descriptors 0, 1 and 2, /dev/tty
// with echo off for the password, signals for interruption.
#include "platform/Terminal.h"

#include "platform/Text.h"
#include "platform/Wipe.h"
#include "platform/posix/UniqueFd.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace quorvel {
namespace {

// Set by the handler on whichever thread the signal lands and read by every
// thread: an atomic, which lock-free is safe in a signal handler.
std::atomic<int> g_signal {0};
static_assert(std::atomic<int>::is_always_lock_free);

void OnSignal(int signal)
{
    int none = 0;
    g_signal.compare_exchange_strong(none, signal);
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

enum class Echo { NotATerminal, Off, StaysOn };

// Set once an echo could not be turned back on, for the program to tell once.
std::atomic<bool> g_echoLeftOff {false};

void RestoreEcho(int fd, unsigned long saved)
{
    termios mode {};
    int result = ::tcgetattr(fd, &mode);
    if (result == 0) {
        mode.c_lflag = static_cast<tcflag_t>(saved);
        // TCSAFLUSH waits for the output to drain, which a signal cuts short.
        do
            result = ::tcsetattr(fd, TCSAFLUSH, &mode);
        while (result != 0 && errno == EINTR);
    }
    // As when turning it off, only reading back tells whether it took.
    if (result != 0 || ::tcgetattr(fd, &mode) != 0 || (mode.c_lflag & ECHO) != (saved & ECHO))
        g_echoLeftOff.store(true);
}

// Turns a terminal's echo off, keeping the line end's (ECHONL), so what
// follows starts on a line of its own; saved keeps the flags to restore.
Echo EchoOff(int fd, unsigned long& saved)
{
    termios mode {};
    if (::tcgetattr(fd, &mode) != 0)
        return Echo::NotATerminal;
    static_assert(sizeof saved >= sizeof mode.c_lflag);
    saved = mode.c_lflag;
    mode.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    mode.c_lflag |= ECHONL;
    // tcsetattr succeeds if any of the changes took; only reading back tells.
    if (::tcsetattr(fd, TCSAFLUSH, &mode) != 0 || ::tcgetattr(fd, &mode) != 0 || (mode.c_lflag & ECHO) != 0) {
        RestoreEcho(fd, saved);
        return Echo::StaysOn;
    }
    return Echo::Off;
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

bool StdoutIsTerminal()
{
    return ::isatty(STDOUT_FILENO) == 1;
}

void InstallInterruptHandlers()
{
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    // No SA_RESTART: a password read must return to see the flag. SA_RESETHAND:
    // a second Ctrl-C ends the process at once, should the file system hang.
    action.sa_flags = SA_RESETHAND;
    for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT})
        ::sigaction(signal, &action, nullptr);
    // A reader that went away stops the run the same way; every later write
    // to it fails instead of killing the process before its clean-up.
    action.sa_flags = 0;
    ::sigaction(SIGPIPE, &action, nullptr);
    // A write past the process's file size limit then fails with EFBIG, which
    // the run reports as such and cleans up after, instead of being killed.
    ::signal(SIGXFSZ, SIG_IGN);
}

bool Interrupted()
{
    return g_signal.load() != 0;
}

void CleanupFinished() {}  // a signal's stop waits for the run itself

int InterruptSignal()
{
    return g_signal.load();
}

AskResult AskPassword(std::u16string_view prompt, std::u16string& password, size_t limit)
{
    // The terminal itself, not stdin/stderr, which may be redirected.
    const UniqueFd tty(::open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC));
    if (!tty)
        return AskResult::NoTerminal;
    const int fd = tty.Get();
    unsigned long saved = 0;
    if (const Echo echo = EchoOff(fd, saved); echo != Echo::Off)
        return echo == Echo::StaysOn ? AskResult::EchoStaysOn : AskResult::NoTerminal;
    WriteAll(fd, Utf16ToUtf8(prompt));

    std::string line;
    line.reserve(limit + 1);  // and a CR before the line end
    bool tooLong = false;
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
        if (r == 0) {
            result = AskResult::Abandoned;  // Ctrl-D: no answer, not an empty one
            break;
        }
        if (c == '\n')
            break;
        // Past the room taken the rest of the line is read, not kept.
        if (line.size() <= limit)
            line += c;
        else
            tooLong = true;
    }
    RestoreEcho(fd, saved);
    if (result == AskResult::Interrupted || result == AskResult::Abandoned)
        WriteAll(fd, "\n");
    if (result == AskResult::Ok && tooLong)
        result = AskResult::TooLong;
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    if (result != AskResult::TooLong)
        password = Utf8ToUtf16(line);
    Wipe(line);
    return result;
}

bool EchoLeftOff()
{
    return g_echoLeftOff.load();
}

bool StdinIsTerminal()
{
    return ::isatty(STDIN_FILENO) == 1;
}

StdinEchoOff::StdinEchoOff()
{
    const Echo echo = EchoOff(STDIN_FILENO, m_saved);
    m_changed = echo == Echo::Off;
    m_failed = echo == Echo::StaysOn;
}

StdinEchoOff::~StdinEchoOff()
{
    if (m_changed)
        RestoreEcho(STDIN_FILENO, m_saved);
}

bool ReadStandardInput(void* buffer, size_t count, size_t& got)
{
    got = 0;
    for (;;) {
        const ssize_t r = ::read(STDIN_FILENO, buffer, count);
        if (r < 0 && errno == EINTR && !Interrupted())
            continue;
        if (r < 0)
            return false;
        got = static_cast<size_t>(r);
        return true;
    }
}

}  // namespace quorvel
