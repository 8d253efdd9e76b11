// The dialog's texts with our own number formatting: no C library printf,
// whose rounding differs from one library to the next.
#include "dialog/DisplayTexts.h"

#include "platform/FileSystem.h"
#include "platform/Text.h"

namespace quorvel {
namespace {

// printf "%*d": right-aligned in width, padded with spaces.
std::u16string PadInt(int value, int width)
{
    std::u16string digits = Ascii(std::to_string(value));
    if (static_cast<int>(digits.size()) < width)
        digits.insert(0, static_cast<size_t>(width) - digits.size(), u' ');
    return digits;
}

std::u16string Quoted(const std::u16string& name)
{
    return u"“" + name + u"”";
}

}  // namespace

std::u16string FormatClockText(const std::optional<LocalTime>& now)
{
    const LocalTime t = now.value_or(LocalTime {0, 0, 0, -1, -1, -1});
    return u"现在时间:" + PadInt(t.year, 4) + u"年" + PadInt(t.month, 2) + u"月" + PadInt(t.day, 2) + u"日" +
           PadInt(t.hour, 2) + u":" + PadInt(t.minute, 2) + u":" + PadInt(t.second, 2);
}

MessageText FormatDoneText(CipherDirection direction, int32_t ticks)
{
    const bool encipher = direction == CipherDirection::Encipher;
    MessageText message;
    message.caption = encipher ? u"加密完成" : u"解密完成";
    message.text = encipher ? u"文件加密完成,用时" : u"文件解密完成,用时";
    if (ticks == 0) {
        message.text += u"少于0.1秒";
        return message;
    }
    // "%.1f" of ticks * 0.1: for any 32-bit count the double lies within a
    // few ulps of ticks / 10, far from a rounding boundary, so tenths are exact.
    const int64_t t = ticks;
    const uint64_t magnitude = static_cast<uint64_t>(t < 0 ? -t : t);
    message.text += Ascii((t < 0 ? "-" : "") + std::to_string(magnitude / 10) + "." + std::to_string(magnitude % 10));
    message.text += u"秒";
    return message;
}

MessageText FormatUnexpectedErrorText(const std::u16string& what, bool outOfMemory)
{
    const std::u16string cause = outOfMemory ? u"内存不足" : what;
    return {u"程序内部错误：" + cause + u"。\n程序将停止处理并退出；未完成的输出文件将被删除，原文件不受影响。",
            u"程序错误"};
}

MessageText FormatFailureText(const JobOutcome& outcome, const std::u16string& sourceName)
{
    const std::u16string reason =
        FileErrorText(outcome.file, TextLanguage::Chinese, SystemErrorText(outcome.file.systemCode));
    switch (outcome.status) {
    case JobStatus::OpenSourceFailed:
        if (outcome.file.error == FileError::NotFound)
            return {u"文件不存在", u"打开文件错误"};
        return {u"无法打开文件" + Quoted(sourceName) + u"：" + reason + u"。", u"打开文件错误"};
    case JobStatus::CreateOutputFailed:
        return {u"无法创建文件" + Quoted(outcome.outputName) + u"：" + reason + u"。", u"创建文件错误"};
    case JobStatus::ReadFailed:
        return {u"读取文件" + Quoted(sourceName) + u"失败：" + reason + u"。未生成输出文件。", u"读取文件错误"};
    case JobStatus::WriteFailed:
        return {u"写入文件" + Quoted(outcome.outputName) + u"失败：" + reason + u"。未生成输出文件。",
                u"写入文件错误"};
    case JobStatus::NotDurable:
        return {u"文件" + Quoted(outcome.outputName) + u"已生成，但无法确认已保存到磁盘：" + reason +
                    u"。断电后该文件可能丢失，请勿删除原文件。",
                u"写入文件错误"};
    case JobStatus::NoThread:
        return {u"系统无法启动处理线程，文件未被处理。请关闭一些程序后再试。", u"系统资源不足"};
    case JobStatus::Busy:
        return {u"上一个任务尚未结束，请稍后再试。", u"任务进行中"};
    case JobStatus::Succeeded:
    case JobStatus::Cancelled:
        break;
    }
    return {};
}

}  // namespace quorvel
