// The process's standard streams, its terminal and its interruption: what a
// command-line program needs of the operating system beyond files. One
// implementation per platform (posix/PosixTerminal.cpp, win32/Win32Terminal.cpp).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace quorvel {

// Text for the user. Goes to a console as UTF-16 on Windows, elsewhere as UTF-8.
void WriteOut(std::u16string_view text);
void WriteErr(std::u16string_view text);

// True when standard error is an interactive terminal (a console on Windows).
bool StderrIsTerminal();

// Makes Ctrl-C and termination requests set a flag instead of ending the
// process, so a running job can remove its unfinished output first.
void InstallInterruptHandlers();
bool Interrupted();

enum class AskResult { Ok, NoTerminal, Interrupted };

// Shows prompt on the terminal and reads one line without echo; the line end
// is not part of the answer.
AskResult AskPassword(std::u16string_view prompt, std::u16string& password);

// Reads up to count bytes of standard input; got is 0 only at its end. False
// when reading failed or was interrupted.
bool ReadStandardInput(void* buffer, size_t count, size_t& got);

// Reads standard input up to and including its first line end, or to its
// end; at most limit bytes.
bool ReadStdinLine(std::string& line, size_t limit);

}  // namespace quorvel
