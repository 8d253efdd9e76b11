// Modal dialogs over raw Win32: one static dialog procedure, `this` carried in
// the lParam of DialogBoxParamW, and a per-class message map of typed handlers.
// Win32's return-value rules for dialog procedures live here and nowhere else.
#pragma once

#include "platform/win32/UnexpectedError.h"
#include "platform/win32/WideText.h"

#include <windows.h>

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace quorvel::win32 {

// The program's own module, where every resource lives.
HINSTANCE ModuleInstance();

// String resource id; empty when it is missing.
std::u16string LoadResourceString(UINT id);

// A message as the window procedure received it.
struct Message {
    UINT message = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
};

// Stands for the whole WM_CTLCOLORMSGBOX..WM_CTLCOLORSTATIC range in a map;
// the handler gets the control type (CTLCOLOR_EDIT, CTLCOLOR_STATIC, ...).
constexpr UINT kAnyCtlColor = 0x0019;

// One row of a message map. For WM_COMMAND rows, id and code select the
// control and its notification; other rows leave them 0. The handler's
// signature says how wParam and lParam are unpacked.
template <class T>
struct MessageEntry {
    using Plain = void (T::*)();                        // WM_PAINT, WM_COMMAND notifications
    using Raw = LRESULT (T::*)(WPARAM, LPARAM);         // private messages
    using Timer = void (T::*)(UINT_PTR);                // timer id
    using Char = void (T::*)(UINT, UINT, UINT);         // character, repeat count, flags
    using SysCommand = void (T::*)(UINT, LPARAM);       // command id, cursor position
    using CtlColor = HBRUSH (T::*)(HDC, HWND, UINT);    // device context, control, control type
    using QueryIcon = HCURSOR (T::*)();                 // WM_QUERYDRAGICON
    using Handler = std::variant<Plain, Raw, Timer, Char, SysCommand, CtlColor, QueryIcon>;

    UINT message;
    int id;
    int code;
    Handler handler;
};

template <class T>
bool Matches(const MessageEntry<T>& entry, const Message& m)
{
    if (entry.message == kAnyCtlColor)
        return m.message >= WM_CTLCOLORMSGBOX && m.message <= WM_CTLCOLORSTATIC;
    if (entry.message != m.message)
        return false;
    if (m.message == WM_COMMAND)
        return entry.id == LOWORD(m.wParam) && entry.code == HIWORD(m.wParam);
    return true;
}

// Runs the first row of map that matches m; nothing when no row does.
template <class T, class Map>
std::optional<LRESULT> DispatchMessageMap(T& self, const Map& map, const Message& m)
{
    for (const MessageEntry<T>& entry : map) {
        if (!Matches(entry, m))
            continue;
        using E = MessageEntry<T>;
        if (auto h = std::get_if<typename E::Plain>(&entry.handler)) {
            (self.**h)();
            return 0;
        }
        if (auto h = std::get_if<typename E::Raw>(&entry.handler))
            return (self.**h)(m.wParam, m.lParam);
        if (auto h = std::get_if<typename E::Timer>(&entry.handler)) {
            (self.**h)(static_cast<UINT_PTR>(m.wParam));
            return 0;
        }
        if (auto h = std::get_if<typename E::Char>(&entry.handler)) {
            (self.**h)(static_cast<UINT>(m.wParam), LOWORD(m.lParam), HIWORD(m.lParam));
            return 0;
        }
        if (auto h = std::get_if<typename E::SysCommand>(&entry.handler)) {
            (self.**h)(static_cast<UINT>(m.wParam), m.lParam);
            return 0;
        }
        if (auto h = std::get_if<typename E::CtlColor>(&entry.handler)) {
            const UINT type = m.message - WM_CTLCOLORMSGBOX;
            return reinterpret_cast<LRESULT>(
                (self.**h)(reinterpret_cast<HDC>(m.wParam), reinterpret_cast<HWND>(m.lParam), type));
        }
        if (auto h = std::get_if<typename E::QueryIcon>(&entry.handler))
            return reinterpret_cast<LRESULT>((self.**h)());
    }
    return std::nullopt;
}

// Base of every dialog: built from a template id, run modally.
class CDialog {
public:
    explicit CDialog(UINT templateId, HWND parent = nullptr);
    virtual ~CDialog() = default;
    CDialog(const CDialog&) = delete;
    CDialog& operator=(const CDialog&) = delete;

    // Runs the dialog until EndDialog; returns its result, or -1 when it
    // could not be created.
    INT_PTR DoModal();

protected:
    // Controls exist; the default copies the members into them. Returning
    // TRUE leaves the focus to the dialog manager.
    virtual BOOL OnInitDialog();
    // The default OK copies the controls into the members and ends the dialog.
    virtual void OnOK();
    virtual void OnCancel();
    virtual void DoDataExchange() {}
    // The class's message map; the default maps nothing.
    virtual std::optional<LRESULT> ProcessMessage(const Message&) { return std::nullopt; }
    // A handler let an exception out: a fault of the program, which must be
    // seen. The default names it in a box with the dialog's caption and ends
    // the dialog with IDABORT. Nothing ever unwinds into the system's code.
    virtual void OnUnexpectedException(const UnexpectedError& error);

    // Copies members to controls (false) or controls to members (true).
    bool UpdateData(bool saveAndValidate);
    void DDX_Text(int id, std::u16string& value);

    HWND GetDlgItem(int id) const { return ::GetDlgItem(m_hWnd, id); }
    void SetDlgItemText(int id, const std::u16string& text);
    void EnableDlgItem(int id, bool enable);
    int MessageBox(const std::u16string& text, const std::u16string& caption, UINT type = MB_OK);
    void EndDialog(INT_PTR result);
    bool IsEnding() const { return m_ending; }
    bool SetTimer(UINT_PTR id, UINT milliseconds);
    void KillTimer(UINT_PTR id);

    // From inside a handler: let the dialog manager process the message too,
    // as if the map had no row for it.
    void PassToDefault() { m_passToDefault = true; }
    // From inside a handler: the window's default result for the current message.
    LRESULT CallDefault();

    HWND m_hWnd = nullptr;

private:
    static INT_PTR CALLBACK StaticProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR HandleMessage(const Message& m);
    void ReportException(const UnexpectedError& error);

    UINT m_templateId;
    HWND m_parent;
    Message m_current;
    bool m_passToDefault = false;
    bool m_saving = false;
    bool m_ending = false;
    bool m_reportingException = false;  // one box at a time, even if showing it throws again
};

// A dialog whose class T has `static constexpr auto MessageMap()`.
template <class T>
class CDialogImpl : public CDialog {
protected:
    using CDialog::CDialog;

    std::optional<LRESULT> ProcessMessage(const Message& m) override
    {
        return DispatchMessageMap(static_cast<T&>(*this), T::MessageMap(), m);
    }
};

void EnableWindow(HWND window, bool enable);

// The group boxes among parent's children, in the dialog's order.
std::vector<HWND> GroupBoxes(HWND parent);

// Draws the group boxes among parent's children without visual styles: a
// themed group box takes its text colour from the theme and ignores the
// colour the dialog sets in WM_CTLCOLORSTATIC.
void UseClassicGroupBoxes(HWND parent);

}  // namespace quorvel::win32
