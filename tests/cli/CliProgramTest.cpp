// quorvel-cli run as users run it, as a child process: round trips whose bytes
// match the format's reference, the password sources, usage errors, refusals to
// overwrite, failing files among good ones, and the exit codes.
#include "RunProgram.h"
#include "tests/CipherReference.h"
#include "tests/TestFiles.h"

#include "cli/Password.h"
#include "platform/FileNames.h"
#include "platform/Text.h"

#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#endif

namespace quorvel {
namespace {

using test::ReadFile;
using test::ScratchDir;
using test::U16;
using test::WriteFile;

#ifdef _WIN32
const std::string kSep = "\\";  // what the program appends to a folder given without one
#else
const std::string kSep = "/";
#endif

std::vector<uint8_t> Bytes(const std::string& text)
{
    return {text.begin(), text.end()};
}

test::ProgramResult Cli(const ScratchDir& dir, std::vector<std::u16string> args, const std::string& input = {})
{
    return test::RunProgram(test::CliPath(), args, input, dir.Path());
}

// What the format makes of the file at source.
std::vector<uint8_t> Reference(CipherDirection direction, const std::u16string& password,
                               const std::filesystem::path& source)
{
    return test::ReferenceFile(direction, password, ReadFile(source));
}

// A scratch folder whose file pw holds the password "secret7".
struct PasswordDir : ScratchDir {
    PasswordDir() { WriteFile(*this / u"pw", Bytes("secret7\n")); }
};

class CliProgram : public testing::Test {
protected:
    void SetUp() override
    {
        if (test::CliPath().empty())
            FAIL() << "QUORVEL_CLI must name the program under test (ctest sets it)";
    }
};

TEST_F(CliProgram, RoundTripsGiveTheCoresBytesForEverySizeAndPassword)
{
    const size_t sizes[] = {0, 1, 5, 0x3FFFF, 0x40000, 0x40001, 3 * 0x40000 + 77};
    // UTF-8 in the file; the key is made from the UTF-16 code units.
    const std::pair<std::string, std::u16string> passwords[] = {
        {"mqzvtrk\n", u"mqzvtrk"},
        {"\xE5\xAF\x86\xE7\xA0\x81\xE6\x98\xAF\xE7\xA7\x98\xE5\xAF\x86\xE7\x9A\x84\r\n", u"密码是秘密的"},
        {"\xF0\x9F\x94\x91\xF0\x9F\x94\x92key", u"\U0001F511\U0001F512key"},
        {"p\xC3\xA4ss w\xC3\xB6rd\n", u"päss wörd"},
    };
    for (const auto& [line, password] : passwords) {
        SCOPED_TRACE(Utf16ToUtf8(password));
        ScratchDir dir;
        WriteFile(dir / u"pw", Bytes(line));
        std::vector<std::u16string> encipher {u"encipher", u"--password-file", u"pw"};
        std::vector<std::u16string> decipher {u"decipher", u"--password-file", u"pw"};
        const auto nameOf = [](size_t size) { return u"f" + U16(std::to_string(size)) + u" \u8d44\u6599.bin"; };
        for (size_t size : sizes) {
            WriteFile(dir / nameOf(size), test::RandomBytes(size, static_cast<uint32_t>(size + line.size())));
            encipher.push_back(nameOf(size));
            decipher.push_back(u"en_" + nameOf(size));
        }
        const auto enciphered = Cli(dir, encipher);
        ASSERT_EQ(enciphered.exitCode, 0) << enciphered.err;
        // Not a terminal: no progress, nothing at all on success.
        EXPECT_EQ(enciphered.err, "");
        EXPECT_EQ(enciphered.out, "");
        const auto deciphered = Cli(dir, decipher);
        ASSERT_EQ(deciphered.exitCode, 0) << deciphered.err;
        for (size_t size : sizes) {
            SCOPED_TRACE(size);
            const std::u16string name = nameOf(size);
            const auto plain = ReadFile(dir / name);
            EXPECT_EQ(ReadFile(dir / (u"en_" + name)), Reference(CipherDirection::Encipher, password, dir / name));
            EXPECT_EQ(ReadFile(dir / (u"de_en_" + name)), plain);
        }
        EXPECT_EQ(dir.List().size(), 1 + 3 * std::size(sizes));  // nothing temporary left
    }
}

TEST_F(CliProgram, PasswordFromStandardInputOrFileAlike)
{
    ScratchDir dir;
    const auto plain = test::RandomBytes(70000, 3);
    WriteFile(dir / u"a", plain);
    const auto expected = Reference(CipherDirection::Encipher, u"secret7", dir / u"a");
    for (const std::string& input : {std::string("secret7\n"), std::string("secret7\r\nmore"), std::string("secret7")}) {
        const auto r = Cli(dir, {u"encipher", u"-f", u"--password-stdin", u"a"}, input);
        ASSERT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(ReadFile(dir / u"en_a"), expected);
    }
    // A byte-order mark, as Windows editors write, is not part of the password.
    WriteFile(dir / u"pw", Bytes("\xEF\xBB\xBFsecret7\r\n"));
    ASSERT_EQ(Cli(dir, {u"encipher", u"-f", u"--password-file", u"pw", u"a"}).exitCode, 0);
    EXPECT_EQ(ReadFile(dir / u"en_a"), expected);
}

TEST_F(CliProgram, ShortOrMissingPasswordsTouchNothing)
{
    ScratchDir dir;
    WriteFile(dir / u"a", test::RandomBytes(1000, 3));
    // Five code units are too few; three astral characters are six code units, enough.
    for (const std::string& input : {std::string("12345\n"), std::string("\xE5\xAF\x86\xE7\xA0\x81\n"), std::string("\n")}) {
        const auto r = Cli(dir, {u"encipher", u"--password-stdin", u"a"}, input);
        EXPECT_EQ(r.exitCode, 2);
        // Nobody to ask again: the one line says why, in the command line's English.
        EXPECT_EQ(r.err, "quorvel-cli: the password needs at least 6 characters; nothing was done\n");
        EXPECT_EQ(dir.List(), (std::vector<std::u16string> {u"a"}));
    }
    const auto astral = Cli(dir, {u"encipher", u"--password-stdin", u"a"}, "\xF0\x9F\x94\x91\xF0\x9F\x94\x91\xF0\x9F\x94\x91\n");
    EXPECT_EQ(astral.exitCode, 0) << astral.err;
    EXPECT_EQ(ReadFile(dir / u"en_a"), Reference(CipherDirection::Encipher, u"\U0001F511\U0001F511\U0001F511", dir / u"a"));

    // No password option and no terminal to ask on (the child has none).
    const auto noTerminal = Cli(dir, {u"decipher", u"en_a"});
    EXPECT_EQ(noTerminal.exitCode, 2);
    EXPECT_NE(noTerminal.err.find("no terminal"), std::string::npos) << noTerminal.err;

    const auto missingFile = Cli(dir, {u"decipher", u"--password-file", u"nope", u"en_a"});
    EXPECT_EQ(missingFile.exitCode, 2);
    EXPECT_NE(missingFile.err.find("nope"), std::string::npos);
    EXPECT_EQ(dir.List(), (std::vector<std::u16string> {u"a", u"en_a"}));
}

TEST_F(CliProgram, UsageErrorsExitWithTwoAndTouchNothing)
{
    PasswordDir dir;
    WriteFile(dir / u"a", test::RandomBytes(1000, 3));
    const std::vector<std::vector<std::u16string>> bad = {
        {},
        {u"encipher", u"--password-file", u"pw"},
        {u"encipher", u"--password-file", u"pw", u"--frobnicate", u"a"},
        {u"encipher", u"--password-file", u"pw", u"--password-stdin", u"a"},
        {u"rot13", u"a"},
    };
    for (const auto& args : bad) {
        SCOPED_TRACE(testing::PrintToString(args.size()));
        const auto r = Cli(dir, args);
        EXPECT_EQ(r.exitCode, 2);
        EXPECT_NE(r.err.find("quorvel-cli: "), std::string::npos) << r.err;
        EXPECT_EQ(dir.List(), (std::vector<std::u16string> {u"a", u"pw"}));
    }
    // An -o that names no folder says which way it is wrong.
    const std::pair<std::u16string, std::string> outputDirs[] = {
        {u"no such folder", "the output folder no such folder does not exist\n"},
        {u"a", "the output folder a is a file, not a folder\n"},
    };
    for (const auto& [out, says] : outputDirs) {
        const auto r = Cli(dir, {u"decipher", u"--password-file", u"pw", u"-o", out, u"a"});
        EXPECT_EQ(r.exitCode, 2);
        EXPECT_EQ(r.err, "quorvel-cli: " + says);
        EXPECT_EQ(dir.List(), (std::vector<std::u16string> {u"a", u"pw"}));
    }
    const auto help = Cli(dir, {u"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.out.find("encipher"), std::string::npos);
    const auto version = Cli(dir, {u"--version"});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out.rfind("quorvel-cli ", 0), 0u);
}

// An existing output is refused unless forced, the other files still run;
// --rm removes a source only once its output is done, so a refused one stays.
TEST_F(CliProgram, AnExistingOutputIsRefusedUnlessForcedAndItsSourceKept)
{
    PasswordDir dir;
    WriteFile(dir / u"a", test::RandomBytes(5000, 1));
    WriteFile(dir / u"b", test::RandomBytes(6000, 2));
    WriteFile(dir / u"en_a", {1, 2, 3});
    const auto refused = Cli(dir, {u"encipher", u"--password-file", u"pw", u"a", u"b"});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_NE(refused.err.find("en_a already exists"), std::string::npos) << refused.err;
    EXPECT_EQ(ReadFile(dir / u"en_a"), (std::vector<uint8_t> {1, 2, 3}));
    EXPECT_EQ(ReadFile(dir / u"en_b"), Reference(CipherDirection::Encipher, u"secret7", dir / u"b"));  // the other still ran

    const auto forced = Cli(dir, {u"encipher", u"--password-file", u"pw", u"-f", u"a", u"b"});
    EXPECT_EQ(forced.exitCode, 0) << forced.err;
    const auto expected = Reference(CipherDirection::Encipher, u"secret7", dir / u"a");
    EXPECT_EQ(ReadFile(dir / u"en_a"), expected);
    EXPECT_EQ(dir.List(), (std::vector<std::u16string> {u"a", u"b", u"en_a", u"en_b", u"pw"}));

    std::filesystem::remove(dir / u"en_a");
    const auto r = Cli(dir, {u"encipher", u"--rm", u"--password-file", u"pw", u"a", u"b"});
    EXPECT_EQ(r.exitCode, 1) << r.err;
    EXPECT_EQ(ReadFile(dir / u"en_a"), expected);
    EXPECT_EQ(dir.List(), (std::vector<std::u16string> {u"b", u"en_a", u"en_b", u"pw"}));
}

TEST_F(CliProgram, AMissingSourceIsNamedAndTheOthersStillRun)
{
    PasswordDir dir;
    WriteFile(dir / u"a", test::RandomBytes(5000, 1));
    const auto r = Cli(dir, {u"decipher", u"--password-file", u"pw", u"missing.bin", u"a", u"gone/"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("missing.bin: cannot open: no such file or folder"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("gone/: cannot open: no such file or folder"), std::string::npos) << r.err;
    EXPECT_EQ(ReadFile(dir / u"de_a"), Reference(CipherDirection::Decipher, u"secret7", dir / u"a"));
    EXPECT_EQ(dir.List(), (std::vector<std::u16string> {u"a", u"de_a", u"pw"}));
}

TEST_F(CliProgram, OutputFolderTakesEveryOutput)
{
    PasswordDir dir;
    std::filesystem::create_directories(dir.Path() / "src" / "deep");
    std::filesystem::create_directories(dir.Path() / "out");
    WriteFile(dir.Path() / "src" / "a", test::RandomBytes(0x40000 + 9, 1));
    WriteFile(dir.Path() / "src" / "deep" / "b", test::RandomBytes(10, 2));
    for (const std::u16string out : {u"out", u"out/"}) {
        const auto r = Cli(dir, {u"encipher", u"--password-file", u"pw", u"-f", u"-o", out, u"src/a", u"src/deep/b"});
        EXPECT_EQ(r.exitCode, 0) << r.err;
    }
    const auto src = dir.Path() / "src";
    EXPECT_EQ(ReadFile(dir.Path() / "out" / "en_a"), Reference(CipherDirection::Encipher, u"secret7", src / "a"));
    EXPECT_EQ(ReadFile(dir.Path() / "out" / "en_b"),
              Reference(CipherDirection::Encipher, u"secret7", src / "deep" / "b"));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path() / "out"), {}), 2);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path() / "src"), {}), 2);  // a and deep
}

