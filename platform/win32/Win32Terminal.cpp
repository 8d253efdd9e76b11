// Windows side of the terminal services: the console in UTF-16, CONIN$ with
// echo off for the password, a console control handler for Ctrl-C.
#include "platform/Terminal.h"

#include "platform/Text.h"
#include "platform/Wipe.h"
#include "platform/win32/Handle.h"
#include "platform/win32/WideText.h"

#include <windows.h>

#include <algorithm>
#include <atomic>

namespace quorvel {
namespace {

using win32::UniqueFileHandle;

// The POSIX numbers the exit status is made from: 2 for Ctrl-C and
// Ctrl-Break, 1 (hang-up) for a console closed, a logoff or a shutdown.
constexpr int kInterruptSignal = 2;
constexpr int kHangUpSignal = 1;

std::atomic<int> g_signal {0};
// Set by CleanupFinished; a manual-reset event, made with the handler.
HANDLE g_cleanupFinished = nullptr;
// Windows ends the process five seconds after a console's close.
constexpr DWORD kCleanupWaitMs = 4000;

BOOL WINAPI OnConsoleControl(DWORD event)
{
    const bool key = event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT;
    int none = 0;
    g_signal.compare_exchange_strong(none, key ? kInterruptSignal : kHangUpSignal);
    if (key)
        return TRUE;
    // Closing the window or logging off ends the process when this returns;
    // first the job removes its unfinished output, for as long as Windows lets it.
    if (g_cleanupFinished != nullptr)
        ::WaitForSingleObject(g_cleanupFinished, kCleanupWaitMs);
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

UniqueFileHandle OpenConsole(const wchar_t* name)
{
    return UniqueFileHandle(::CreateFileW(name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                          nullptr, OPEN_EXISTING, 0, nullptr));
}

enum class Echo { NotATerminal, Off, StaysOn };

// Set once an echo could not be turned back on, for the program to tell once.
std::atomic<bool> g_echoLeftOff {false};

void RestoreEcho(HANDLE console, DWORD saved)
{
    if (!::SetConsoleMode(console, saved))
        g_echoLeftOff.store(true);
}

// Turns a console's echo off for a line read: line input (which echo needs
// anyway) and Ctrl-C processing stay on. saved keeps the mode to restore.
Echo EchoOff(HANDLE console, DWORD& saved)
{
    if (!::GetConsoleMode(console, &saved))
        return Echo::NotATerminal;
    const DWORD quiet = (saved & ~static_cast<DWORD>(ENABLE_ECHO_INPUT)) | ENABLE_LINE_INPUT | ENABLE_PROCESSED_INPUT;
    DWORD now = 0;
    if (!::SetConsoleMode(console, quiet) || !::GetConsoleMode(console, &now) || (now & ENABLE_ECHO_INPUT) != 0) {
        RestoreEcho(console, saved);
        return Echo::StaysOn;
    }
    return Echo::Off;
}

}  // namespace

std::string UserInterfaceLanguage()
{
    // Chinese is told apart by its script, not its country: Simplified in the
    // PRC and Singapore, Traditional elsewhere.
    const LANGID language = ::GetUserDefaultUILanguage();
    if (PRIMARYLANGID(language) == LANG_CHINESE)
        return SUBLANGID(language) == SUBLANG_CHINESE_SIMPLIFIED || SUBLANGID(language) == SUBLANG_CHINESE_SINGAPORE
                   ? "zh_CN"
                   : "zh_TW";
    char code[9] = {}, country[9] = {};
    const LCID locale = MAKELCID(language, SORT_DEFAULT);
    if (::GetLocaleInfoA(locale, LOCALE_SISO639LANGNAME, code, sizeof code) == 0)
        return {};
    if (::GetLocaleInfoA(locale, LOCALE_SISO3166CTRYNAME, country, sizeof country) == 0)
        return code;
    return std::string(code) + "_" + country;
}

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

bool StdoutIsTerminal()
{
    DWORD mode = 0;
    return ::GetConsoleMode(::GetStdHandle(STD_OUTPUT_HANDLE), &mode) != 0;
}

void InstallInterruptHandlers()
{
    if (g_cleanupFinished == nullptr)
        g_cleanupFinished = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ::SetConsoleCtrlHandler(OnConsoleControl, TRUE);
}

bool Interrupted()
{
    return g_signal.load() != 0;
}

void CleanupFinished()
{
    if (g_cleanupFinished != nullptr)
        ::SetEvent(g_cleanupFinished);
}

int InterruptSignal()
{
    return g_signal.load();
}

AskResult AskPassword(std::u16string_view prompt, std::u16string& password, size_t limit)
{
    // The console itself, not the standard handles, which may be redirected.
    const UniqueFileHandle in = OpenConsole(L"CONIN$");
    if (!in)
        return AskResult::NoTerminal;
    DWORD saved = 0;
    if (const Echo echo = EchoOff(in.Get(), saved); echo != Echo::Off)
        return echo == Echo::StaysOn ? AskResult::EchoStaysOn : AskResult::NoTerminal;
    const UniqueFileHandle out = OpenConsole(L"CONOUT$");
    DWORD written = 0;
    if (out)
        ::WriteConsoleW(out.Get(), reinterpret_cast<const wchar_t*>(prompt.data()), static_cast<DWORD>(prompt.size()),
                        &written, nullptr);

    std::u16string line;
    line.reserve(limit + 2);  // and the CR LF
    bool tooLong = false;
    AskResult result = AskResult::Ok;
    for (;;) {
        wchar_t buffer[64];
        DWORD got = 0;
        if (!::ReadConsoleW(in.Get(), buffer, 64, &got, nullptr) || Interrupted()) {
            result = Interrupted() ? AskResult::Interrupted : AskResult::NoTerminal;
            break;
        }
        if (got == 0) {
            result = AskResult::Abandoned;
            break;
        }
        // Past the room taken the rest of the line is read, not kept.
        if (line.size() + got <= limit + 2)
            line.append(reinterpret_cast<const char16_t*>(buffer), got);
        else
            tooLong = true;
        const bool ended = std::find(buffer, buffer + got, L'\n') != buffer + got;
        SecureZero(buffer, sizeof buffer);
        if (ended)
            break;
    }
    // Ctrl-Z at the start of a line is the console's end of input.
    if (result == AskResult::Ok && !line.empty() && line[0] == u'\x1A')
        result = AskResult::Abandoned;
    if (result == AskResult::Ok && tooLong)
        result = AskResult::TooLong;
    RestoreEcho(in.Get(), saved);
    if (out)
        ::WriteConsoleW(out.Get(), L"\r\n", 2, &written, nullptr);
    if (result != AskResult::TooLong)
        password = line.substr(0, line.find_first_of(u"\r\n"));
    Wipe(line);
    return result;
}

bool EchoLeftOff()
{
    return g_echoLeftOff.load();
}

bool StdinIsTerminal()
{
    DWORD mode = 0;
    return ::GetConsoleMode(::GetStdHandle(STD_INPUT_HANDLE), &mode) != 0;
}

StdinEchoOff::StdinEchoOff()
{
    DWORD saved = 0;
    const Echo echo = EchoOff(::GetStdHandle(STD_INPUT_HANDLE), saved);
    m_saved = saved;
    m_changed = echo == Echo::Off;
    m_failed = echo == Echo::StaysOn;
}

StdinEchoOff::~StdinEchoOff()
{
    if (m_changed)
        RestoreEcho(::GetStdHandle(STD_INPUT_HANDLE), static_cast<DWORD>(m_saved));
}

bool ReadStandardInput(void* buffer, size_t count, size_t& got)
{
    got = 0;
    DWORD read = 0;
    const DWORD chunk = count > 0x40000000 ? 0x40000000 : static_cast<DWORD>(count);
    if (!::ReadFile(::GetStdHandle(STD_INPUT_HANDLE), buffer, chunk, &read, nullptr))
        return ::GetLastError() == ERROR_BROKEN_PIPE;  // the writer closed: the end
    got = read;
    return true;
}

}  // namespace quorvel
