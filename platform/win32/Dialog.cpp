// The dialog procedure shared by every dialog, data exchange and the small
// window services the dialogs call.
#include "platform/win32/Dialog.h"

#include "platform/Text.h"
#include "platform/Wipe.h"

#include <uxtheme.h>

#include <exception>

#include <vector>

namespace quorvel::win32 {
namespace {

// Messages whose result a dialog procedure returns directly instead of
// through DWLP_MSGRESULT.
bool ReturnsResultDirectly(UINT message)
{
    return (message >= WM_CTLCOLORMSGBOX && message <= WM_CTLCOLORSTATIC) || message == WM_QUERYDRAGICON
        || message == WM_COMPAREITEM || message == WM_VKEYTOITEM || message == WM_CHARTOITEM
        || message == WM_INITDIALOG;
}

// A window's text: a control's contents, a dialog's caption.
std::u16string WindowText(HWND window)
{
    const int length = ::GetWindowTextLengthW(window);
    std::vector<wchar_t> buffer(static_cast<std::size_t>(length > 0 ? length : 0) + 1);
    const int got = ::GetWindowTextW(window, buffer.data(), static_cast<int>(buffer.size()));
    std::u16string text = FromWide(buffer.data(), static_cast<std::size_t>(got > 0 ? got : 0));
    SecureZero(buffer.data(), buffer.size() * sizeof(wchar_t));  // the password box's text passes through here
    return text;
}

}  // namespace

HINSTANCE ModuleInstance()
{
    return ::GetModuleHandleW(nullptr);
}

std::u16string LoadResourceString(UINT id)
{
    // With a zero length LoadStringW hands out a pointer into the resource itself.
    const wchar_t* text = nullptr;
    const int length = ::LoadStringW(ModuleInstance(), id, reinterpret_cast<LPWSTR>(&text), 0);
    if (length <= 0 || text == nullptr)
        return {};
    return FromWide(text, static_cast<std::size_t>(length));
}

void EnableWindow(HWND window, bool enable)
{
    if (window != nullptr)
        ::EnableWindow(window, enable ? TRUE : FALSE);
}

std::vector<HWND> GroupBoxes(HWND parent)
{
    std::vector<HWND> boxes;
    for (HWND child = ::GetWindow(parent, GW_CHILD); child != nullptr; child = ::GetWindow(child, GW_HWNDNEXT)) {
        wchar_t className[16] {};
        ::GetClassNameW(child, className, static_cast<int>(std::size(className)));
        const LONG_PTR style = ::GetWindowLongPtrW(child, GWL_STYLE);
        if (::lstrcmpiW(className, L"Button") == 0 && (style & BS_TYPEMASK) == BS_GROUPBOX)
            boxes.push_back(child);
    }
    return boxes;
}

void UseClassicGroupBoxes(HWND parent)
{
    for (const HWND box : GroupBoxes(parent))
        ::SetWindowTheme(box, L" ", L" ");  // no theme has these names: classic drawing
}

CDialog::CDialog(UINT templateId, HWND parent) : m_templateId(templateId), m_parent(parent) {}

INT_PTR CDialog::DoModal()
{
    m_ending = false;
    return ::DialogBoxParamW(ModuleInstance(), MAKEINTRESOURCEW(m_templateId), m_parent, &CDialog::StaticProc,
                             reinterpret_cast<LPARAM>(this));
}

INT_PTR CALLBACK CDialog::StaticProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    CDialog* self = nullptr;
    if (message == WM_INITDIALOG) {
        self = reinterpret_cast<CDialog*>(lParam);
        ::SetWindowLongPtrW(window, DWLP_USER, lParam);
        self->m_hWnd = window;
    } else {
        self = reinterpret_cast<CDialog*>(::GetWindowLongPtrW(window, DWLP_USER));
    }
    // Messages before WM_INITDIALOG (WM_SETFONT) have no object yet.
    if (self == nullptr)
        return FALSE;
    // Nothing may unwind through the system's code.
    UnexpectedError error;
    try {
        const INT_PTR result = self->HandleMessage({message, wParam, lParam});
        if (message == WM_NCDESTROY) {
            ::SetWindowLongPtrW(window, DWLP_USER, 0);
            self->m_hWnd = nullptr;
        }
        return result;
    } catch (...) {
        error = CurrentUnexpectedError();
    }
    self->ReportException(error);
    return FALSE;
}

