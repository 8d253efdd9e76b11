// The About box: template only, closed by its OK button.
#pragma once

#include "platform/win32/Dialog.h"
#include "resources/QuorvelIds.h"

namespace quorvel {

class CAboutDlg : public win32::CDialog {
public:
    explicit CAboutDlg(HWND parent) : CDialog(IDD_ABOUTBOX, parent) {}
};

}  // namespace quorvel
