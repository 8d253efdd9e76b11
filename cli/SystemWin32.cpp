// Windows side of the command line's system services: the console in UTF-16,
// CONIN$ with echo off for the password, a console control handler for Ctrl-C.
#include "cli/System.h"

#include "platform/Text.h"
#include "platform/win32/LongPath.h"

#include <windows.h>

#include <atomic>

namespace quorvel::cli {
namespace {

std::atomic<bool> g_interrupted {false};

BOOL WINAPI OnConsoleControl(DWORD event)
{
    g_interrupted.store(true);
    if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT)
        return TRUE;
    // Closing the window or logging off ends the process when this returns;
    // give the job a moment to remove its unfinished output first.
    ::Sleep(2000);
    return TRUE;
}

void Write(DWORD which, std::u16string_view text)
{
    const HANDLE h = ::GetStdHandle(which);
    if (h == nullptr || h == INVALID_HANDLE_VALUE)
        return;
    DWORD mode = 0;
    if (::GetConsoleMode(h, &mode)) {
        DWORD written = 0;
        ::WriteConsoleW(h, reinterpret_cast<const wchar_t*>(text.data()), static_cast<DWORD>(text.size()), &written,
                        nullptr);
        return;
    }
    // Redirected: UTF-8 bytes, looping over short writes to pipes.
    const std::string bytes = Utf16ToUtf8(text);
    size_t done = 0;
    while (done < bytes.size()) {
        DWORD written = 0;
        if (!::WriteFile(h, bytes.data() + done, static_cast<DWORD>(bytes.size() - done), &written, nullptr) ||
            written == 0)
            return;
        done += written;
    }
}

const wchar_t* Wide(const std::u16string& path)
{
    return reinterpret_cast<const wchar_t*>(path.c_str());
}

}  // namespace

void WriteOut(std::u16string_view text)
{
    Write(STD_OUTPUT_HANDLE, text);
}

void WriteErr(std::u16string_view text)
{
    Write(STD_ERROR_HANDLE, text);
}

bool StderrIsTerminal()
{
    DWORD mode = 0;
    return ::GetConsoleMode(::GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}

void InstallInterruptHandlers()
{
    ::SetConsoleCtrlHandler(OnConsoleControl, TRUE);
}

bool Interrupted()
{
    return g_interrupted.load();
}

AskResult AskPassword(std::u16string_view prompt, std::u16string& password)
{
    // The console itself, not the standard handles, which may be redirected.
    const HANDLE in = ::CreateFileW(L"CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_EXISTING, 0, nullptr);
    if (in == INVALID_HANDLE_VALUE)
        return AskResult::NoTerminal;
    DWORD saved = 0;
    if (!::GetConsoleMode(in, &saved)) {
        ::CloseHandle(in);
        return AskResult::NoTerminal;
    }
    const HANDLE out = ::CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                     nullptr, OPEN_EXISTING, 0, nullptr);
    DWORD written = 0;
    if (out != INVALID_HANDLE_VALUE)
        ::WriteConsoleW(out, reinterpret_cast<const wchar_t*>(prompt.data()), static_cast<DWORD>(prompt.size()),
                        &written, nullptr);
    ::SetConsoleMode(in, (saved & ~static_cast<DWORD>(ENABLE_ECHO_INPUT)) | ENABLE_LINE_INPUT | ENABLE_PROCESSED_INPUT);

    std::u16string line;
    AskResult result = AskResult::Ok;
    for (;;) {
        wchar_t buffer[64];
        DWORD got = 0;
        if (!::ReadConsoleW(in, buffer, 64, &got, nullptr) || Interrupted()) {
            result = Interrupted() ? AskResult::Interrupted : AskResult::NoTerminal;
            break;
        }
        if (got == 0)
            break;
        line.append(reinterpret_cast<const char16_t*>(buffer), got);
        SecureZeroMemory(buffer, sizeof buffer);
        if (line.find(u'\n') != std::u16string::npos)
            break;
    }
    ::SetConsoleMode(in, saved);
    if (out != INVALID_HANDLE_VALUE) {
        ::WriteConsoleW(out, L"\r\n", 2, &written, nullptr);
        ::CloseHandle(out);
    }
    ::CloseHandle(in);
    const size_t end = line.find_first_of(u"\r\n");
    password = line.substr(0, end);
    std::fill(line.begin(), line.end(), u'\0');
    return result;
}

bool ReadStdinLine(std::string& line, size_t limit)
{
    line.clear();
    const HANDLE h = ::GetStdHandle(STD_INPUT_HANDLE);
    while (line.size() < limit) {
        char c = 0;
        DWORD got = 0;
        if (!::ReadFile(h, &c, 1, &got, nullptr))
            return ::GetLastError() == ERROR_BROKEN_PIPE;  // the writer closed: the end
        if (got == 0)
            break;
        line += c;
        if (c == '\n')
            break;
    }
    return true;
}

std::optional<FileId> IdentityOf(const std::u16string& path)
{
    // No access rights needed; backup semantics let folders open too.
    const HANDLE h = ::CreateFileW(Wide(ExtendedLengthPath(path)), 0,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                   FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return std::nullopt;
    BY_HANDLE_FILE_INFORMATION info {};
    const BOOL ok = ::GetFileInformationByHandle(h, &info);
    ::CloseHandle(h);
    if (!ok)
        return std::nullopt;
    return FileId {info.dwVolumeSerialNumber, (uint64_t {info.nFileIndexHigh} << 32) | info.nFileIndexLow};
}

FileStatus RenameNoReplace(const std::u16string& from, const std::u16string& to)
{
    // Without MOVEFILE_REPLACE_EXISTING the move fails if to exists.
    if (::MoveFileExW(Wide(ExtendedLengthPath(from)), Wide(ExtendedLengthPath(to)), 0))
        return {};
    const DWORD code = ::GetLastError();
    FileError error = FileError::Other;
    if (code == ERROR_ALREADY_EXISTS || code == ERROR_FILE_EXISTS)
        error = FileError::Exists;
    else if (code == ERROR_ACCESS_DENIED)
        error = FileError::AccessDenied;
    else if (code == ERROR_SHARING_VIOLATION || code == ERROR_LOCK_VIOLATION)
        error = FileError::InUse;
    else if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND)
        error = FileError::NotFound;
    return {error, static_cast<uint32_t>(code)};
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

}  // namespace quorvel::cli
