// The process entry of the application object.
#include "platform/win32/WinApp.h"

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

int CWinApp::Main()
{
    if (g_app == nullptr)
        return 1;
    // No exception may leave the entry; one reaching here ends the process
    // with a failure code.
    try {
        if (!g_app->InitInstance())
            return g_app->ExitInstance();
        return g_app->Run();
    } catch (...) {
        return 1;
    }
}

}  // namespace quorvel::win32
