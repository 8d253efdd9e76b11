// The command line's pieces in-process: argument parsing and its usage errors,
// the password line, the progress texts, a console closed mid-run.
#include "cli/CommandLine.h"
#include "cli/Progress.h"
#include "cli/Password.h"
#include "platform/Terminal.h"
#include "tests/TimeScale.h"

#include <gtest/gtest.h>

#include <tuple>

#ifdef _WIN32
#include <windows.h>

#include <cstdio>
#endif

namespace quorvel::cli {
namespace {

TEST(CliParse, EveryOptionReachesItsField)
{
    const ParseResult r = ParseCommandLine({"decipher", "--password-file", "pw.txt", "-o", "out", "-f", "-q", "--rm",
                                            "a", "b c", "\xE8\xB5\x84\xE6\x96\x99"});
    ASSERT_FALSE(r.exitCode) << r.err;
    const CliOptions& o = r.options;
    EXPECT_EQ(o.direction, CipherDirection::Decipher);
    EXPECT_EQ(o.files, (std::vector<std::u16string> {u"a", u"b c", u"资料"}));
    EXPECT_EQ(o.passwordFile, std::optional<std::u16string>(u"pw.txt"));
    EXPECT_FALSE(o.passwordStdin);
    EXPECT_EQ(o.outputDir, std::optional<std::u16string>(u"out"));
    EXPECT_EQ(std::tie(o.force, o.quiet, o.removeSources), std::tuple(true, true, true));

    const ParseResult plain = ParseCommandLine({"encipher", "--password-stdin", "--", "-f"});
    ASSERT_FALSE(plain.exitCode) << plain.err;
    EXPECT_EQ(plain.options.direction, CipherDirection::Encipher);
    EXPECT_EQ(plain.options.files, (std::vector<std::u16string> {u"-f"}));  // after "--", a file name
    EXPECT_TRUE(plain.options.passwordStdin);
    EXPECT_FALSE(plain.options.passwordFile || plain.options.outputDir);
    EXPECT_EQ(std::tie(plain.options.force, plain.options.quiet, plain.options.removeSources),
              std::tuple(false, false, false));
}

TEST(CliParse, StandardInputStandardOutputAndTheEndOfOptions)
{
    const struct {
        std::vector<std::string> args;
        std::vector<std::u16string> files;
        bool toStdout;
    } cases[] = {
        {{"encipher", "-"}, {u"-"}, false},
        {{"decipher", "-c", "a", "-"}, {u"a", u"-"}, true},
        {{"encipher", "--stdout", "-fq", "a"}, {u"a"}, true},
        // After "--" every word is a file, also after files were given; "-"
        // stays standard input.
        {{"encipher", "a", "b", "--", "-dash", "--", "-c"}, {u"a", u"b", u"-dash", u"--", u"-c"}, false},
        {{"decipher", "--", "-"}, {u"-"}, false},
        // Words CLI11 gives a meaning of its own: the command names, "++".
        {{"decipher", "++", "decipher", "encipher"}, {u"++", u"decipher", u"encipher"}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.args));
        const ParseResult r = ParseCommandLine(c.args);
        ASSERT_FALSE(r.exitCode) << r.err;
        EXPECT_EQ(r.options.files, c.files);
        EXPECT_EQ(r.options.toStdout, c.toStdout);
    }
}

TEST(CliParse, UsageErrorsNameTheWordTheyRefuse)
{
    const struct {
        std::vector<std::string> args;
        std::string said;
    } cases[] = {
        {{}, "a command is required: encipher or decipher"},
        {{"encrypt", "f"}, "unknown command 'encrypt' (encipher or decipher)"},
        {{"-V"}, "unknown option '-V'"},
        {{"-f", "encipher", "a"}, "the option '-f' goes after the command"},
        {{"x1", "x2", "x3", "encipher", "f"}, "unexpected words before the command encipher: 'x1' 'x2' 'x3'"},
        {{"--", "encipher", "a"}, "'--' goes after the command"},
        {{"encipher", "-dash"}, "unknown option '-dash' (a file of that name: quorvel-cli encipher -- -dash, or ./-dash)"},
        {{"decipher", "a", "--bogus", "b"}, "unknown option '--bogus'"},
        {{"encipher"}, "no FILE given"},
        {{"encipher", "-q", "--"}, "no FILE given"},
        {{"encipher", "-", "a", "--", "-"}, "- (standard input) is given more than once"},
        {{"encipher", "--password-stdin", "-"}, "use --password-file, or leave both out to type it at the prompt"},
        {{"encipher", "--password-file", "p", "--password-stdin", "a"}, "--password-file and --password-stdin cannot both"},
        {{"encipher", "-c", "-o", "d", "a"}, "-c (standard output) and -o (a folder) cannot both"},
        {{"encipher", "--rm", "-c", "a"}, "--rm removes each FILE once its output is on the disk, and -c sends"},
        {{"decipher", "a", "-", "--rm"}, "- reads standard input, which is no file to remove: leave out --rm"},
        {{"encipher", "a", "-o"}, "--output-dir needs a value (DIR)"},
        {{"encipher", "--password-file"}, "--password-file needs a value (PATH)"},
        {{"encipher", "-o", "x", "-o", "y", "a"}, "--output-dir is given more than once"},
        {{"encipher", "--output-dir=", "a"}, "no value after '--output-dir='"},  // not "a" as the folder
        {{"decipher", "-o", "", "a"}, "an empty path"},
        {{"decipher", ""}, "an empty path"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.args));
        const ParseResult r = ParseCommandLine(c.args);
        ASSERT_TRUE(r.exitCode);
        EXPECT_EQ(*r.exitCode, kExitUsage);
        EXPECT_EQ(r.err.rfind("quorvel-cli: ", 0), 0u) << r.err;
        EXPECT_NE(r.err.find(c.said), std::string::npos) << r.err;
        EXPECT_NE(r.err.find("--help' for the options.\n"), std::string::npos) << r.err;
        EXPECT_TRUE(r.out.empty());
    }
}

