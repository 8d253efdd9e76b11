// The process entry of the application object.
#include "platform/win32/WinApp.h"

#include "platform/Text.h"
#include "platform/win32/WideText.h"

#include <exception>

namespace quorvel::win32 {
namespace {

CWinApp* g_app = nullptr;

}  // namespace

CWinApp::CWinApp()
{
    g_app = this;
}

CWinApp::~CWinApp()
{
    if (g_app == this)
        g_app = nullptr;
}

void CWinApp::OnUnexpectedException(const UnexpectedError& error)
{
    ::MessageBoxW(nullptr, Wide(error.what), L"", MB_OK);
}

int CWinApp::Main()
{
    if (g_app == nullptr)
        return 1;
    // No exception may leave the entry silently: it is named, and the
    // process ends with a failure code.
    UnexpectedError error;
    try {
        g_app->InitInstance();
        return 0;
    } catch (...) {
        error = CurrentUnexpectedError();
    }
    try {
        g_app->OnUnexpectedException(error);
    } catch (...) {
        // Nothing is left that could tell anyone.
    }
    return 1;
}

}  // namespace quorvel::win32
