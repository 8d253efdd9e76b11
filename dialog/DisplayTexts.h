// Every text the dialog shows that depends on a number or an outcome: the size
// of a file, the clock line, the completion and failure messages. Pure
// functions on UTF-16 strings, identical in every build: no C library printf.
#pragma once

#include "cipher/CipherJob.h"
#include "platform/Clock.h"

#include <cstdint>
#include <optional>
#include <string>

namespace quorvel {

// A message box's text and caption.
struct MessageText {
    std::u16string text;
    std::u16string caption;
};

// "1023Byte", "1.000KB", "1.500MB", "4.000GB": binary units, the value rounded
// once to single precision, then to three decimals with ties away from zero.
std::u16string FormatSizeText(uint64_t size);

// "现在时间:2012年 4月19日 9: 5: 7"; with no local time, 0 for the date and -1
// for the time of day.
std::u16string FormatClockText(const std::optional<LocalTime>& now);

// The completion box of a finished job after ticks 100 ms ticks.
MessageText FormatDoneText(CipherDirection direction, int32_t ticks);

// The box for a job that ended in a failure; sourceName is the picked file's
// bare name. Not for Succeeded or Cancelled.
MessageText FormatFailureText(const JobOutcome& outcome, const std::u16string& sourceName);

enum class TextLanguage { Chinese, English };

// The box for a fault of the program itself (what names it), after which the
// dialog stops its jobs and ends.
MessageText FormatUnexpectedErrorText(const std::u16string& what);

// Short reason for a file error: "磁盘空间不足" for the dialog, "no space left
// on the disk" for the command line.
std::u16string FileErrorText(const FileStatus& status, TextLanguage language = TextLanguage::Chinese);

// Fixed texts of the dialog.
inline constexpr char16_t kPasswordTooShortText[] = u"密码输入长度小于6，请重新输入密码！";
inline constexpr char16_t kPasswordTooShortCaption[] = u"密码输入长度错误";
inline constexpr char16_t kCloseWhileRunningText[] =
    u"文件仍在处理中。确定要停止处理并退出吗？\n未完成的输出文件将被删除，原文件不受影响。";
inline constexpr char16_t kCloseWhileRunningCaption[] = u"退出确认";

// Minimum password length in UTF-16 code units.
constexpr uint32_t kMinPasswordLength = 6;

}  // namespace quorvel
