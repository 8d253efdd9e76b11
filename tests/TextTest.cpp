// UTF-8 <-> UTF-16 at the POSIX and terminal boundaries: exact for valid text,
// and lossless for byte strings that are not UTF-8 (file names may be anything).
#include "platform/Text.h"

#include <gtest/gtest.h>

#include <random>

namespace quorvel {
namespace {

TEST(Utf, ValidTextConvertsBothWaysAndInvalidBytesComeBack)
{
    EXPECT_EQ(Utf8ToUtf16("abc"), u"abc");
    EXPECT_EQ(Utf8ToUtf16("密码"), u"密码");
    EXPECT_EQ(Utf8ToUtf16("\xF0\x9F\x98\x80"), u"\U0001F600");
    EXPECT_EQ(Utf16ToUtf8(u"\u00e9\u20ac\U0001F600"), "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80");
    // Bytes that are not UTF-8 become escapes, and come back.
    const std::string cases[] = {"\xFF", "a\x80z", "\xC0\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xE2\x82"};
    for (const std::string& bytes : cases) {
        const std::u16string wide = Utf8ToUtf16(bytes);
        EXPECT_EQ(Utf16ToUtf8(wide), bytes);
    }
    EXPECT_EQ(Utf8ToUtf16("\xFF"), std::u16string(1, char16_t {0xDCFF}));
}

TEST(Utf, RandomByteStringsRoundTrip)
{
    std::mt19937 rng(77);
    for (int i = 0; i < 20000; ++i) {
        std::string bytes(rng() % 12, '\0');
        for (char& c : bytes)
            c = static_cast<char>(rng() % 4 == 0 ? 0xC0 + rng() % 0x38 : rng());
        ASSERT_EQ(Utf16ToUtf8(Utf8ToUtf16(bytes)), bytes) << i;
    }
}

}  // namespace
}  // namespace quorvel
