// The application object: one per process, run by the process entry.
#pragma once

#include "platform/win32/UnexpectedError.h"

#include <windows.h>

#include <string>
#include <string_view>

namespace quorvel::win32 {

class CDialog;

class CWinApp {
public:
    CWinApp();
    virtual ~CWinApp();
    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;

    // Runs once at start; the process ends when it returns, with no message
    // loop of the application's own, which is all a dialog-based program
    // needs. (Its result says so: FALSE.)
    virtual BOOL InitInstance() { return FALSE; }
    // An exception reached the process entry: a fault of the program, which
    // must be seen. The default names it in a box.
    virtual void OnUnexpectedException(const UnexpectedError& error);

    // Names the key profile settings would be stored under. The program
    // reads and writes no settings, so the name is not kept anywhere.
    void SetRegistryKey(std::u16string_view /*key*/) {}

    // The process entry: runs the one application object.
    static int Main();

    CDialog* m_pMainWnd = nullptr;
};

}  // namespace quorvel::win32
