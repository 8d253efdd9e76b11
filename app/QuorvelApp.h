// The application object: runs the main dialog once and ends the process.
#pragma once

#include "platform/win32/WinApp.h"

namespace quorvel {

class CQuorvelApp : public win32::CWinApp {
public:
    BOOL InitInstance() override;
    void OnUnexpectedException(const win32::UnexpectedError& error) override;
};

}  // namespace quorvel
