// Win32 plumbing of the driver. Facts about Wine it relies on: WM_GETTEXT and
// WM_SETTEXT are marshalled across processes; posted clicks go through the
// target's modal loops; the Open dialog's name box is the Edit inside combo
// 0x47C; a message box's text is a Static.
#include "DriverSupport.h"

#include "platform/FileNames.h"
#include "tests/TimeScale.h"
#include "tests/win32/DialogCaption.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace e2e {

void Trace(const char* what)
{
    static const bool on = GetEnvironmentVariableW(L"QUORVEL_E2E_TRACE", nullptr, 0) > 0;
    if (on)
        std::fprintf(stderr, "%10.1f %s\n", NowMs(), what);
}

void Fail(const std::string& message)
{
    throw Failure {message};
}

void Check(bool condition, const std::string& message)
{
    if (!condition)
        Fail(message);
}

std::string Narrow(const std::wstring& text)
{
    return test::ReadableName(test::U16(text));
}

double NowMs()
{
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

// Sends a message to another process's window and waits a bounded time for
// the answer. An emulated program's interface thread can be busy past the 5 s
// after which Wine calls it hung, so there the send waits its time out rather
// than give up at once.
static bool Send(HWND window, UINT message, WPARAM wParam, LPARAM lParam, DWORD_PTR& result)
{
    const unsigned scale = quorvel::test::TimeScale();
    return SendMessageTimeoutW(window, message, wParam, lParam, scale > 1 ? SMTO_NORMAL : SMTO_ABORTIFHUNG,
                               3000 * scale, &result) != 0;
}

std::wstring TextOf(HWND window)
{
    DWORD_PTR length = 0;
    if (!Send(window, WM_GETTEXTLENGTH, 0, 0, length))
        Fail("no answer to WM_GETTEXTLENGTH");
    std::wstring text(length + 1, L'\0');
    DWORD_PTR copied = 0;
    if (!Send(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()), copied))
        Fail("no answer to WM_GETTEXT");
    text.resize(copied);
    return text;
}

void SetText(HWND window, const std::wstring& text)
{
    DWORD_PTR result = 0;
    if (!Send(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()), result))
        Fail("no answer to WM_SETTEXT");
}

std::wstring ClassOf(HWND window)
{
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    return name;
}

bool IsShown(HWND window)
{
    return window && IsWindow(window) && IsWindowVisible(window);
}

Program::Program(std::wstring exePath, std::wstring workingFolder)
    : m_exePath(std::move(exePath)), m_workingFolder(std::move(workingFolder))
{
}

Program::~Program()
{
    Kill();
}

double Program::Launch(DWORD timeoutMs, const std::wstring& arguments)
{
    Kill();
    STARTUPINFOW startup {};
    startup.cb = sizeof startup;
    std::wstring commandLine = L"\"" + m_exePath + L"\"" + (arguments.empty() ? L"" : L" " + arguments);
    const double start = NowMs();
    if (!CreateProcessW(m_exePath.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        m_workingFolder.c_str(), &startup, &m_process))
        Fail("cannot start " + Narrow(m_exePath) + " (error " + std::to_string(GetLastError()) + ")");
    m_dialog = nullptr;
    const bool up = WaitUntil(
        [&] {
            m_dialog = FindCaption(quorvel::test::kMainDialogCaption);
            return m_dialog != nullptr || !Running();
        },
        timeoutMs, 50);
    if (!up || !m_dialog)
        Fail(Running() ? "main dialog did not appear" : "program ended before its dialog appeared");
    m_threadId = GetWindowThreadProcessId(m_dialog, nullptr);
    return NowMs() - start;
}

bool Program::Running() const
{
    return m_process.hProcess && WaitForSingleObject(m_process.hProcess, 0) == WAIT_TIMEOUT;
}

bool Program::WaitExit(DWORD timeoutMs)
{
    return m_process.hProcess &&
           WaitForSingleObject(m_process.hProcess, timeoutMs * quorvel::test::TimeScale()) == WAIT_OBJECT_0;
}

void Program::Kill()
{
    if (!m_process.hProcess)
        return;
    if (Running()) {
        TerminateProcess(m_process.hProcess, 1);
        WaitForSingleObject(m_process.hProcess, 10000);
    }
    CloseHandle(m_process.hProcess);
    CloseHandle(m_process.hThread);
    m_process = {};
    m_dialog = nullptr;
}

HWND Program::Item(int id) const
{
    HWND item = GetDlgItem(m_dialog, id);
    if (!item)
        Fail("main dialog has no control " + std::to_string(id));
    return item;
}