// On Windows the file services pass such paths in the extended-length form,
// relative ones made full first.
TEST_F(CliProgram, PathsLongerThan300CharactersWork)
{
    PasswordDir dir;
    std::filesystem::path deep = dir.Path();
    std::u16string relative;
    for (char16_t c : {u'a', u'b', u'c', u'd', u'e'}) {
        const std::u16string level(70, c);
        deep /= level;
        relative += level + u"/";
    }
    std::filesystem::create_directories(deep);
    const auto plain = test::RandomBytes(2 * 0x40000 + 3, 5);
    WriteFile(deep / u"x.bin", plain);
    ASSERT_GT(U16(deep / u"x.bin").size(), 300u);

    const auto en = Cli(dir, {u"encipher", u"--password-file", u"pw", relative + u"x.bin"});
    EXPECT_EQ(en.exitCode, 0) << en.err;
    EXPECT_EQ(ReadFile(deep / u"en_x.bin"), Reference(CipherDirection::Encipher, u"secret7", deep / u"x.bin"));
    const auto de = Cli(dir, {u"decipher", u"--password-file", u"pw", U16(deep / u"en_x.bin")});
    EXPECT_EQ(de.exitCode, 0) << de.err;
    EXPECT_EQ(ReadFile(deep / u"de_en_x.bin"), plain);
}

