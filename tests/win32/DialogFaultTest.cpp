// A handler that throws is a fault of the program: it must be shown, and the
// dialog must end, never go on as if the message had not been handled. One
// that reaches the process entry is named too, never swallowed.
#include "platform/win32/Dialog.h"
#include "platform/win32/WinApp.h"

#include "tests/Waiting.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <thread>

namespace quorvel::win32 {
namespace {

constexpr UINT kTestDialog = 200;
constexpr UINT WM_THROW = WM_APP + 1;

class CThrowingDlg : public CDialogImpl<CThrowingDlg> {
    friend class CDialogImpl<CThrowingDlg>;
    using Entry = MessageEntry<CThrowingDlg>;

    static constexpr auto MessageMap() { return std::array {Entry {WM_THROW, 0, 0, &CThrowingDlg::OnThrow}}; }

public:
    CThrowingDlg() : CDialogImpl(kTestDialog) {}
    int throws = 0;

protected:
    BOOL OnInitDialog() override
    {
        ::PostMessageW(m_hWnd, WM_THROW, 0, 0);
        return CDialog::OnInitDialog();
    }

private:
    LRESULT OnThrow(WPARAM, LPARAM)
    {
        ++throws;
        throw std::runtime_error("disk controller on fire");
    }
};

struct BoxSeen {
    std::wstring caption;
    std::wstring text;
};

BOOL CALLBACK AnswerIfBox(HWND window, LPARAM param)
{
    DWORD pid = 0;
    ::GetWindowThreadProcessId(window, &pid);
    wchar_t cls[32] {}, caption[64] {};
    ::GetClassNameW(window, cls, 32);
    ::GetWindowTextW(window, caption, 64);
    // A message box is a dialog with an owner; the test dialog has none.
    if (pid != ::GetCurrentProcessId() || std::wstring(cls) != L"#32770" || !::IsWindowVisible(window) ||
        ::GetWindow(window, GW_OWNER) == nullptr)
        return TRUE;
    auto& box = *reinterpret_cast<BoxSeen*>(param);
    box.caption = caption;
    wchar_t text[256] {};
    ::GetDlgItemTextW(window, 0xFFFF, text, 256);
    box.text = text;
    ::PostMessageW(window, WM_COMMAND, IDOK, 0);
    return FALSE;
}

// Waits for the first message box of this process, reads it and presses its OK.
BoxSeen AnswerBox()
{
    BoxSeen seen;
    const bool answered = test::WaitUntil(
        [&] {
            ::EnumWindows(AnswerIfBox, reinterpret_cast<LPARAM>(&seen));
            return !seen.caption.empty();
        },
        10000, 50);
    if (!answered) {
        // No box came: end the dialog so the test fails instead of hanging.
        if (HWND dialog = ::FindWindowW(L"#32770", L"Test dialog"))
            ::PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
    }
    return seen;
}

TEST(DialogFault, AnExceptionInAHandlerIsShownAndEndsTheDialog)
{
    CThrowingDlg dialog;
    BoxSeen box;
    std::thread answer([&box] { box = AnswerBox(); });
    const INT_PTR result = dialog.DoModal();
    answer.join();
    EXPECT_EQ(dialog.throws, 1);
    EXPECT_EQ(box.caption, L"Test dialog");
    EXPECT_NE(box.text.find(L"disk controller on fire"), std::wstring::npos) << "the box names the fault";
    EXPECT_EQ(result, IDABORT);
}

TEST(AppFault, AnExceptionThatReachesTheEntryIsNamedAndFailsTheProcess)
{
    class CThrowingApp final : public CWinApp {
    public:
        BOOL InitInstance() override
        {
            if (outOfMemory)
                throw std::bad_alloc();
            throw std::runtime_error("no dialog today");
        }
        void OnUnexpectedException(const UnexpectedError& error) override { seen = error; }
        bool outOfMemory = false;
        UnexpectedError seen;
    } app;
    EXPECT_EQ(CWinApp::Main(), 1);
    EXPECT_EQ(app.seen.what, u"no dialog today");
    EXPECT_FALSE(app.seen.outOfMemory);
    app.outOfMemory = true;
    EXPECT_EQ(CWinApp::Main(), 1);
    EXPECT_TRUE(app.seen.outOfMemory) << "told apart by its type, not by its text";
}

}  // namespace
}  // namespace quorvel::win32