namespace {

struct EnumState {
    DWORD processId;
    std::vector<HWND> windows;
};

BOOL CALLBACK CollectTopLevel(HWND window, LPARAM param)
{
    auto* state = reinterpret_cast<EnumState*>(param);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (pid == state->processId && IsWindowVisible(window))
        state->windows.push_back(window);
    return TRUE;
}

std::vector<HWND> VisibleWindowsOf(DWORD processId)
{
    EnumState state {processId, {}};
    if (processId)
        EnumWindows(CollectTopLevel, reinterpret_cast<LPARAM>(&state));
    return state.windows;
}

std::wstring CaptionOf(HWND window)
{
    wchar_t caption[256] = {};
    GetWindowTextW(window, caption, 256);
    return caption;
}

}  // namespace

std::vector<HWND> Program::OtherWindows() const
{
    std::vector<HWND> others;
    for (HWND window : VisibleWindowsOf(m_process.dwProcessId))
        if (window != m_dialog)
            others.push_back(window);
    return others;
}

HWND Program::FindCaption(const std::wstring& caption) const
{
    for (HWND window : VisibleWindowsOf(m_process.dwProcessId))
        if (CaptionOf(window) == caption)
            return window;
    return nullptr;
}

HWND Program::WaitCaption(const std::wstring& caption, DWORD timeoutMs) const
{
    HWND found = nullptr;
    WaitUntil([&] { return (found = FindCaption(caption)) != nullptr; }, timeoutMs);
    return found;
}

HWND Program::FindFileDialog() const
{
    for (HWND window : VisibleWindowsOf(m_process.dwProcessId))
        if (window != m_dialog && GetDlgItem(window, 0x47C))
            return window;
    return nullptr;
}

HWND Program::FocusedControl() const
{
    GUITHREADINFO info {};
    info.cbSize = sizeof info;
    if (!GetGUIThreadInfo(m_threadId, &info))
        return nullptr;
    return info.hwndFocus;
}

void Click(HWND button)
{
    PostMessageW(button, BM_CLICK, 0, 0);
}

