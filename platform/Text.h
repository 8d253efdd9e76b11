// UTF-8 <-> UTF-16 conversion for the places where the outside world speaks
// UTF-8 (POSIX file names, terminal input). Lossless for any byte string: a
// byte that is not part of valid UTF-8 becomes the lone surrogate 0xDC00 + byte
// and turns back into that byte, so odd file names still reach the right file.
#pragma once

#include <string>
#include <string_view>

namespace quorvel {

std::u16string Utf8ToUtf16(std::string_view text);
std::string Utf16ToUtf8(std::u16string_view text);

// Widens text known to be ASCII (digits, fixed English words) unit by unit.
std::u16string Ascii(std::string_view text);

}  // namespace quorvel
