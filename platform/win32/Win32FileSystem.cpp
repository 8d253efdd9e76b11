// Win32 side of the file services: CreateFileW handles, GetLastError mapped to
// FileError. UTF-16 paths pass straight through (wchar_t is 16 bits here).
#include "platform/Clock.h"
#include "platform/FileSystem.h"
#include "platform/win32/Handle.h"
#include "platform/win32/WideText.h"
#include "platform/win32/LongPath.h"

#include <windows.h>

#include <ctime>

namespace quorvel {
namespace {

using win32::UniqueFileHandle;
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
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
        error = FileError::Exists;
        break;
    default:
        break;
    }
    return {error, static_cast<uint32_t>(code)};
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
        // ReadFile may return fewer bytes than asked (network shares, pipes);
        // only a zero count means the end of the file.
        got = 0;
        auto* p = static_cast<char*>(buffer);
        while (got < count) {
            DWORD r = 0;
            if (!::ReadFile(m_handle.Get(), p + got, count - got, &r, nullptr))
                return FromLastError(::GetLastError());
            if (r == 0)
                break;
            got += r;
        }
        return {};
    }

    FileStatus Write(const void* buffer, uint32_t count) override
    {
        const auto* p = static_cast<const char*>(buffer);
        uint32_t done = 0;
        while (done < count) {
            DWORD w = 0;
            if (!::WriteFile(m_handle.Get(), p + done, count - done, &w, nullptr))
                return FromLastError(::GetLastError());
            if (w == 0)
                return {FileError::DiskFull, ERROR_DISK_FULL};
            done += w;
        }
        return {};
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

class Win32FileSystem final : public FileSystem {
public:
    FileStatus OpenRead(const std::u16string& path, std::unique_ptr<File>& file) override
    {
        UniqueFileHandle h(::CreateFileW(Wide(ExtendedLengthPath(path)), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
        if (!h)
            return FromLastError(::GetLastError());
        file = std::make_unique<Win32File>(std::move(h));
        return {};
    }

    FileStatus CreateNew(const std::u16string& path, std::unique_ptr<File>& file) override
    {
        UniqueFileHandle h(::CreateFileW(Wide(ExtendedLengthPath(path)), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                         FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
        if (!h)
            return FromLastError(::GetLastError());
        file = std::make_unique<Win32File>(std::move(h));
        return {};
    }

    FileStatus Replace(const std::u16string& from, const std::u16string& to) override
    {
        if (!::MoveFileExW(Wide(ExtendedLengthPath(from)), Wide(ExtendedLengthPath(to)), MOVEFILE_REPLACE_EXISTING))
            return FromLastError(::GetLastError());
        return {};
    }

    FileStatus Remove(const std::u16string& path) override
    {
        if (!::DeleteFileW(Wide(ExtendedLengthPath(path))))
            return FromLastError(::GetLastError());
        return {};
    }
};

}  // namespace

FileSystem& SystemFileSystem()
{
    static Win32FileSystem fs;
    return fs;
}

std::optional<FileId> IdentityOf(const std::u16string& path)
{
    // No access rights needed; backup semantics let folders open too.
    const UniqueFileHandle h(::CreateFileW(Wide(ExtendedLengthPath(path)), 0,
                                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    BY_HANDLE_FILE_INFORMATION info {};
    if (!h || !::GetFileInformationByHandle(h.Get(), &info))
        return std::nullopt;
    return FileId {info.dwVolumeSerialNumber, (uint64_t {info.nFileIndexHigh} << 32) | info.nFileIndexLow};
}

FileStatus RenameNoReplace(const std::u16string& from, const std::u16string& to)
{
    // Without MOVEFILE_REPLACE_EXISTING the move fails if to exists.
    if (!::MoveFileExW(Wide(ExtendedLengthPath(from)), Wide(ExtendedLengthPath(to)), 0))
        return FromLastError(::GetLastError());
    return {};
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
