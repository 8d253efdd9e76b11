// Extended-length paths: which paths get the "\\?\" form and how they are
// cleaned first (the prefix turns off Windows' own clean-up, so a stray "..",
// "." or "/" would otherwise name another file or none). Wine does not enforce
// the 260-character limit, so these rules, not the round trips deeper than 300
// characters in the dialog and quorvel-cli tests, show it works on Windows.
#include "platform/win32/LongPath.h"
#include "tests/TestFiles.h"

#include <gtest/gtest.h>
#include <windows.h>

namespace quorvel {
namespace {

using test::U16;
using test::W;

// A folder name of n characters.
std::u16string Name(std::size_t n, char16_t c)
{
    return std::u16string(n, c);
}

TEST(ExtendedLengthPath, ShortPathsStayExactlyAsGiven)
{
    for (const std::u16string path : {u"", u"C:\\data\\file.bin", u"file.bin", u"..\\up\\file.bin",
                                      u"C:/forward/slashes.bin", u"\\\\server\\share\\file.bin", u"C:\\a\\.\\b"})
        EXPECT_EQ(ExtendedLengthPath(path), path) << W(path).c_str();
}

TEST(ExtendedLengthPath, TheClassicLimitDecides)
{
    // Full paths of 247 characters work everywhere; from 248 on the prefix is added.
    const std::u16string head = u"C:\\";
    const std::u16string fits = head + Name(kClassicPathLimit - 1 - head.size(), u'a');
    const std::u16string over = fits + u"b";
    ASSERT_EQ(fits.size(), kClassicPathLimit - 1);
    EXPECT_EQ(ExtendedLengthOfFullPath(fits), fits);
    EXPECT_EQ(ExtendedLengthOfFullPath(over), u"\\\\?\\" + over);
    EXPECT_EQ(ExtendedLengthPath(fits), fits);
    EXPECT_EQ(ExtendedLengthPath(over), u"\\\\?\\" + over);
}

TEST(ExtendedLengthPath, DrivePathsAreCleanedAndPrefixed)
{
    const std::u16string deep = u"C:\\" + Name(120, u'a') + u"\\" + Name(120, u'b') + u"\\" + Name(40, u'c');
    EXPECT_EQ(ExtendedLengthPath(deep + u"\\file.bin"), u"\\\\?\\" + deep + u"\\file.bin");
    // "." and ".." are resolved and '/' becomes '\' before the prefix, which
    // would keep them as parts of names.
    const std::u16string messy = u"C:/" + Name(120, u'a') + u"/" + Name(120, u'b') + u"/./skipped/../" +
                                 Name(40, u'c') + u"/file.bin";
    EXPECT_EQ(ExtendedLengthPath(messy), u"\\\\?\\" + deep + u"\\file.bin");
}

TEST(ExtendedLengthPath, UncPathsGetTheUncForm)
{
    const std::u16string tail = Name(130, u'a') + u"\\" + Name(130, u'b') + u"\\file.bin";
    EXPECT_EQ(ExtendedLengthPath(u"\\\\server\\share\\" + tail), u"\\\\?\\UNC\\server\\share\\" + tail);
    EXPECT_EQ(ExtendedLengthPath(u"//server/share/" + Name(130, u'a') + u"/" + Name(130, u'b') + u"/file.bin"),
              u"\\\\?\\UNC\\server\\share\\" + tail);
}

TEST(ExtendedLengthPath, RelativePathsBecomeFullFirst)
{
    const std::u16string relative = Name(150, u'r') + u"\\" + Name(150, u's') + u"\\file.bin";
    std::wstring current(::GetCurrentDirectoryW(0, nullptr), L'\0');
    current.resize(::GetCurrentDirectoryW(static_cast<DWORD>(current.size()), current.data()));
    std::u16string folder = U16(current);
    if (folder.back() != u'\\')
        folder += u'\\';
    const std::u16string expected = ExtendedLengthOfFullPath(folder + relative);
    EXPECT_EQ(expected.substr(0, 4), u"\\\\?\\");
    EXPECT_EQ(ExtendedLengthPath(relative), expected);
    EXPECT_EQ(ExtendedLengthPath(u".\\" + relative), expected);
}

TEST(ExtendedLengthPath, PathsThatSayHowToReadThemAreLeftAlone)
{
    const std::u16string tail = Name(150, u'a') + u"\\" + Name(150, u'b') + u"\\file.bin";
    for (const std::u16string& path : {u"\\\\?\\C:\\" + tail, u"\\\\?\\UNC\\server\\share\\" + tail,
                                      u"\\\\.\\C:\\" + tail, u"\\??\\C:\\" + tail, u"\\\\?\\C:\\keeps/slash\\" + tail})
        EXPECT_EQ(ExtendedLengthPath(path), path) << W(path).substr(0, 20).c_str();
}

}  // namespace
}  // namespace quorvel
