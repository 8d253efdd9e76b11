// The application object: one per process, run by the process entry.
#pragma once

#include <windows.h>

#include <string_view>

namespace quorvel::win32 {

class CDialog;

class CWinApp {
public:
    CWinApp();
    virtual ~CWinApp();
    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;

    // Runs once at start. FALSE ends the process without a message loop,
    // which is all a dialog-based program needs.
    virtual BOOL InitInstance() { return TRUE; }
    virtual int Run() { return 0; }
    virtual int ExitInstance() { return 0; }

    // Names the key profile settings would be stored under. The program
    // reads and writes no settings, so the name is not kept anywhere.
    void SetRegistryKey(std::u16string_view /*key*/) {}

    // The process entry: runs the one application object.
    static int Main();

    CDialog* m_pMainWnd = nullptr;
};

}  // namespace quorvel::win32
