// Win32 side of the file services: CreateFileW handles, GetLastError mapped to
// FileError, outputs marked for deletion until they are published and flushed
// to the disk before they are, their folder flushed after. UTF-16 paths pass
// straight through (wchar_t is 16 bits here).
#include "platform/FileNames.h"
#include "platform/FileSystem.h"
#include "platform/win32/Handle.h"
#include "platform/win32/LongPath.h"
#include "platform/win32/WideText.h"
#include "platform/win32/Win32Io.h"

#include <windows.h>

#include <cstring>
#include <string_view>
#include <vector>

namespace quorvel {
namespace {

using win32::UniqueFileHandle;
using win32::Wide;

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

// A folder's flush refused by what the file system is, not failed: some file
// systems and network shares answer that flushing a folder is not a request
// they take (invalid function, not supported, invalid parameter), and a folder
// the user may add files to but not flush answers "access denied".
bool CannotBeFlushed(DWORD code)
{
    return code == ERROR_INVALID_FUNCTION || code == ERROR_NOT_SUPPORTED || code == ERROR_INVALID_PARAMETER ||
           code == ERROR_ACCESS_DENIED;
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
        if (!::SetFileInformationByHandle(m_handle.Get(), FileRenameInfo, info, static_cast<DWORD>(buffer.size())))
            return FromLastError(::GetLastError(), path);
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
        if (!h)
            return FromLastError(::GetLastError(), path);
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

    // FAT and FAT32 hold files of up to 4 GiB - 1; the volume names its file
    // system, asked only for a file that large.
    FileStatus CheckSizeFits(const std::u16string& folder, uint64_t bytes) override
    {
        constexpr uint64_t kFatLargest = 0xFFFFFFFF;
        if (bytes <= kFatLargest)
            return {};
        wchar_t system[MAX_PATH + 1] = {};
        const UniqueFileHandle h = OpenToAsk(folder.empty() ? u"." : folder);
        if (h && ::GetVolumeInformationByHandleW(h.Get(), nullptr, 0, nullptr, nullptr, nullptr, system, MAX_PATH + 1) &&
            (std::wstring_view(system) == L"FAT" || std::wstring_view(system) == L"FAT32"))
            return {FileError::TooLarge, ERROR_FILE_TOO_LARGE};
        return {};
    }

    // A rename is in the folder's cache until the folder is flushed, as on
    // any system (under Wine this is the folder's fsync). Where the folder
    // cannot be flushed, outputs are as durable as its file system makes them.
    FileStatus FlushFolder(const std::u16string& folder) override
    {
        // The flush needs the right to add a file, which the output needed too.
        const UniqueFileHandle h(::CreateFileW(Wide(ExtendedLengthPath(folder.empty() ? u"." : folder)), FILE_ADD_FILE,
                                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                               OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
        if (!h) {
            const DWORD code = ::GetLastError();
            return code == ERROR_ACCESS_DENIED ? FileStatus {} : FromLastError(code);
        }
        const HANDLE handle = h.Get();
        const auto systemCall = [handle]() -> FileStatus {
            if (::FlushFileBuffers(handle))
                return {};
            const DWORD code = ::GetLastError();
            return CannotBeFlushed(code) ? FileStatus {} : FromLastError(code);
        };
        return m_seam ? m_seam(FlushStep::Folder, systemCall) : systemCall();
    }

private:
    FlushSeam m_seam;
};

}  // namespace

FileSystem& SystemFileSystem()
{
    static Win32FileSystem fs({});
    return fs;
}

// Windows has no sweep a program without the administrator's rights may
// make (a whole volume's flush needs them): each output is flushed itself.
std::unique_ptr<FileSystem> MakeSystemFileSystem(FlushSeam seam, Sweeping)
{
    return std::make_unique<Win32FileSystem>(std::move(seam));
}

}  // namespace quorvel
