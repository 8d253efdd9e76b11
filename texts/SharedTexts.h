// The texts both programs show: why a file failed, in the dialog's Chinese
// and the command line's English; the size of a file; the password's
// minimum. Portable, and identical in every build: no C library printf.
#pragma once

#include "platform/FileStatus.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace quorvel {

// "1023Byte", "1.000KB", "1.500MB", "4.000GB": binary units, the value rounded
// once to single precision, then to three decimals with ties away from zero.
std::u16string FormatSizeText(uint64_t size);

enum class TextLanguage { Chinese, English };

// Short reason for a file error: "磁盘空间不足" for the dialog, "no space left
// on the disk" for the command line. An error without a name of its own is
// told by its code and systemWords, the system's words for that code
// (SystemErrorText), which the caller asks for: the texts ask the system
// nothing.
std::u16string FileErrorText(const FileStatus& status, TextLanguage language, std::u16string_view systemWords);

// Minimum password length in UTF-16 code units, and what is said below it.
constexpr uint32_t kMinPasswordLength = 6;
inline constexpr char16_t kPasswordTooShortText[] = u"密码输入长度小于6，请重新输入密码！";

}  // namespace quorvel
