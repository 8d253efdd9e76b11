// The main dialog's drawing: the background picture stretched over the
// client area, the icon of the minimised window, and the colours of the
// labels, boxes and the clock.
#include "dialog/win32/QuorvelDlg.h"

#include "platform/win32/Gdi.h"

namespace quorvel {
namespace {

constexpr COLORREF kMagenta = 0xFF00FF;
constexpr COLORREF kGrey = 0x808080;
constexpr COLORREF kBlue = 0xFF0000;
constexpr COLORREF kRed = 0x0000FF;
constexpr COLORREF kGreen = 0x00FF00;
constexpr COLORREF kRedViolet = 0x8000FF;

}  // namespace

// The background picture stretched over the whole client area. A fresh
// bitmap per paint; every drawing object is gone when this returns.
void CQuorvelDlg::PaintBackground()
{
    win32::PaintDc paint(m_hWnd);
    RECT client {};
    ::GetClientRect(m_hWnd, &client);
    win32::UniqueMemoryDc memory(::CreateCompatibleDC(paint.Get()));
    win32::UniqueBitmap bitmap = win32::LoadBitmapResource(IDB_BACKGROUND);
    if (!memory || !bitmap)
        return;
    const SIZE size = win32::BitmapSize(bitmap.Get());
    win32::SelectGuard selected(memory.Get(), bitmap.Get());
    ::StretchBlt(paint.Get(), 0, 0, client.right - client.left, client.bottom - client.top, memory.Get(), 0, 0,
                 size.cx, size.cy, SRCCOPY);
}

void CQuorvelDlg::OnPaint()
{
    if (::IsIconic(m_hWnd)) {
        win32::PaintDc paint(m_hWnd);
        ::SendMessageW(m_hWnd, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(paint.Get()), 0);
        const int iconWidth = ::GetSystemMetrics(SM_CXICON);
        const int iconHeight = ::GetSystemMetrics(SM_CYICON);
        RECT client {};
        ::GetClientRect(m_hWnd, &client);
        const int x = (client.right - client.left - iconWidth + 1) / 2;
        const int y = (client.bottom - client.top - iconHeight + 1) / 2;
        ::DrawIcon(paint.Get(), x, y, m_hIcon);
        return;
    }
    PaintBackground();
    // The update region is validated; the dialog manager finds nothing left.
    PassToDefault();
}

HCURSOR CQuorvelDlg::OnQueryDragIcon()
{
    return static_cast<HCURSOR>(m_hIcon);
}

HBRUSH CQuorvelDlg::OnCtlColor(HDC dc, HWND control, UINT type)
{
    const HBRUSH brush = reinterpret_cast<HBRUSH>(CallDefault());

    if (type == CTLCOLOR_STATIC) {
        ::SetBkMode(dc, TRANSPARENT);
        ::SetTextColor(dc, kMagenta);
    } else if (type == CTLCOLOR_EDIT) {
        ::SetBkMode(dc, TRANSPARENT);
        ::SetBkColor(dc, kGrey);
    }

    switch (::GetDlgCtrlID(control)) {
    case IDC_ENCIPHER_NAME:
    case IDC_DECIPHER_NAME:
        ::SetBkMode(dc, TRANSPARENT);
        ::SetTextColor(dc, kBlue);
        break;
    case IDC_ENCIPHER_SIZE:
    case IDC_DECIPHER_SIZE:
        ::SetBkMode(dc, TRANSPARENT);
        ::SetTextColor(dc, kRed);
        break;
    case IDC_PASSWORD:
        ::SetBkMode(dc, TRANSPARENT);
        ::SetTextColor(dc, kGreen);
        break;
    case IDC_CLOCK:
        ::SetBkMode(dc, TRANSPARENT);
        ::SetBkColor(dc, kGrey);
        ::SetTextColor(dc, kRedViolet);
        break;
    default:
        break;
    }
    return brush;
}

}  // namespace quorvel