void CDialog::ReportException(const UnexpectedError& error)
{
    if (m_reportingException || m_hWnd == nullptr)
        return;
    m_reportingException = true;
    try {
        OnUnexpectedException(error);
    } catch (...) {
        EndDialog(IDABORT);  // reporting failed too: at least end cleanly
    }
    m_reportingException = false;
}

void CDialog::OnUnexpectedException(const UnexpectedError& error)
{
    MessageBox(error.what, WindowText(m_hWnd), MB_OK);
    EndDialog(IDABORT);
}

INT_PTR CDialog::HandleMessage(const Message& m)
{
    if (m.message == WM_INITDIALOG)
        return OnInitDialog();

    const Message outer = m_current;
    const bool outerPass = m_passToDefault;
    m_current = m;
    m_passToDefault = false;
    std::optional<LRESULT> result = ProcessMessage(m);
    const bool pass = m_passToDefault;
    m_current = outer;
    m_passToDefault = outerPass;

    if (!result) {
        // OK and Cancel keep their standard meaning unless a map takes them.
        if (m.message == WM_COMMAND && HIWORD(m.wParam) == BN_CLICKED) {
            if (LOWORD(m.wParam) == IDOK) {
                OnOK();
                return TRUE;
            }
            if (LOWORD(m.wParam) == IDCANCEL) {
                OnCancel();
                return TRUE;
            }
        }
        return FALSE;
    }
    if (pass)
        return FALSE;
    if (ReturnsResultDirectly(m.message))
        return static_cast<INT_PTR>(*result);
    ::SetWindowLongPtrW(m_hWnd, DWLP_MSGRESULT, *result);
    return TRUE;
}

BOOL CDialog::OnInitDialog()
{
    UpdateData(false);
    return TRUE;
}

void CDialog::OnOK()
{
    if (UpdateData(true))
        EndDialog(IDOK);
}

void CDialog::OnCancel()
{
    EndDialog(IDCANCEL);
}

bool CDialog::UpdateData(bool saveAndValidate)
{
    if (m_hWnd == nullptr)
        return false;
    m_saving = saveAndValidate;
    DoDataExchange();
    return true;
}

void CDialog::DDX_Text(int id, std::u16string& value)
{
    HWND control = GetDlgItem(id);
    if (control == nullptr)
        return;
    if (!m_saving) {
        ::SetWindowTextW(control, Wide(value));
        return;
    }
    // The value replaced is wiped, not just dropped: the password is one.
    std::u16string text = WindowText(control);
    Wipe(value);
    value = std::move(text);
}

void CDialog::SetDlgItemText(int id, const std::u16string& text)
{
    ::SetDlgItemTextW(m_hWnd, id, Wide(text));
}

void CDialog::EnableDlgItem(int id, bool enable)
{
    EnableWindow(GetDlgItem(id), enable);
}

int CDialog::MessageBox(const std::u16string& text, const std::u16string& caption, UINT type)
{
    return ::MessageBoxW(m_hWnd, Wide(text), Wide(caption), type);
}

void CDialog::EndDialog(INT_PTR result)
{
    m_ending = true;
    ::EndDialog(m_hWnd, result);
}

bool CDialog::SetTimer(UINT_PTR id, UINT milliseconds)
{
    return ::SetTimer(m_hWnd, id, milliseconds, nullptr) != 0;
}

void CDialog::KillTimer(UINT_PTR id)
{
    ::KillTimer(m_hWnd, id);
}

LRESULT CDialog::CallDefault()
{
    return ::DefWindowProcW(m_hWnd, m_current.message, m_current.wParam, m_current.lParam);
}

}  // namespace quorvel::win32
