// The process's standard streams, its terminal and its interruption: what a
// command-line program needs of the operating system beyond files. One
// implementation per platform (posix/PosixTerminal.cpp, win32/Win32Terminal.cpp).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace quorvel {

#ifdef _WIN32
// The user's interface language as a catalogue name ("zh_CN", "en_US"), from
// GetUserDefaultUILanguage. (On Linux gettext reads the locale itself.)
std::string UserInterfaceLanguage();
#endif

// Text for the user. Goes to a console as UTF-16 on Windows, elsewhere as UTF-8.
void WriteOut(std::u16string_view text);
void WriteErr(std::u16string_view text);

// True when standard error (standard output) is an interactive terminal (a console on Windows).
bool StderrIsTerminal();
bool StdoutIsTerminal();

// Makes Ctrl-C, termination, hang-up, quit and broken-pipe signals (on
// Windows: Ctrl-C, Ctrl-Break and closing the console) set a flag instead of
// ending the process, so a running job can remove its unfinished output first.
// A write past the process's file size limit (SIGXFSZ) fails instead, too.
void InstallInterruptHandlers();
bool Interrupted();
// The run has removed what it must: a console being closed meanwhile may end
// the process now (on Windows its close waits for this, for a few seconds).
void CleanupFinished();
// The first of those signals to arrive (SIGINT 2, SIGHUP 1, ...), or 0.
int InterruptSignal();

enum class AskResult {
    Ok,
    NoTerminal,
    EchoStaysOn,  // the terminal's echo could not be turned off: nothing was read
    Interrupted,
    Abandoned,    // the input ended before a line end: Ctrl-D (Ctrl-Z on Windows)
    TooLong,      // the line went on past the limit: it was read to its end, and nothing kept
};

// Shows prompt on the terminal and reads one line without echo; the line end
// is not part of the answer. Where echo cannot be turned off, nothing is
// asked: what is typed would show. The line is read into room for limit
// bytes of UTF-8 (on Windows limit UTF-16 units, which are never fewer
// bytes), taken before the first key, so no copy of it is ever left behind.
AskResult AskPassword(std::u16string_view prompt, std::u16string& password, size_t limit);

// True once a terminal's echo could not be turned back on (after a password
// prompt, or by StdinEchoOff): what is typed there may no longer show. For
// one warning, however many times the echo was turned off.
bool EchoLeftOff();

// Reads up to count bytes of standard input; got is 0 only at its end. False
// when reading failed or was interrupted.
bool ReadStandardInput(void* buffer, size_t count, size_t& got);

bool StdinIsTerminal();

// While it lives, what is typed on a terminal that is standard input is not
// shown (nothing changes when standard input is not a terminal).
class StdinEchoOff {
public:
    StdinEchoOff();
    ~StdinEchoOff();
    StdinEchoOff(const StdinEchoOff&) = delete;
    StdinEchoOff& operator=(const StdinEchoOff&) = delete;

    // Standard input is a terminal whose echo could not be turned off: a
    // password typed there would show.
    bool Failed() const { return m_failed; }

private:
    bool m_changed = false;
    bool m_failed = false;
    unsigned long m_saved = 0;  // the terminal's or console's mode before
};

enum class LineResult {
    Complete,     // up to and including a line end
    Unterminated, // the input ended first; line holds what came
    TooLong,      // limit bytes came without a line end
    Failed,       // reading failed or was interrupted
};

// Reads standard input up to and including its first line end, at most limit
// bytes, into room for them all taken first: a line that grew would leave
// each shorter copy of a password in freed memory.
LineResult ReadStdinLine(std::string& line, size_t limit);

}  // namespace quorvel
