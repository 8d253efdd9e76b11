// What the command line needs of the operating system beyond the file
// services of the core: its standard streams, the terminal, interruption and
// file identity. One implementation per platform (SystemPosix.cpp,
// SystemWin32.cpp); everything else in this folder is portable.
#pragma once

#include "platform/FileSystem.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quorvel::cli {

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

// Reads standard input up to and including its first line end, or to its
// end; at most limit bytes.
bool ReadStdinLine(std::string& line, size_t limit);

// The same file whatever the path that names it (links, "./", case on Windows).
struct FileId {
    uint64_t volume = 0;
    uint64_t index = 0;
    bool operator==(const FileId&) const = default;
};
std::optional<FileId> IdentityOf(const std::u16string& path);

// Renames from to to, failing with FileError::Exists when to exists, in one
// step where the file system allows it.
FileStatus RenameNoReplace(const std::u16string& from, const std::u16string& to);

// Whether anything, even a dangling link, has this name.
bool PathExists(const std::u16string& path);
bool IsFolder(const std::u16string& path);

// The separator appended to a folder given without one.
char16_t PathSeparator();

// A name as the file system compares names: as is on POSIX, case-folded on Windows.
std::u16string FoldName(std::u16string name);

}  // namespace quorvel::cli