TEST(CliParse, HelpAndVersionExitWithZero)
{
    const auto help = [](const std::vector<std::string>& args) {
        const ParseResult r = ParseCommandLine(args);
        EXPECT_EQ(r.exitCode, std::optional<int>(kExitOk));
        EXPECT_TRUE(r.err.empty());
        // Fits a terminal of 80 columns.
        for (size_t start = 0, end; start < r.out.size(); start = end + 1) {
            end = r.out.find('\n', start);
            EXPECT_LE(end - start, 79u) << r.out.substr(start, end - start);
        }
        return r.out;
    };
    const std::string top = help({"--help"});
    EXPECT_EQ(top, help({"-h"}));
    EXPECT_EQ(top, help({"--help", "encipher"}));
    for (const char* item : {"\n  encipher ", "\n  decipher ", "\n  -  ", "\n  --  ", "Exit status", "141"})
        EXPECT_NE(top.find(item), std::string::npos) << item;

    for (const std::string command : {"encipher", "decipher"}) {
        SCOPED_TRACE(command);
        const std::string own = help({command, "--help"});
        EXPECT_EQ(own, help({command, "a", "-h", "b"}));
        EXPECT_EQ(own.find("Usage: quorvel-cli " + command + " [OPTIONS] FILE..."), own.find("Usage"));
        for (const char* option : {"-h, --help", "--password-file PATH", "--password-stdin", "-o, --output-dir DIR",
                                   "-c, --stdout", "-f, --force", "-q, --quiet"})
            EXPECT_NE(own.find("\n  " + std::string(option) + " "), std::string::npos) << option;
        EXPECT_NE(own.find("Examples:\n  quorvel-cli " + command + " "), std::string::npos);
    }
    // After "--", --help is a file.
    EXPECT_FALSE(ParseCommandLine({"encipher", "--", "--help"}).exitCode);

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
    // The run's total: one file, all of several, and some of them.
    EXPECT_EQ(FormatRunLine(1, 1, 0.04), u"1 file done in 0.0 s, the wait for the disk included");
    EXPECT_EQ(FormatRunLine(3, 3, 1.63), u"3 files done in 1.6 s, the wait for the disk included");
    EXPECT_EQ(FormatRunLine(0, 1, 0.25), u"0 of 1 file done in 0.3 s, the wait for the disk included");
    EXPECT_EQ(FormatRunLine(2, 3, 12.0), u"2 of 3 files done in 12.0 s, the wait for the disk included");
}

TEST(CliProgress, LongNamesKeepTheirEndAndWholeCharacters)
{
    EXPECT_EQ(ShortName(u"short.txt", 28), u"short.txt");
    EXPECT_EQ(ShortName(u"0123456789abcdef", 8), u"\u20269abcdef");
    // Cutting would split the key emoji's surrogate pair: the cut moves past it.
    EXPECT_EQ(ShortName(u"abcd\U0001F511xyz", 5), u"\u2026xyz");
    EXPECT_EQ(ShortName(u"abcd\U0001F511xyz", 6), u"\u2026\U0001F511xyz");
}

#ifdef _WIN32
// Windows ends the process when its handler of a console's close returns: the
// handler holds the close until the run has removed what it must, no longer.
// The close comes as the console sends it, through kernel32's control routine
// on a thread of its own, in a child process (the close stays its interruption).
TEST(CliConsole, ACloseWaitsForTheCleanUpAndNoLonger)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const auto closeMidRun = [] {
        InstallInterruptHandlers();
        const auto control = reinterpret_cast<LPTHREAD_START_ROUTINE>(
            reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "CtrlRoutine")));
        const HANDLE close = ::CreateThread(nullptr, 0, control, reinterpret_cast<void*>(CTRL_CLOSE_EVENT), 0, nullptr);
        // Longer than a fixed pause would last, within the 5 s Windows allows.
        const bool held = ::WaitForSingleObject(close, 3000) == WAIT_TIMEOUT;
        CleanupFinished();
        const bool let = ::WaitForSingleObject(close, 1000 * test::TimeScale()) == WAIT_OBJECT_0;
        std::fprintf(stderr, "held %d, let go %d, signal %d\n", held, let, InterruptSignal());
        std::_Exit(held && let && InterruptSignal() == 1 ? 0 : 1);
    };
    EXPECT_EXIT(closeMidRun(), testing::ExitedWithCode(0), "");
}
#endif

}  // namespace
}  // namespace quorvel::cli
