// The command line's pieces in-process: argument parsing and its usage errors,
// the password line, the progress texts.
#include "cli/CommandLine.h"
#include "cli/Progress.h"
#include "cli/Run.h"

#include <gtest/gtest.h>

namespace quorvel::cli {
namespace {

TEST(CliParse, EveryOptionReachesItsField)
{
    const ParseResult r = ParseCommandLine({"decipher", "--password-file", "pw.txt", "-o", "out", "-f", "-q", "a",
                                            "b c", "\xE8\xB5\x84\xE6\x96\x99"});
    ASSERT_FALSE(r.exitCode) << r.err;
    const CliOptions& o = r.options;
    EXPECT_EQ(o.direction, CipherDirection::Decipher);
    EXPECT_EQ(o.files, (std::vector<std::u16string> {u"a", u"b c", u"资料"}));
    EXPECT_EQ(o.passwordFile, std::optional<std::u16string>(u"pw.txt"));
    EXPECT_FALSE(o.passwordStdin);
    EXPECT_EQ(o.outputDir, std::optional<std::u16string>(u"out"));
    EXPECT_TRUE(o.force);
    EXPECT_TRUE(o.quiet);

    const ParseResult plain = ParseCommandLine({"encipher", "--password-stdin", "--", "-f"});
    ASSERT_FALSE(plain.exitCode) << plain.err;
    EXPECT_EQ(plain.options.direction, CipherDirection::Encipher);
    EXPECT_EQ(plain.options.files, (std::vector<std::u16string> {u"-f"}));  // after "--", a file name
    EXPECT_TRUE(plain.options.passwordStdin);
    EXPECT_FALSE(plain.options.passwordFile);
    EXPECT_FALSE(plain.options.outputDir);
    EXPECT_FALSE(plain.options.force);
    EXPECT_FALSE(plain.options.quiet);
}

TEST(CliParse, UsageErrorsExitWithTwoAndSayWhy)
{
    const std::vector<std::vector<std::string>> bad = {
        {},
        {"encipher"},
        {"scramble", "a"},
        {"encipher", "--bogus", "a"},
        {"encipher", "--password-file", "p", "--password-stdin", "a"},
        {"encipher", "a", "-o"},
        {"encipher", "--password-file"},
        {"decipher", "-o", "", "a"},
        {"decipher", ""},
    };
    for (const auto& args : bad) {
        SCOPED_TRACE(testing::PrintToString(args));
        const ParseResult r = ParseCommandLine(args);
        ASSERT_TRUE(r.exitCode);
        EXPECT_EQ(*r.exitCode, kExitUsage);
        EXPECT_NE(r.err.find("quorvel-cli: "), std::string::npos);
        EXPECT_TRUE(r.out.empty());
    }
}

TEST(CliParse, HelpAndVersionExitWithZero)
{
    for (const auto& args : std::vector<std::vector<std::string>> {{"--help"}, {"-h"}, {"encipher", "--help"}}) {
        const ParseResult r = ParseCommandLine(args);
        ASSERT_TRUE(r.exitCode);
        EXPECT_EQ(*r.exitCode, kExitOk);
        EXPECT_NE(r.out.find("Usage"), std::string::npos);
    }
    EXPECT_NE(ParseCommandLine({"encipher", "--help"}).out.find("--password-file"), std::string::npos);
    const ParseResult version = ParseCommandLine({"--version"});
    ASSERT_TRUE(version.exitCode);
    EXPECT_EQ(*version.exitCode, kExitOk);
    EXPECT_EQ(version.out.rfind("quorvel-cli ", 0), 0u);
}

TEST(CliPassword, FirstLineWithoutItsLineEnd)
{
    EXPECT_EQ(PasswordFromBytes("secret\n"), u"secret");
    EXPECT_EQ(PasswordFromBytes("secret\r\nsecond line\n"), u"secret");
    EXPECT_EQ(PasswordFromBytes("secret"), u"secret");
    EXPECT_EQ(PasswordFromBytes("secret\r"), u"secret\r");  // a lone CR is no line end
    EXPECT_EQ(PasswordFromBytes(" two words \n"), u" two words ");
    EXPECT_EQ(PasswordFromBytes("\nsecret\n"), u"");
    EXPECT_EQ(PasswordFromBytes("\xEF\xBB\xBF\xE5\xAF\x86\xE7\xA0\x81\xF0\x9F\x94\x91\r\n"), u"密码\U0001F511");
    EXPECT_EQ(PasswordFromBytes("\xFFpass\n"), u"\xDCFFpass");  // not UTF-8: kept byte for byte
}

TEST(CliProgress, DurationsAndLines)
{
    const std::pair<uint64_t, std::u16string> durations[] = {
        {0, u"0:00"}, {9, u"0:09"}, {59, u"0:59"}, {60, u"1:00"}, {3599, u"59:59"}, {3600, u"1:00:00"}, {90061, u"25:01:01"},
    };
    for (const auto& [seconds, text] : durations)
        EXPECT_EQ(FormatDuration(seconds), text);

    EXPECT_EQ(FormatProgressLine(u"empty", 0, 0, 0.0), u"empty  100%  0Byte of 0Byte");
    EXPECT_EQ(FormatProgressLine(u"a.bin", 1 << 20, 4 << 20, 0.1), u"a.bin  25%  1.000MB of 4.000MB");
    EXPECT_EQ(FormatProgressLine(u"a.bin", 512ull << 20, 1ull << 30, 1.0),
              u"a.bin  50%  512.000MB of 1.000GB  512.000MB/s  0:01 left");
    EXPECT_EQ(FormatProgressLine(u"a.bin", 1 << 20, 601ull << 20, 1.0),
              u"a.bin  0%  1.000MB of 601.000MB  1.000MB/s  10:00 left");
    EXPECT_EQ(FormatFinishedLine(u"a.bin", 3ull << 30, 2.44), u"a.bin  100%  3.000GB  2.4 s");
}

TEST(CliProgress, LongNamesKeepTheirEndAndWholeCharacters)
{
    EXPECT_EQ(ShortName(u"short.txt", 28), u"short.txt");
    EXPECT_EQ(ShortName(u"0123456789abcdef", 8), u"\u20269abcdef");
    // Cutting would split the key emoji's surrogate pair: the cut moves past it.
    EXPECT_EQ(ShortName(u"abcd\U0001F511xyz", 5), u"\u2026xyz");
    EXPECT_EQ(ShortName(u"abcd\U0001F511xyz", 6), u"\u2026\U0001F511xyz");
}

}  // namespace
}  // namespace quorvel::cli
