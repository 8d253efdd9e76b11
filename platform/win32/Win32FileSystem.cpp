// Win32 side of the file services: CreateFileW handles, GetLastError mapped to
// FileError, outputs marked for deletion until they are published and flushed
// to the disk before they are. UTF-16 paths pass straight through (wchar_t is
// 16 bits here).
#include "platform/Clock.h"
#include "platform/FileSystem.h"
#include "platform/Terminal.h"
#include "platform/win32/Handle.h"
#include "platform/win32/WideText.h"
#include "platform/win32/LongPath.h"

#include <windows.h>

#include <cstring>
#include <cwchar>
#include <ctime>
#include <vector>

namespace quorvel {
namespace {

using win32::UniqueFileHandle;
using win32::UniqueFindHandle;
using win32::Wide;

FileStatus FromLastError(DWORD code)
{
    FileError error = FileError::Other;
    switch (code) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_NETPATH:
    case ERROR_INVALID_DRIVE:
        error = FileError::NotFound;
        break;
    case ERROR_ACCESS_DENIED:
    case ERROR_WRITE_PROTECT:
        error = FileError::AccessDenied;
        break;
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_USER_MAPPED_FILE:
        error = FileError::InUse;
        break;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        error = FileError::DiskFull;
        break;
    case ERROR_CRC:
    case ERROR_IO_DEVICE:
    case ERROR_DISK_OPERATION_FAILED:
        error = FileError::DiskError;
        break;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
        error = FileError::Exists;
        break;
    case ERROR_FILENAME_EXCED_RANGE:
        error = FileError::NameTooLong;
        break;
    default:
        break;
    }
    return {error, static_cast<uint32_t>(code)};
}

// Names Windows reads as a device in every folder: "C:\x\con.txt" is the
// console, not a file. Any case; an extension, trailing dots and spaces, or a
// colon after the name do not change that.
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

// A handle that only asks about a file or folder: no access rights needed,
// and backup semantics let folders open too.
UniqueFileHandle OpenToAsk(const std::u16string& path)
{
    return UniqueFileHandle(::CreateFileW(Wide(ExtendedLengthPath(path)), 0,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                          OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
}

// Reads until count bytes or the end: ReadFile may return fewer bytes than
// asked (network shares, pipes); only a zero count is the end, and for a
// stream, a pipe whose writer closed. A stream gives up on an interrupt.
FileStatus ReadFully(HANDLE file, void* buffer, uint32_t count, uint32_t& got, bool stream)
{
    got = 0;
    auto* p = static_cast<char*>(buffer);
    while (got < count) {
        if (stream && Interrupted())
            return {FileError::Interrupted, ERROR_OPERATION_ABORTED};
        DWORD r = 0;
        if (!::ReadFile(file, p + got, count - got, &r, nullptr)) {
            const DWORD code = ::GetLastError();
            if (stream && code == ERROR_BROKEN_PIPE)
                break;
            return FromLastError(code);
        }
        if (r == 0)
            break;
        got += r;
    }
    return {};
}

// Writes all count bytes, looping over short writes. For a stream, a pipe
// whose reader went away is reported as Interrupted, as SIGPIPE would stop
// the run elsewhere.
FileStatus WriteFully(HANDLE file, const void* buffer, uint32_t count, bool stream)
{
    const auto* p = static_cast<const char*>(buffer);
    uint32_t done = 0;
    while (done < count) {
        if (stream && Interrupted())
            return {FileError::Interrupted, ERROR_OPERATION_ABORTED};
        DWORD w = 0;
        if (!::WriteFile(file, p + done, count - done, &w, nullptr)) {
            const DWORD code = ::GetLastError();
            if (stream && (code == ERROR_BROKEN_PIPE || code == ERROR_NO_DATA))
                return {FileError::Interrupted, code};
            return FromLastError(code);
        }
        if (w == 0)
            return {FileError::DiskFull, ERROR_DISK_FULL};
        done += w;
    }
    return {};
}

class Win32File final : public File {
public:
    explicit Win32File(UniqueFileHandle handle) : m_handle(std::move(handle)) {}

    FileStatus GetLength(uint64_t& length) override
    {
        LARGE_INTEGER size {};
        if (!::GetFileSizeEx(m_handle.Get(), &size))
            return FromLastError(::GetLastError());
        length = static_cast<uint64_t>(size.QuadPart);
        return {};
    }

    FileStatus Read(void* buffer, uint32_t count, uint32_t& got) override
    {
        return ReadFully(m_handle.Get(), buffer, count, got, false);
    }

    FileStatus Close() override
    {
        if (!::CloseHandle(m_handle.Release()))
            return FromLastError(::GetLastError());
        return {};
    }

private:
    UniqueFileHandle m_handle;
};

// Marks an open file to be deleted when its handle closes, or unmarks it.
bool SetDeleteOnClose(HANDLE file, bool remove)
{
    FILE_DISPOSITION_INFO disposition {};
    disposition.DeleteFile = remove ? TRUE : FALSE;
    return ::SetFileInformationByHandle(file, FileDispositionInfo, &disposition, sizeof disposition) != 0;
}

// The system's cache manager writes a file's pages out on its own, a second
// or so behind; a flush after every stretch this long (on the job's writer
// thread) keeps the flush at the end short, whatever the cache allows.
constexpr uint64_t kWritebackStretch = 64 << 20;

FileStatus FlushHandle(HANDLE file)
{
    if (!::FlushFileBuffers(file))
        return FromLastError(::GetLastError());
    return {};
}

// An output under a temporary name, marked for deletion until it is
// published: a crash or a kill closes the handle, and the system removes the
// file. Its bytes are flushed to the disk before it is published by renaming
// the open file itself, then closing it.
class Win32OutputFile final : public OutputFile {
public:
    Win32OutputFile(UniqueFileHandle handle, std::u16string temporary, bool deleteOnClose, FlushSeam seam)
        : m_handle(std::move(handle)), m_temporary(std::move(temporary)), m_deleteOnClose(deleteOnClose),
          m_seam(std::move(seam))
    {
    }

    ~Win32OutputFile() override
    {
        const bool open = static_cast<bool>(m_handle);
        m_handle.Reset();
        if (!m_temporary.empty() && !(open && m_deleteOnClose))
            ::DeleteFileW(Wide(ExtendedLengthPath(m_temporary)));
    }

    FileStatus Write(const void* buffer, uint32_t count) override
    {
        if (const FileStatus written = WriteFully(m_handle.Get(), buffer, count, false); !written)
            return written;
        m_unflushed += count;
        if (m_unflushed < kWritebackStretch)
            return {};
        m_unflushed = 0;
        return FlushHandle(m_handle.Get());
    }

    // Files here take their folder's inherited permissions, the output too.
    // Every byte goes to the disk while the file has no name; it stays open
    // until it is renamed, so closing waits for Publish.
    FileStatus Finish(std::optional<uint32_t>) override
    {
        const HANDLE handle = m_handle.Get();
        const auto systemCall = [handle] { return FlushHandle(handle); };
        return m_seam ? m_seam(FlushStep::Data, systemCall) : systemCall();
    }

    FileStatus Publish(const std::u16string& path, bool replace) override
    {
        if (m_deleteOnClose && !SetDeleteOnClose(m_handle.Get(), false))
            return FromLastError(::GetLastError());
        if (const FileStatus renamed = RenameOpenFile(path, replace); !renamed) {
            // Not marked again: then it goes by name when it is dropped.
            if (m_deleteOnClose && !SetDeleteOnClose(m_handle.Get(), true))
                m_deleteOnClose = false;
            return renamed;
        }
        m_temporary.clear();
        if (!::CloseHandle(m_handle.Release()))
            return FromLastError(::GetLastError());
        return {};
    }

private:
    FileStatus RenameOpenFile(const std::u16string& path, bool replace)
    {
        const std::u16string target = NtPathOf(path);
        const size_t nameBytes = target.size() * sizeof(char16_t);
        std::vector<unsigned char> buffer(sizeof(FILE_RENAME_INFO) + nameBytes);
        auto* info = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
        info->ReplaceIfExists = replace ? TRUE : FALSE;
        info->RootDirectory = nullptr;
        info->FileNameLength = static_cast<DWORD>(nameBytes);
        std::memcpy(info->FileName, target.data(), nameBytes);
        if (!::SetFileInformationByHandle(m_handle.Get(), FileRenameInfo, info, static_cast<DWORD>(buffer.size()))) {
            const DWORD code = ::GetLastError();
            // A folder in the way is refused as "access denied"; say what it is.
            if (code == ERROR_ACCESS_DENIED && IsFolder(path))
                return {FileError::IsFolder, code};
            return FromLastError(code);
        }
        return {};
    }

    UniqueFileHandle m_handle;
    std::u16string m_temporary;  // full path, until published
    bool m_deleteOnClose;
    FlushSeam m_seam;
    uint64_t m_unflushed = 0;  // bytes written since the last flush
};

class Win32FileSystem final : public FileSystem {
public:
    explicit Win32FileSystem(FlushSeam seam) : m_seam(std::move(seam)) {}

    FileStatus OpenRead(const std::u16string& path, std::unique_ptr<File>& file) override
    {
        // By name, before opening: opening a serial or printer port can wait
        // on the device, and a path long enough for the "\\?\" form would
        // reach a file of that name instead.
        if (NamesDevice(path))
            return {FileError::IsDevice, 0};
        UniqueFileHandle h(::CreateFileW(Wide(ExtendedLengthPath(path)), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
        if (!h) {
            const DWORD code = ::GetLastError();
            // A folder cannot be opened as a file; say what it is.
            if (code == ERROR_ACCESS_DENIED && IsFolder(path))
                return {FileError::IsFolder, code};
            return FromLastError(code);
        }
        switch (::GetFileType(h.Get())) {
        case FILE_TYPE_DISK:
            break;
        case FILE_TYPE_PIPE:
            return {FileError::IsPipe, 0};
        case FILE_TYPE_CHAR:
            return {FileError::IsDevice, 0};
        default:
            return {FileError::NotRegular, 0};
        }
        file = std::make_unique<Win32File>(std::move(h));
        return {};
    }

    FileStatus CreateOutput(const std::u16string& folder, std::unique_ptr<OutputFile>& file) override
    {
        return CreateUnderTemporaryName(folder, [&](const std::u16string& temporary) {
            UniqueFileHandle h(::CreateFileW(Wide(ExtendedLengthPath(temporary)), GENERIC_WRITE | DELETE, 0, nullptr,
                                             CREATE_NEW, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
            if (!h)
                return FromLastError(::GetLastError());
            // Where marking fails, the file is removed by name when discarded.
            const bool deleteOnClose = SetDeleteOnClose(h.Get(), true);
            const std::u16string full = FullPathOf(temporary);
            file = std::make_unique<Win32OutputFile>(std::move(h), full.empty() ? temporary : full, deleteOnClose,
                                                     m_seam);
            return FileStatus {};
        });
    }

    FileStatus CheckNewName(const std::u16string& folder, const std::u16string& name) override
    {
        if (IsDeviceName(name))
            return {FileError::IsDevice, 0};
        // The longest name the folder's volume takes: 255 on NTFS, FAT and
        // ReFS, and where it cannot be asked. Asked through the folder itself:
        // asking the drive's root needs rights on the volume, and Wine says so
        // on the console whenever they are missing.
        DWORD limit = 255;
        if (const UniqueFileHandle h = OpenToAsk(folder.empty() ? u"." : folder)) {
            DWORD asked = 0;
            if (::GetVolumeInformationByHandleW(h.Get(), nullptr, 0, nullptr, &asked, nullptr, nullptr, 0) && asked != 0)
                limit = asked;
        }
        if (name.size() > limit)
            return {FileError::NameTooLong, ERROR_FILENAME_EXCED_RANGE};
        return {};
    }

    // NTFS and ReFS journal a rename, and a folder cannot be flushed here.
    FileStatus FlushFolder(const std::u16string&) override { return {}; }

private:
    FlushSeam m_seam;
};

// Standard input and output with ReadFile and WriteFile: raw bytes,
// whatever the console's code page or the C library's text mode.
class StandardInput final : public File {
public:
    FileStatus GetLength(uint64_t& length) override
    {
        length = 0;
        return {};
    }

    FileStatus Read(void* buffer, uint32_t count, uint32_t& got) override
    {
        return ReadFully(::GetStdHandle(STD_INPUT_HANDLE), buffer, count, got, true);
    }

    FileStatus Close() override { return {}; }  // the handle is the process's
};

class StandardOutput final : public OutputFile {
public:
    FileStatus Write(const void* buffer, uint32_t count) override
    {
        return WriteFully(::GetStdHandle(STD_OUTPUT_HANDLE), buffer, count, true);
    }

    FileStatus Finish(std::optional<uint32_t>) override { return {}; }
    FileStatus Publish(const std::u16string&, bool) override { return {}; }
};

}  // namespace

FileSystem& SystemFileSystem()
{
    static Win32FileSystem fs({});
    return fs;
}

std::unique_ptr<FileSystem> MakeSystemFileSystem(FlushSeam seam)
{
    return std::make_unique<Win32FileSystem>(std::move(seam));
}

std::unique_ptr<File> StandardInputFile(uint32_t)
{
    return std::make_unique<StandardInput>();
}

std::unique_ptr<OutputFile> StandardOutputFile(uint32_t)
{
    return std::make_unique<StandardOutput>();
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
    if (!::DeleteFileW(Wide(ExtendedLengthPath(path)))) {
        const DWORD code = ::GetLastError();
        if (code == ERROR_ACCESS_DENIED && IsFolder(path))
            return {FileError::IsFolder, code};
        return FromLastError(code);
    }
    return {};
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

int64_t CurrentTime()
{
    return static_cast<int64_t>(::_time64(nullptr));
}

std::optional<LocalTime> ToLocalTime(int64_t t)
{
    const __time64_t tt = t;
    std::tm tm {};
    if (::_localtime64_s(&tm, &tt) != 0)
        return std::nullopt;
    return LocalTime {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
}

}  // namespace quorvel
