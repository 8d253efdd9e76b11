// POSIX side of the questions about names: identity, existence, kind,
// removal, patterns (the shell's), and the system's words for its errors;
// and the limit on open files.
#include "platform/FileNames.h"
#include "platform/FileSystem.h"
#include "platform/Text.h"
#include "platform/posix/PosixIo.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quorvel {

std::optional<FileId> IdentityOf(const std::u16string& path)
{
    struct stat st {};
    if (::stat(Utf16ToUtf8(path).c_str(), &st) != 0)
        return std::nullopt;
    return FileId {static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)};
}

std::optional<FileId> StandardOutputIdentity()
{
    struct stat st {};
    if (::fstat(STDOUT_FILENO, &st) != 0 || !S_ISREG(st.st_mode))
        return std::nullopt;
    return FileId {static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)};
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

// The shell has expanded every pattern; a * or ? that reaches the program is
// part of a name.
WildcardMatches ExpandWildcards(const std::u16string&)
{
    return {};
}

FileStatus RemoveFile(const std::u16string& path)
{
    // unlink, not remove: remove would take an empty folder too.
    if (::unlink(Utf16ToUtf8(path).c_str()) != 0)
        return errno == EISDIR ? FileStatus {FileError::IsFolder, EISDIR} : FromErrno(errno);
    return {};
}

size_t OpenFileLimit()
{
    struct rlimit limit {};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY)
        return SIZE_MAX;
    return static_cast<size_t>(limit.rlim_cur);
}

char16_t PathSeparator()
{
    return u'/';
}

std::u16string FoldName(std::u16string name)
{
    return name;
}

std::u16string SystemErrorText(uint32_t code)
{
    char buffer[256] {};
    // GNU strerror_r: the text may or may not be put in buffer.
    const char* text = ::strerror_r(static_cast<int>(code), buffer, sizeof buffer);
    return Utf8ToUtf16(text != nullptr ? text : buffer);
}

}  // namespace quorvel