// Windows shells pass * and ? through as typed, so the program expands them
// itself, once before any file runs, leaving out folders and hidden files.
// Elsewhere the shell has expanded them, and a * is part of a name.
TEST_F(CliProgram, WildcardsAreExpandedWhereNoShellDoes)
{
    PasswordDir dir;
#ifdef _WIN32
    for (const std::u16string name : {u"a.bin", u"b.BIN", u"\u8d44\u6599.bin", u"c.txt", u"cc.txt", u"h.bin"})
        WriteFile(dir / name, test::RandomBytes(100, static_cast<uint32_t>(name.size())));
    ASSERT_TRUE(::SetFileAttributesW((dir / u"h.bin").c_str(), FILE_ATTRIBUTE_HIDDEN));
    std::filesystem::create_directories(dir / u"d.bin");
    const std::u16string deep = std::u16string(90, u'p') + u"\\" + std::u16string(90, u'q') + u"\\" +
                                std::u16string(90, u'r') + u"\\\u6587";
    std::filesystem::create_directories(dir / deep);
    WriteFile(dir / (deep + u"1.bin"), test::RandomBytes(10, 1));

    // h.bin named in full runs once; en_* is matched before any output exists.
    const auto r = Cli(dir, {u"encipher", u"--password-file", u"pw", u"*.bin", u"?.txt", u"en_*", u"h.bin",
                             deep + u"?.bin"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "quorvel-cli: no file matches 'en_*'\n");
    EXPECT_EQ(dir.List(), (std::vector<std::u16string> {u"a.bin", u"b.BIN", u"c.txt", u"cc.txt", u"d.bin", u"en_a.bin",
                                                        u"en_b.BIN", u"en_c.txt", u"en_h.bin", u"en_\u8d44\u6599.bin",
                                                        u"h.bin", std::u16string(90, u'p'), u"pw", u"\u8d44\u6599.bin"}));
    const std::u16string folder = FolderOf(deep);
    EXPECT_EQ(ReadFile(dir / (folder + u"en_\u65871.bin")),
              Reference(CipherDirection::Encipher, u"secret7", dir / (deep + u"1.bin")));
#else
    WriteFile(dir / u"a*", test::RandomBytes(100, 1));
    WriteFile(dir / u"ab", test::RandomBytes(100, 2));
    EXPECT_EQ(Cli(dir, {u"encipher", u"--password-file", u"pw", u"a*"}).exitCode, 0);
    EXPECT_EQ(dir.List(), (std::vector<std::u16string> {u"a*", u"ab", u"en_a*", u"pw"}));
#endif
}

TEST_F(CliProgram, NeverWritesOverAnInputOfTheSameRun)
{
    PasswordDir dir;
    const auto a = test::RandomBytes(3000, 1);
    const auto enA = test::RandomBytes(4000, 2);
    WriteFile(dir / u"a", a);
    WriteFile(dir / u"en_a", enA);
    std::filesystem::create_directories(dir.Path() / "x");
    WriteFile(dir.Path() / "x" / "a", test::RandomBytes(10, 3));

    // a's output would be en_a, another input: refused even with -f; en_a itself still runs.
    const auto r = Cli(dir, {u"encipher", u"--password-file", u"pw", u"-f", u"-o", u".", u"a", u"en_a"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("a: its output ." + kSep + "en_a is the input en_a of this run"), std::string::npos) << r.err;
    EXPECT_EQ(ReadFile(dir / u"en_a"), enA);
    EXPECT_EQ(ReadFile(dir / u"en_en_a"), Reference(CipherDirection::Encipher, u"secret7", dir / u"en_a"));

    // An output that an earlier file of the run would make is not then read
    // as an input: b's output en_b is refused, and en_b stays missing.
    WriteFile(dir / u"b", test::RandomBytes(2000, 4));
    const auto chained = Cli(dir, {u"encipher", u"--password-file", u"pw", u"b", u"en_b"});
    EXPECT_EQ(chained.exitCode, 1);
    EXPECT_NE(chained.err.find("b: its output en_b is the input en_b of this run"), std::string::npos) << chained.err;
    EXPECT_NE(chained.err.find("en_b: cannot open: no such file or folder"), std::string::npos) << chained.err;
    EXPECT_FALSE(std::filesystem::exists(dir / u"en_b"));
    EXPECT_FALSE(std::filesystem::exists(dir / u"en_en_b"));

    // Two inputs with one output: the later one is refused, whatever the spelling.
    std::filesystem::create_directories(dir.Path() / "out");
    const auto twice = Cli(dir, {u"encipher", u"--password-file", u"pw", u"-o", u"out", u"a", u"x/a", u"./a"});
    EXPECT_EQ(twice.exitCode, 1);
    EXPECT_NE(twice.err.find("x/a: its output out" + kSep + "en_a is also the output of a"), std::string::npos) << twice.err;
    EXPECT_NE(twice.err.find("./a: its output"), std::string::npos) << twice.err;
    EXPECT_EQ(ReadFile(dir.Path() / "out" / "en_a"), Reference(CipherDirection::Encipher, u"secret7", dir / u"a"));
    EXPECT_EQ(ReadFile(dir / u"a"), a);

    // Windows tells names apart without regard to case: a's output is EN_A.
    std::filesystem::create_directories(dir.Path() / "case");
    WriteFile(dir.Path() / "case" / "a", a);
    WriteFile(dir.Path() / "case" / "EN_A", enA);
    const auto folded = Cli(dir, {u"encipher", u"-f", u"--password-file", u"pw", u"case/a", u"case/EN_A"});
#ifdef _WIN32
    EXPECT_NE(folded.err.find("case/a: its output case/en_a is the input case/EN_A"), std::string::npos) << folded.err;
#else
    EXPECT_EQ(folded.exitCode, 0) << folded.err;
#endif
    EXPECT_EQ(ReadFile(dir.Path() / "case" / "EN_A"), enA);

    // The output name is another name of the source itself.
    std::error_code ec;
    std::filesystem::create_directories(dir.Path() / "linked");
    std::filesystem::create_hard_link(dir / u"a", dir.Path() / "linked" / "en_a", ec);
    if (ec)
        GTEST_SKIP() << "no hard links here: " << ec.message();
    const auto self = Cli(dir, {u"encipher", u"--password-file", u"pw", u"-f", u"-o", u"linked", u"a"});
    EXPECT_EQ(self.exitCode, 1);
    EXPECT_NE(self.err.find("is the file itself"), std::string::npos) << self.err;
    EXPECT_EQ(ReadFile(dir / u"a"), a);
}

// "-" reads standard input to its end and writes standard output: the bytes a
// file of the same data gives, binary on every system (no CR/LF translation:
// the data is full of both).
TEST_F(CliProgram, StandardInputToStandardOutputGivesTheFilesBytes)
{
    PasswordDir dir;
    for (const size_t size : {size_t {0}, size_t {1}, size_t {0x3FFFF}, size_t {0x40000}, size_t {0x40001}, size_t {700001}}) {
        SCOPED_TRACE(size);
        auto data = test::RandomBytes(size, static_cast<uint32_t>(size));
        for (size_t i = 0; i + 1 < data.size(); i += 97)
            data[i] = '\r', data[i + 1] = '\n';
        WriteFile(dir / u"a", data);
        const auto en = Cli(dir, {u"encipher", u"--password-file", u"pw", u"-"}, std::string(data.begin(), data.end()));
        ASSERT_EQ(en.exitCode, 0) << en.err;
        EXPECT_EQ(Bytes(en.out), Reference(CipherDirection::Encipher, u"secret7", dir / u"a"));
        const auto de = Cli(dir, {u"decipher", u"--password-file", u"pw", u"-"}, en.out);
        ASSERT_EQ(de.exitCode, 0) << de.err;
        EXPECT_EQ(Bytes(de.out), data);
    }
    EXPECT_EQ(dir.List(), (std::vector<std::u16string> {u"a", u"pw"}));  // nothing written beside
}

// Each refusal names the file and says why in words, before anything is
// written; what fits gets its output, however long.
TEST_F(CliProgram, RefusalsNameTheFileAndTheReason)
{
    PasswordDir dir;
    WriteFile(dir / u"a", test::RandomBytes(3000, 1));
    std::filesystem::create_directories(dir.Path() / "folder");
    std::filesystem::create_directories(dir.Path() / "en_a");  // a folder where a's output would go
    // The longest name whose output name fits (255), and one longer.
    const std::u16string fits(252, u'f'), tooLong(253, u't');
    WriteFile(dir / fits, test::RandomBytes(10, 2));
    WriteFile(dir / tooLong, test::RandomBytes(10, 3));
    // A temporary left by a run that was killed is not in anyone's way.
    WriteFile(dir / u".quorvel-0123abcd.tmp", {1});
    const std::string longest(cli::kPasswordByteLimit, 'p');

    const struct {
        std::vector<std::u16string> args;
        std::string input;
        int exitCode;
        std::string says;
    } cases[] = {
        {{u"encipher", u"--password-file", u"pw", u"folder"}, "", 1, "folder: cannot open: is a folder"},
        {{u"encipher", u"--password-file", u"pw", u"folder/"}, "", 1, "folder/: cannot open: is a folder"},
        {{u"encipher", u"--password-file", u"folder", u"a"}, "", 2, "cannot read the password file folder: is a folder"},
        {{u"encipher", u"-f", u"--password-file", u"pw", u"a"}, "", 1, "a: cannot create en_a: is a folder"},
        {{u"encipher", u"--password-file", u"pw", tooLong}, "", 1,
         "cannot create en_" + Utf16ToUtf8(tooLong) + ": file name too long"},
        {{u"encipher", u"--password-stdin", fits}, longest + "x\n", 2, "longer than 65536 bytes"},
        {{u"encipher", u"--password-stdin", fits}, longest + "\n", 0, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.says);
        const auto r = Cli(dir, c.args, c.input);
        EXPECT_EQ(r.exitCode, c.exitCode) << r.err;
        if (c.exitCode != 0) {
            EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
        }
        EXPECT_EQ(r.err.find("system error"), std::string::npos) << r.err;
    }
    EXPECT_EQ(ReadFile(dir / (u"en_" + fits)),
              Reference(CipherDirection::Encipher, std::u16string(longest.begin(), longest.end()), dir / fits));
    // The same limit holds for a password file; nothing was made but the one output.
    WriteFile(dir / u"long-pw", Bytes(longest + "x\r\n"));
    const auto fromFile = Cli(dir, {u"decipher", u"--password-file", u"long-pw", u"a"});
    EXPECT_EQ(fromFile.exitCode, 2);
    EXPECT_NE(fromFile.err.find("longer than 65536 bytes"), std::string::npos) << fromFile.err;
    EXPECT_EQ(dir.List(), (std::vector<std::u16string> {u".quorvel-0123abcd.tmp", u"a", u"en_a", u"en_" + fits, fits,
                                                        u"folder", u"long-pw", u"pw", tooLong}));
}

}  // namespace
}  // namespace quorvel
