// The message map: which row a message reaches and how its parameters arrive
// in the typed handler. A wrong unpacking here would show up as a dead button,
// a clock that never ticks or Escape that does not close.
#include "platform/win32/Dialog.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quorvel::win32 {
namespace {

class Recorder {
public:
    using Entry = MessageEntry<Recorder>;

    static constexpr auto MessageMap()
    {
        return std::array {
            Entry {WM_COMMAND, 1000, BN_CLICKED, &Recorder::OnFirstButton},
            Entry {WM_COMMAND, 1001, BN_CLICKED, &Recorder::OnSecondButton},
            Entry {WM_TIMER, 0, 0, &Recorder::OnTimer},
            Entry {WM_TIMER, 0, 0, &Recorder::OnTimerAgain},
            Entry {WM_CHAR, 0, 0, &Recorder::OnChar},
            Entry {WM_SYSCOMMAND, 0, 0, &Recorder::OnSysCommand},
            Entry {kAnyCtlColor, 0, 0, &Recorder::OnCtlColor},
            Entry {WM_QUERYDRAGICON, 0, 0, &Recorder::OnQueryDragIcon},
            Entry {0x0500, 0, 0, &Recorder::OnPrivate},
        };
    }

    void OnFirstButton() { log.push_back("first"); }
    void OnSecondButton() { log.push_back("second"); }
    void OnTimer(UINT_PTR id) { log.push_back("timer " + std::to_string(id)); }
    void OnTimerAgain(UINT_PTR) { log.push_back("timer again"); }
    void OnChar(UINT character, UINT repeat, UINT flags)
    {
        log.push_back("char " + std::to_string(character) + " " + std::to_string(repeat) + " " + std::to_string(flags));
    }
    void OnSysCommand(UINT id, LPARAM) { log.push_back("syscommand " + std::to_string(id)); }
    HBRUSH OnCtlColor(HDC dc, HWND control, UINT type)
    {
        log.push_back("ctlcolor " + std::to_string(type));
        lastDc = dc;
        lastControl = control;
        return brush;
    }
    HCURSOR OnQueryDragIcon() { return icon; }
    LRESULT OnPrivate(WPARAM wParam, LPARAM lParam)
    {
        log.push_back("private " + std::to_string(wParam) + " " + std::to_string(lParam));
        return 77;
    }

    std::vector<std::string> log;
    HDC lastDc = nullptr;
    HWND lastControl = nullptr;
    HBRUSH brush = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(0x1234));
    HCURSOR icon = reinterpret_cast<HCURSOR>(static_cast<INT_PTR>(0x5678));
};

std::optional<LRESULT> Send(Recorder& r, UINT message, WPARAM wParam = 0, LPARAM lParam = 0)
{
    return DispatchMessageMap(r, Recorder::MessageMap(), Message {message, wParam, lParam});
}

TEST(MessageMap, CommandsReachTheirButtonOnlyForTheMappedNotification)
{
    Recorder r;
    EXPECT_TRUE(Send(r, WM_COMMAND, MAKEWPARAM(1001, BN_CLICKED)));
    EXPECT_TRUE(Send(r, WM_COMMAND, MAKEWPARAM(1000, BN_CLICKED)));
    EXPECT_FALSE(Send(r, WM_COMMAND, MAKEWPARAM(1000, BN_SETFOCUS)));
    EXPECT_FALSE(Send(r, WM_COMMAND, MAKEWPARAM(1002, BN_CLICKED)));
    // OK and Cancel are not in this map: the dialog's standard handling gets them.
    EXPECT_FALSE(Send(r, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED)));
    EXPECT_EQ(r.log, (std::vector<std::string> {"second", "first"}));
}

TEST(MessageMap, TheFirstMatchingRowWinsAndUnmappedMessagesAreLeftToTheDefault)
{
    Recorder r;
    EXPECT_FALSE(Send(r, WM_SIZE, 0, MAKELPARAM(10, 10)));
    EXPECT_FALSE(Send(r, WM_PAINT));
    EXPECT_TRUE(r.log.empty());
    EXPECT_EQ(Send(r, WM_TIMER, 3), LRESULT {0});
    EXPECT_EQ(r.log, (std::vector<std::string> {"timer 3"}));
}

TEST(MessageMap, ParametersAreUnpackedForTheHandler)
{
    Recorder r;
    Send(r, WM_CHAR, 27, MAKELPARAM(2, 0x0001));
    Send(r, WM_SYSCOMMAND, 0x0010, MAKELPARAM(100, 200));
    EXPECT_EQ(Send(r, 0x0500, 2, 0), LRESULT {77});
    EXPECT_EQ(r.log, (std::vector<std::string> {"char 27 2 1", "syscommand 16", "private 2 0"}));
}

// A handle a handler returns (a brush, an icon) is the message's result.
TEST(MessageMap, EveryControlColourMessageReachesOneHandlerWithItsType)
{
    Recorder r;
    const HDC dc = reinterpret_cast<HDC>(static_cast<INT_PTR>(0x40));
    const HWND control = reinterpret_cast<HWND>(static_cast<INT_PTR>(0x80));
    EXPECT_EQ(Send(r, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(control)),
              reinterpret_cast<LRESULT>(r.brush));
    EXPECT_EQ(r.lastDc, dc);
    EXPECT_EQ(r.lastControl, control);
    Send(r, WM_CTLCOLOREDIT);
    Send(r, WM_CTLCOLORDLG);
    EXPECT_EQ(r.log, (std::vector<std::string> {"ctlcolor 6", "ctlcolor 1", "ctlcolor 4"}));
    EXPECT_EQ(CTLCOLOR_STATIC, 6);
    EXPECT_EQ(CTLCOLOR_EDIT, 1);
    EXPECT_EQ(Send(r, WM_QUERYDRAGICON), reinterpret_cast<LRESULT>(r.icon));
}

}  // namespace
}  // namespace quorvel::win32
