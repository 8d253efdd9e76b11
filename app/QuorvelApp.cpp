// Start-up: common controls, the dialog with its preset password and the
// files of the command line, and the end of the process when the dialog closes.
#include "app/QuorvelApp.h"

#include "dialog/DisplayTexts.h"
#include "dialog/win32/QuorvelDlg.h"
#include "platform/win32/LongPath.h"

#include <commctrl.h>
#include <shellapi.h>

namespace quorvel {
namespace {

// What "Send to", "Open with" and a drop on the program's icon pass: files
// after the program's name. Made full here, while the working folder is the
// one they were named in; the Open dialog moves it.
std::vector<std::u16string> CommandLineFiles()
{
    int count = 0;
    wchar_t** args = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    std::vector<std::u16string> files;
    for (int i = 1; args != nullptr && i < count; ++i) {
        const std::u16string arg = win32::FromWide(args[i], ::wcslen(args[i]));
        const std::u16string full = FullPathOf(arg);
        files.push_back(full.empty() ? arg : full);
    }
    ::LocalFree(args);
    return files;
}

}  // namespace

BOOL CQuorvelApp::InitInstance()
{
    INITCOMMONCONTROLSEX controls {};
    controls.dwSize = sizeof controls;
    controls.dwICC = 0xFF;  // every class of the first common-controls generation
    ::InitCommonControlsEx(&controls);

    CWinApp::InitInstance();
    SetRegistryKey(u"应用程序向导生成的本地应用程序");

    CQuorvelDlg dialog;
    m_pMainWnd = &dialog;
    dialog.m_strPassword = u"mqzvtrk";
    dialog.m_commandLineFiles = CommandLineFiles();
    dialog.DoModal();
    m_pMainWnd = nullptr;

    // No message loop: the process ends here.
    return FALSE;
}

void CQuorvelApp::OnUnexpectedException(const win32::UnexpectedError& error)
{
    // The dialog's own words: by now its jobs have stopped and removed their outputs.
    const MessageText fault = FormatUnexpectedErrorText(error.what, error.outOfMemory);
    ::MessageBoxW(nullptr, win32::Wide(fault.text), win32::Wide(fault.caption), MB_OK);
}

}  // namespace quorvel

namespace {

quorvel::CQuorvelApp theApp;

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    return quorvel::win32::CWinApp::Main();
}
