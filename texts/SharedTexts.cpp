// The shared texts with our own number formatting. The C libraries disagree
// on how "%.3f" rounds an exact tie (glibc and mingw to even, msvcrt away
// from zero), so the decimal conversion is done here with integer arithmetic.
#include "texts/SharedTexts.h"

#include "platform/Text.h"
#include "texts/Catalogue.h"

#include <bit>

namespace quorvel {
namespace {

// Thousandths of size * 2^-shift after rounding the quotient to a 24-bit
// significand (ties to even, as a float conversion does), then to the nearest
// thousandth with ties away from zero.
uint64_t RoundedThousandths(uint64_t size, int shift)
{
    const int bits = 64 - std::countl_zero(size);
    uint64_t significand = size;
    int exponent = 0;
    if (bits > 24) {
        exponent = bits - 24;
        significand = size >> exponent;
        const uint64_t rest = size & ((uint64_t {1} << exponent) - 1);
        const uint64_t half = uint64_t {1} << (exponent - 1);
        if (rest > half || (rest == half && (significand & 1)))
            ++significand;
        if (significand == (uint64_t {1} << 24)) {
            significand >>= 1;
            ++exponent;
        }
    }
    // value = significand * 2^(exponent - shift); significand * 1000 < 2^34.
    const uint64_t scaled = significand * 1000;
    const int down = shift - exponent;
    if (down <= 0)
        return scaled << -down;
    const uint64_t whole = scaled >> down;
    const uint64_t rest = scaled & ((uint64_t {1} << down) - 1);
    return rest >= (uint64_t {1} << (down - 1)) ? whole + 1 : whole;
}

// Each reason in the dialog's Chinese and the command line's English, side by
// side; the English is the command line's message id (N_).
struct Reason {
    FileError error;
    const char16_t* chinese;
    const char16_t* english;
};

constexpr Reason kReasons[] = {
    {FileError::NotFound, u"文件或文件夹不存在", N_(u"no such file or folder")},
    {FileError::AccessDenied, u"没有访问权限", N_(u"permission denied")},
    {FileError::InUse, u"文件正被其他程序使用", N_(u"in use by another program")},
    {FileError::DiskFull, u"磁盘空间不足", N_(u"no space left on the disk")},
    {FileError::TooLarge, u"文件太大，此文件系统存放不下", N_(u"too large for this file system")},
    {FileError::DiskError, u"磁盘读写出错", N_(u"the disk reported an input/output error")},
    {FileError::Truncated, u"文件在处理过程中变短了", N_(u"the file became shorter while it was read")},
    {FileError::Grew, u"文件在处理过程中变长了", N_(u"the file grew while it was read")},
    {FileError::SizeUnknown, u"无法预知文件大小（这是系统文件，不是普通文件）",
     N_(u"its size is not known in advance (a system file, not an ordinary file)")},
    {FileError::Exists, u"同名文件已存在", N_(u"a file of that name already exists")},
    {FileError::IsFolder, u"这是一个文件夹", N_(u"is a folder")},
    {FileError::IsPipe, u"这是一个管道，不是普通文件", N_(u"is a pipe, not an ordinary file")},
    {FileError::IsDevice, u"这是一个设备，不是普通文件", N_(u"is a device, not an ordinary file")},
    {FileError::NotRegular, u"不是普通文件", N_(u"is not an ordinary file")},
    {FileError::NameTooLong, u"文件名太长", N_(u"file name too long")},
    {FileError::NoTemporaryName, u"文件夹中没有可用的临时文件名", N_(u"no free name for a temporary file in the folder")},
    {FileError::Interrupted, u"操作被中断", N_(u"interrupted")},
};

}  // namespace

std::u16string FormatSizeText(uint64_t size)
{
    if (size < 1024)
        return Ascii(std::to_string(size)) + u"Byte";
    int shift = 10;
    const char16_t* unit = u"KB";
    if (size >= (uint64_t {1} << 30)) {
        shift = 30;
        unit = u"GB";
    } else if (size >= (uint64_t {1} << 20)) {
        shift = 20;
        unit = u"MB";
    }
    const uint64_t thousandths = RoundedThousandths(size, shift);
    std::string fraction = std::to_string(thousandths % 1000);
    fraction.insert(0, 3 - fraction.size(), '0');
    return Ascii(std::to_string(thousandths / 1000) + "." + fraction) + unit;
}

std::u16string FileErrorText(const FileStatus& status, TextLanguage language, std::u16string_view systemWords)
{
    for (const Reason& reason : kReasons) {
        if (reason.error == status.error)
            return language == TextLanguage::Chinese ? reason.chinese : reason.english;
    }
    // The system's own words, and the code for whoever has to look it up.
    const std::u16string code = Ascii(std::to_string(status.systemCode));
    const std::u16string words = status.systemCode != 0 ? std::u16string(systemWords) : std::u16string();
    if (language == TextLanguage::Chinese)
        return words.empty() ? u"系统错误（代码 " + code + u"）" : u"系统错误：" + words + u"（代码 " + code + u"）";
    return words.empty() ? u"system error " + code : words + u" (system error " + code + u")";
}

}  // namespace quorvel
