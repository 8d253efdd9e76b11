// Every text the dialog shows that depends on a number or an outcome, beyond
// the shared ones (texts/SharedTexts.h): the clock line, the completion and
// failure messages. Functions on UTF-16 strings, identical in every build but
// for the system's own words for an error that has no name of its own.
#pragma once

#include "cipher/CipherJob.h"
#include "platform/Clock.h"
#include "texts/SharedTexts.h"

#include <cstdint>
#include <optional>
#include <string>

namespace quorvel {

// A message box's text and caption.
struct MessageText {
    std::u16string text;
    std::u16string caption;
};

// "现在时间:2012年 4月19日 9: 5: 7"; with no local time, 0 for the date and -1
// for the time of day.
std::u16string FormatClockText(const std::optional<LocalTime>& now);

// The completion box of a finished job after ticks 100 ms ticks.
MessageText FormatDoneText(CipherDirection direction, int32_t ticks);

// The box for a job that ended in a failure; sourceName is the picked file's
// bare name. Not for Succeeded or Cancelled.
MessageText FormatFailureText(const JobOutcome& outcome, const std::u16string& sourceName);

// The box for a fault of the program itself (what names it; running out of
// memory gets words of its own), after which the dialog stops its jobs and ends.
MessageText FormatUnexpectedErrorText(const std::u16string& what, bool outOfMemory);

// Fixed texts of the dialog.
inline constexpr char16_t kPasswordTooShortCaption[] = u"密码输入长度错误";
inline constexpr char16_t kCloseWhileRunningText[] =
    u"文件仍在处理中。确定要停止处理并退出吗？\n未完成的输出文件将被删除，原文件不受影响。";
inline constexpr char16_t kCloseWhileRunningCaption[] = u"退出确认";

}  // namespace quorvel
