// Win32 side of the questions about names: devices, identity, existence,
// kind, removal, wildcard patterns, and the system's words for its errors;
// and the limit on open files.
#include "platform/FileNames.h"
#include "platform/FileSystem.h"
#include "platform/win32/LongPath.h"
#include "platform/win32/WideText.h"
#include "platform/win32/Win32Io.h"

#include <windows.h>

#include <cstdint>
#include <cwchar>

namespace quorvel {

using win32::UniqueFileHandle;
using win32::UniqueFindHandle;
using win32::Wide;

bool IsDeviceName(std::u16string_view name)
{
    while (!name.empty() && (name.back() == u'.' || name.back() == u' '))
        name.remove_suffix(1);
    name = name.substr(0, name.find_first_of(u".:"));
    while (!name.empty() && name.back() == u' ')
        name.remove_suffix(1);
    std::u16string upper(name);
    for (char16_t& c : upper) {
        if (c >= u'a' && c <= u'z')
            c = static_cast<char16_t>(c - u'a' + u'A');
    }
    for (const std::u16string_view device : {u"CON", u"PRN", u"AUX", u"NUL", u"CONIN$", u"CONOUT$"}) {
        if (upper == device)
            return true;
    }
    // COM1-COM9 and LPT1-LPT9; Windows takes the superscripts 1, 2 and 3 for digits too.
    if (upper.size() != 4 || !(upper.starts_with(u"COM") || upper.starts_with(u"LPT")))
        return false;
    const char16_t digit = upper[3];
    return (digit >= u'1' && digit <= u'9') || digit == u'\u00B9' || digit == u'\u00B2' || digit == u'\u00B3';
}

bool NamesDevice(std::u16string path)
{
    // "CON:" names the device too, though the colon would otherwise end a drive.
    if (path.ends_with(u':'))
        path.pop_back();
    return IsDeviceName(NameOf(path));
}

win32::UniqueFileHandle OpenToAsk(const std::u16string& path)
{
    return win32::UniqueFileHandle(::CreateFileW(Wide(ExtendedLengthPath(path)), 0,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                          OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
}

namespace {

std::optional<FileId> IdentityOfHandle(HANDLE h)
{
    BY_HANDLE_FILE_INFORMATION info {};
    if (!::GetFileInformationByHandle(h, &info))
        return std::nullopt;
    return FileId {info.dwVolumeSerialNumber, (uint64_t {info.nFileIndexHigh} << 32) | info.nFileIndexLow};
}

}  // namespace

std::optional<FileId> IdentityOf(const std::u16string& path)
{
    // A device is never opened, not even to ask who it is.
    if (NamesDevice(path))
        return std::nullopt;
    const UniqueFileHandle h = OpenToAsk(path);
    if (!h)
        return std::nullopt;
    return IdentityOfHandle(h.Get());
}

std::optional<FileId> StandardOutputIdentity()
{
    const HANDLE out = ::GetStdHandle(STD_OUTPUT_HANDLE);
    if (out == nullptr || out == INVALID_HANDLE_VALUE || ::GetFileType(out) != FILE_TYPE_DISK)
        return std::nullopt;
    return IdentityOfHandle(out);
}

bool PathExists(const std::u16string& path)
{
    return ::GetFileAttributesW(Wide(ExtendedLengthPath(path))) != INVALID_FILE_ATTRIBUTES;
}

bool IsFolder(const std::u16string& path)
{
    const DWORD attributes = ::GetFileAttributesW(Wide(ExtendedLengthPath(path)));
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

namespace {

// Whether name matches pattern, both folded: * any run of characters (none
// too), ? exactly one, a surrogate pair being one character.
bool MatchesPattern(std::u16string_view pattern, std::u16string_view name)
{
    // Each * tries the shortest run first; a mismatch later lets the last * take one unit more.
    size_t p = 0, n = 0;
    size_t starP = std::u16string_view::npos, starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == u'*') {
            starP = ++p;
            starN = n;
        } else if (p < pattern.size() && pattern[p] == u'?') {
            const bool pair = name[n] >= 0xD800 && name[n] < 0xDC00 && n + 1 < name.size() && name[n + 1] >= 0xDC00 &&
                              name[n + 1] < 0xE000;
            n += pair ? 2 : 1;
            ++p;
        } else if (p < pattern.size() && pattern[p] == name[n]) {
            ++p;
            ++n;
        } else if (starP != std::u16string_view::npos) {
            p = starP;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == u'*')
        ++p;
    return p == pattern.size();
}

}  // namespace

// Listed with FindFirstFileExW, matched here: its own matching also tries each
// name's short 8.3 form (*.bin would take "x.binary" as X~1.BIN) and reads
// ? at the end as "one or none".
WildcardMatches ExpandWildcards(const std::u16string& pattern)
{
    WildcardMatches matches;
    const std::u16string folder = FolderOf(pattern);
    std::u16string wanted = pattern.substr(folder.size());
    if (wanted.find_first_of(u"*?") == std::u16string::npos)
        return matches;
    matches.isPattern = true;
    // As every Windows program reads it: *.* is every file, with an extension or not.
    wanted = wanted == u"*.*" ? u"*" : FoldName(wanted);

    WIN32_FIND_DATAW found {};
    const UniqueFindHandle search(::FindFirstFileExW(Wide(ExtendedLengthPath(folder + u"*")), FindExInfoBasic, &found,
                                                     FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH));
    if (!search) {
        const DWORD code = ::GetLastError();
        // A folder that is not there has no file to match.
        if (code != ERROR_FILE_NOT_FOUND && code != ERROR_PATH_NOT_FOUND)
            matches.status = FromLastError(code);
        return matches;
    }
    constexpr DWORD kSkipped = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    do {
        const std::u16string name = win32::FromWide(found.cFileName, std::wcslen(found.cFileName));
        // A temporary of another run is no one's input.
        if ((found.dwFileAttributes & kSkipped) == 0 && !IsTemporaryOutputName(name) &&
            MatchesPattern(wanted, FoldName(name)))
            matches.paths.push_back(folder + name);
    } while (::FindNextFileW(search.Get(), &found));
    if (const DWORD code = ::GetLastError(); code != ERROR_NO_MORE_FILES)
        matches.status = FromLastError(code);
    return matches;
}

FileStatus RemoveFile(const std::u16string& path)
{
    if (!::DeleteFileW(Wide(ExtendedLengthPath(path))))
        return FromLastError(::GetLastError(), path);
    return {};
}

size_t OpenFileLimit()
{
    return SIZE_MAX;  // handles run out only with memory
}

char16_t PathSeparator()
{
    return u'\\';
}

std::u16string FoldName(std::u16string name)
{
    if (!name.empty())
        ::CharUpperBuffW(reinterpret_cast<wchar_t*>(name.data()), static_cast<DWORD>(name.size()));
    return name;
}

std::u16string SystemErrorText(uint32_t code)
{
    wchar_t* text = nullptr;
    const DWORD length = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
        reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::u16string result = length != 0 ? win32::FromWide(text, length) : std::u16string();
    ::LocalFree(text);
    // The system's texts end in a full stop and a line end; the caller puts its own.
    while (!result.empty() && (result.back() == u'\n' || result.back() == u'\r' || result.back() == u' ' ||
                               result.back() == u'.' || result.back() == u'。'))
        result.pop_back();
    return result;
}

}  // namespace quorvel
