// Win32 read and write loops, GetLastError in FileError's words, and the
// standard streams' side of them.
#include "platform/win32/Win32Io.h"

#include "platform/StandardStreams.h"
#include "platform/Terminal.h"

namespace quorvel {

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
    case ERROR_FILE_TOO_LARGE:
        error = FileError::TooLarge;
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

FileStatus FromLastError(DWORD code, const std::u16string& path)
{
    if (code == ERROR_ACCESS_DENIED && IsFolder(path))
        return {FileError::IsFolder, code};
    return FromLastError(code);
}

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

// ReadFile and WriteFile: raw bytes, whatever the console's code page or the
// C library's text mode.
FileStatus ReadStandardInputFully(void* buffer, uint32_t count, uint32_t& got)
{
    return ReadFully(::GetStdHandle(STD_INPUT_HANDLE), buffer, count, got, true);
}

FileStatus WriteStandardOutputFully(const void* buffer, uint32_t count)
{
    return WriteFully(::GetStdHandle(STD_OUTPUT_HANDLE), buffer, count, true);
}

void WidenStandardStream(bool, uint32_t) {}  // a Windows pipe takes what it is given

}  // namespace quorvel