void PostCommand(HWND dialog, int id)
{
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

void TypeChars(HWND control, const std::wstring& text)
{
    for (wchar_t unit : text)
        PostMessageW(control, WM_CHAR, unit, 1);
}

namespace {

BOOL CALLBACK CollectStaticTexts(HWND child, LPARAM param)
{
    auto* texts = reinterpret_cast<std::wstring*>(param);
    // An icon's Static holds a resource reference, not text.
    const LONG type = GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK;
    if (IsWindowVisible(child) && ClassOf(child) == L"Static" && type != SS_ICON && type != SS_BITMAP) {
        const std::wstring text = TextOf(child);
        if (!text.empty()) {
            if (!texts->empty())
                *texts += L"\n";
            *texts += text;
        }
    }
    return TRUE;
}

}  // namespace

MessageBoxInfo ReadMessageBox(HWND box)
{
    MessageBoxInfo info;
    info.window = box;
    info.caption = CaptionOf(box);
    EnumChildWindows(box, CollectStaticTexts, reinterpret_cast<LPARAM>(&info.text));
    return info;
}

void AnswerBox(HWND box, int id)
{
    PostCommand(box, id);
    if (!WaitUntil([&] { return !IsShown(box); }, kWaitMs))
        Fail("message box \"" + Narrow(CaptionOf(box)) + "\" stayed after answer " + std::to_string(id));
}

namespace {

HWND FileNameBox(HWND fileDialog)
{
    HWND combo = GetDlgItem(fileDialog, 0x47C);
    HWND inner = combo ? FindWindowExW(combo, nullptr, L"ComboBox", nullptr) : nullptr;
    HWND edit = FindWindowExW(inner ? inner : combo, nullptr, L"Edit", nullptr);
    Check(edit != nullptr, "the Open dialog has no file-name box");
    return edit;
}

}  // namespace

std::wstring FileNameText(HWND fileDialog)
{
    test::Pause(150);
    return TextOf(FileNameBox(fileDialog));
}

double AnswerFileDialog(HWND fileDialog, const std::wstring& path)
{
    // Wine fills the name box while the dialog initialises; typing too early is lost.
    test::Pause(150);
    if (!path.empty())
        SetText(FileNameBox(fileDialog), path);
    PostCommand(fileDialog, path.empty() ? IDCANCEL : IDOK);
    Trace("Open dialog answered");
    if (!WaitUntil([&] { return !IsShown(fileDialog); }, kWaitMs, 2))
        Fail("the Open dialog stayed open");
    Trace("Open dialog gone");
    return NowMs();
}

bool CloseStrayWindows(Program& program)
{
    const bool done = WaitUntil(
        [&] {
            if (!program.Running())
                return true;
            const auto others = program.OtherWindows();
            for (HWND window : others) {
                if (GetDlgItem(window, IDNO))
                    PostCommand(window, IDNO);  // "退出确认": keep the dialog
                else if (GetDlgItem(window, 0x47C))
                    PostCommand(window, IDCANCEL);
                else
                    PostCommand(window, IDOK);
            }
            if (others.empty())
                return true;
            test::Pause(200);
            return false;
        },
        kWaitMs, 50);
    return done && program.Running() && IsShown(program.Dialog());
}

ScreenImage ScreenImage::Capture()
{
    ScreenImage image;
    image.m_width = GetSystemMetrics(SM_CXSCREEN);
    image.m_height = GetSystemMetrics(SM_CYSCREEN);
    image.m_pixels.assign(static_cast<size_t>(image.m_width) * image.m_height, 0);
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = image.m_width;
    info.bmiHeader.biHeight = -image.m_height;  // top row first
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP section = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (section && bits) {
        HGDIOBJ old = SelectObject(memory, section);
        BitBlt(memory, 0, 0, image.m_width, image.m_height, screen, 0, 0, SRCCOPY | CAPTUREBLT);
        GdiFlush();
        const auto* source = static_cast<const uint32_t*>(bits);
        for (size_t i = 0; i < image.m_pixels.size(); ++i)
            image.m_pixels[i] = source[i] & 0xFFFFFF;
        SelectObject(memory, old);
        DeleteObject(section);
    }
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return image;
}

bool ScreenImage::Save(const std::wstring& path) const
{
    const BITMAPINFOHEADER header {sizeof header, m_width, -m_height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    const DWORD offset = sizeof(BITMAPFILEHEADER) + sizeof header;
    const BITMAPFILEHEADER file {0x4D42, offset + static_cast<DWORD>(m_pixels.size() * 4), 0, 0, offset};
    std::vector<uint8_t> bytes(file.bfSize);
    std::memcpy(bytes.data(), &file, sizeof file);
    std::memcpy(bytes.data() + sizeof file, &header, sizeof header);
    // Opaque, for viewers that read the fourth byte as alpha.
    for (size_t i = 0; i < m_pixels.size(); ++i) {
        const uint32_t pixel = m_pixels[i] | 0xFF000000u;
        std::memcpy(bytes.data() + offset + 4 * i, &pixel, 4);
    }
    try {
        test::WriteFile(path, bytes);
    } catch (const std::exception&) {
        return false;
    }
    return true;
}

bool LoadBitmapFile(const std::wstring& path, Bitmap& bitmap)
{
    std::vector<uint8_t> bytes;
    try {
        bytes = test::ReadFile(path);
    } catch (const std::exception&) {
        return false;
    }
    BITMAPFILEHEADER file;
    BITMAPINFOHEADER header;
    if (bytes.size() < sizeof file + sizeof header)
        return false;
    std::memcpy(&file, bytes.data(), sizeof file);
    std::memcpy(&header, bytes.data() + sizeof file, sizeof header);
    if (file.bfType != 0x4D42 || header.biBitCount != 24 || header.biCompression != BI_RGB || header.biWidth <= 0 ||
        header.biHeight == 0)
        return false;
    const bool bottomUp = header.biHeight > 0;
    bitmap.width = header.biWidth;
    bitmap.height = bottomUp ? header.biHeight : -header.biHeight;
    const size_t rowBytes = (static_cast<size_t>(bitmap.width) * 3 + 3) & ~size_t {3};
    if (file.bfOffBits + rowBytes * bitmap.height > bytes.size())
        return false;
    bitmap.pixels.resize(static_cast<size_t>(bitmap.width) * bitmap.height);
    for (int y = 0; y < bitmap.height; ++y) {
        const uint8_t* row = bytes.data() + file.bfOffBits + rowBytes * (bottomUp ? bitmap.height - 1 - y : y);
        for (int x = 0; x < bitmap.width; ++x)
            bitmap.pixels[static_cast<size_t>(y) * bitmap.width + x] =
                row[x * 3] | (row[x * 3 + 1] << 8) | (row[x * 3 + 2] << 16);
    }
    return true;
}

RECT WindowRect(HWND window)
{
    RECT rect {};
    GetWindowRect(window, &rect);
    return rect;
}

RECT ClientScreenRect(HWND window)
{
    RECT rect {};
    GetClientRect(window, &rect);
    POINT origin {0, 0};
    ClientToScreen(window, &origin);
    OffsetRect(&rect, origin.x, origin.y);
    return rect;
}

bool FileExists(const std::wstring& path)
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::wstring TemporaryBeside(const std::wstring& path)
{
    const std::wstring folder = path.substr(0, path.find_last_of(L"\\/") + 1);
    for (const std::u16string& name : test::ListFolder(folder))
        if (quorvel::IsTemporaryOutputName(name))
            return folder + W(name);
    return {};
}

void RemoveFile(const std::wstring& path)
{
    DeleteFileW(path.c_str());
}

}  // namespace e2e
