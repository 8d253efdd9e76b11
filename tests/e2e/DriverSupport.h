// Driving Quorvel.exe from a second process as a user would: start it, find its
// windows, read and type into controls, press buttons, answer its message boxes
// and its file dialog, and look at what is on the screen. Every wait polls with
// a deadline and every cross-process send has a timeout, so a hung or dead
// program fails a scenario instead of hanging the run.
#pragma once

#include "tests/TestFiles.h"
#include "tests/Waiting.h"

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace e2e {

namespace test = quorvel::test;

// Deadlines: the first window of a fresh Wine session can take many seconds.
constexpr DWORD kFirstLaunchMs = 60000;
using quorvel::test::kWaitMs;

// Thrown by checks; a scenario catches it and reports its message.
struct Failure {
    std::string message;
};

// With QUORVEL_E2E_TRACE set, prints a timestamped step to stderr.
void Trace(const char* what);

[[noreturn]] void Fail(const std::string& message);
void Check(bool condition, const std::string& message);

std::string Narrow(const std::wstring& text);
using quorvel::test::U16;
using quorvel::test::W;

// Milliseconds of a monotonic clock.
double NowMs();

// Polls condition every pollMs until it holds or timeoutMs have passed (times
// the test time scale, as every wait here is).
using quorvel::test::WaitUntil;

// Text of any window, through WM_GETTEXT with a timeout (works across processes).
std::wstring TextOf(HWND window);
void SetText(HWND window, const std::wstring& text);
std::wstring ClassOf(HWND window);
bool IsShown(HWND window);  // exists and visible

// The program under test, started in its own working folder.
class Program {
public:
    Program(std::wstring exePath, std::wstring workingFolder);
    ~Program();
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    // Starts the process, with arguments after its name, and waits for the
    // main dialog; returns the milliseconds it took.
    double Launch(DWORD timeoutMs, const std::wstring& arguments = {});
    bool Running() const;
    // Waits for the process to end by itself.
    bool WaitExit(DWORD timeoutMs);
    void Kill();

    HWND Dialog() const { return m_dialog; }
    HWND Item(int id) const;

    // Visible top-level windows of the process other than the main dialog.
    std::vector<HWND> OtherWindows() const;
    // A visible top-level window of the process with this caption, or NULL.
    HWND FindCaption(const std::wstring& caption) const;
    HWND WaitCaption(const std::wstring& caption, DWORD timeoutMs) const;
    // The Open dialog (a dialog with the file-name combo 0x47C), or NULL.
    HWND FindFileDialog() const;

    // The control with the keyboard focus in the program's interface thread.
    HWND FocusedControl() const;

private:
    std::wstring m_exePath;
    std::wstring m_workingFolder;
    PROCESS_INFORMATION m_process {};
    HWND m_dialog = nullptr;
    DWORD m_threadId = 0;
};

// Posts a click, as a user's press of the button would arrive.
void Click(HWND button);
// Posts WM_COMMAND id to a dialog, as its button with that id would.
void PostCommand(HWND dialog, int id);
// Posts one WM_CHAR per UTF-16 unit.
void TypeChars(HWND control, const std::wstring& text);

// A message box: its caption and the joined texts of its visible statics.
struct MessageBoxInfo {
    HWND window = nullptr;
    std::wstring caption;
    std::wstring text;
};
MessageBoxInfo ReadMessageBox(HWND box);
// Posts the button id to the box and waits until it is hidden or gone.
void AnswerBox(HWND box, int id);

// The text of the Open dialog's name box (the dialog fills it a moment after it shows).
std::wstring FileNameText(HWND fileDialog);
// Answers the Open dialog with a full path (or cancels it with an empty one);
// returns the time the dialog disappeared.
double AnswerFileDialog(HWND fileDialog, const std::wstring& path);

// Closes every box and file dialog of the program; true if only the main dialog is left.
bool CloseStrayWindows(Program& program);

// A capture of the whole screen, 0x00RRGGBB per pixel.
class ScreenImage {
public:
    static ScreenImage Capture();
    uint32_t At(int x, int y) const { return m_pixels[static_cast<size_t>(y) * m_width + x]; }
    // Writes an uncompressed 32-bit BMP, top row first.
    bool Save(const std::wstring& path) const;

private:
    int m_width = 0;
    int m_height = 0;
    std::vector<uint32_t> m_pixels;
};

// A 24-bit uncompressed BMP file read into 0x00RRGGBB pixels, top row first.
struct Bitmap {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels;
    uint32_t At(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};
bool LoadBitmapFile(const std::wstring& path, Bitmap& bitmap);

// Screen rectangles of a window and of its client area.
RECT WindowRect(HWND window);
RECT ClientScreenRect(HWND window);

// Files: whole ones through the tests' own helpers (test::ReadFile,
// test::WriteFile, test::ListFolder), and these.
bool FileExists(const std::wstring& path);
// A temporary output (".quorvel-XXXXXXXX.tmp") in the folder of path, if any; empty if none.
std::wstring TemporaryBeside(const std::wstring& path);
void RemoveFile(const std::wstring& path);

}  // namespace e2e
