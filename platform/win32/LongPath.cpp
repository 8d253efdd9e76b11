// Extended-length paths: the "\\?\" form passes a path to the file system as
// it is, without the 260-character limit but also without the usual clean-up,
// so the path is made full and clean first.
#include "platform/win32/LongPath.h"

#include "platform/FileNames.h"
#include "platform/win32/WideText.h"

#include <windows.h>

#include <vector>

namespace quorvel {
namespace {

// "\\?\" and "\??\" hand the rest to the file system untouched; "\\.\" names
// a device. Either way the caller has said exactly what it means.
bool SaysHowToRead(const std::u16string& path)
{
    if (path.size() < 4)
        return false;
    if (path.compare(0, 4, u"\\??\\") == 0)
        return true;
    return IsPathSeparator(path[0]) && IsPathSeparator(path[1]) && (path[2] == u'?' || path[2] == u'.') &&
           IsPathSeparator(path[3]);
}

std::u16string WithBackslashes(std::u16string path)
{
    for (char16_t& c : path) {
        if (c == u'/')
            c = u'\\';
    }
    return path;
}

// "\\?\" or "\\?\UNC\" before a full drive or UNC path; others unchanged.
std::u16string Prefixed(const std::u16string& fullPath)
{
    // After the prefix a forward slash is part of a name, no longer a separator.
    if (fullPath.size() >= 3 && fullPath[1] == u':' && IsPathSeparator(fullPath[2]))
        return u"\\\\?\\" + WithBackslashes(fullPath);
    if (fullPath.size() >= 2 && IsPathSeparator(fullPath[0]) && IsPathSeparator(fullPath[1]))
        return u"\\\\?\\UNC\\" + WithBackslashes(fullPath.substr(2));
    return fullPath;
}

}  // namespace

std::u16string FullPathOf(const std::u16string& path)
{
    const wchar_t* in = win32::Wide(path);
    DWORD capacity = ::GetFullPathNameW(in, 0, nullptr, nullptr);
    // The current directory can change between the two calls; try again then.
    for (int attempt = 0; attempt < 3 && capacity != 0; ++attempt) {
        std::vector<wchar_t> buffer(capacity);
        const DWORD length = ::GetFullPathNameW(in, capacity, buffer.data(), nullptr);
        if (length == 0)
            return {};
        if (length < capacity)
            return win32::FromWide(buffer.data(), length);
        capacity = length;
    }
    return {};
}

std::u16string ExtendedLengthOfFullPath(const std::u16string& fullPath)
{
    if (fullPath.size() < kClassicPathLimit || SaysHowToRead(fullPath))
        return fullPath;
    return Prefixed(fullPath);
}

std::u16string NtPathOf(const std::u16string& path)
{
    const std::u16string extended = SaysHowToRead(path) ? path : Prefixed(FullPathOf(path));
    if (extended.starts_with(u"\\\\?\\"))
        return u"\\??\\" + extended.substr(4);
    return extended;
}

std::u16string ExtendedLengthPath(const std::u16string& path)
{
    if (path.empty() || SaysHowToRead(path))
        return path;
    const std::u16string full = FullPathOf(path);
    // Short paths stay exactly as given; a path Windows cannot make full is
    // left for the file call to refuse with its own error.
    if (full.size() < kClassicPathLimit)
        return path;
    return ExtendedLengthOfFullPath(full);
}

}  // namespace quorvel
