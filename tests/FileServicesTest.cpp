// The file services' promises about sources and outputs, on the real file
// system: only ordinary files are opened (and opening never waits for a
// pipe's writer); an output shows under no name, and grants no one else
// access, until it is published; a run killed mid-file leaves nothing; a
// name that cannot fit is refused before anything is made.
#include "platform/FileNames.h"
#include "platform/FileSystem.h"

#include "TestFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include "platform/posix/PosixFileSystem.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/un.h>
#include <unistd.h>
#endif

#ifndef _WIN32
// The linker routes the file services' renameat2, link, fchmod, unlink and
// statfs through these (tests/CMakeLists.txt), so a test can give the calls a
// file system's faults, and count them.
int g_renameNoReplaceError = 0;  // RENAME_NOREPLACE fails with it: EINVAL as a file system without it
int g_linkError = 0;             // link fails with it: EPERM as FAT
int g_fchmodError = 0;           // fchmod fails with it: ENOSYS as FAT through FUSE
int g_unlinksToFail = 0;         // the next ones fail with EIO
int g_renameNoReplaceCalls = 0, g_linkCalls = 0, g_fchmodCalls = 0;
long g_statfsType = 0;  // statfs says this is the file system's type: 0x4d44 as the kernel's FAT

extern "C" int __real_renameat2(int, const char*, int, const char*, unsigned int);
extern "C" int __real_link(const char*, const char*);
extern "C" int __real_fchmod(int, mode_t);
extern "C" int __real_unlink(const char*);
extern "C" int __real_statfs(const char*, struct statfs*);

extern "C" int __wrap_statfs(const char* path, struct statfs* fs)
{
    const int result = __real_statfs(path, fs);
    if (result == 0 && g_statfsType != 0)
        fs->f_type = g_statfsType;
    return result;
}

extern "C" int __wrap_renameat2(int fromFolder, const char* from, int toFolder, const char* to, unsigned int flags)
{
    if ((flags & RENAME_NOREPLACE) != 0 && (++g_renameNoReplaceCalls, g_renameNoReplaceError != 0))
        return errno = g_renameNoReplaceError, -1;
    return __real_renameat2(fromFolder, from, toFolder, to, flags);
}

extern "C" int __wrap_link(const char* from, const char* to)
{
    ++g_linkCalls;
    return g_linkError != 0 ? (errno = g_linkError, -1) : __real_link(from, to);
}

extern "C" int __wrap_fchmod(int fd, mode_t mode)
{
    ++g_fchmodCalls;
    return g_fchmodError != 0 ? (errno = g_fchmodError, -1) : __real_fchmod(fd, mode);
}

extern "C" int __wrap_unlink(const char* path)
{
    if (g_unlinksToFail > 0) {
        --g_unlinksToFail;
        return errno = EIO, -1;
    }
    return __real_unlink(path);
}
#endif

namespace quorvel {
namespace {

using test::ScratchDir;
using test::U16;
using Names = std::vector<std::u16string>;

std::u16string FolderPath(const ScratchDir& dir)
{
#ifdef _WIN32
    return U16(dir.Path()) + u"\\";
#else
    return U16(dir.Path()) + u"/";
#endif
}

// Writes bytes to a new output in dir and leaves it unpublished.
std::unique_ptr<OutputFile> Unpublished(FileSystem& fs, const ScratchDir& dir, const std::vector<uint8_t>& bytes)
{
    std::unique_ptr<OutputFile> output;
    EXPECT_TRUE(fs.CreateOutput(FolderPath(dir), output));
    if (output) {
        EXPECT_TRUE(output->Write(bytes.data(), static_cast<uint32_t>(bytes.size())));
    }
    return output;
}

// What may show in the folder of an unpublished output: nothing, or one temporary.
bool OnlyATemporary(const Names& names)
{
    return names.empty() || (names.size() == 1 && IsTemporaryOutputName(names[0]));
}

TEST(OutputFile, ShowsOnlyOnceFinishedAndPublishedAndGoesIfNot)
{
    ScratchDir dir;
    const auto bytes = test::RandomBytes(3000, 1);
    {
        auto output = Unpublished(SystemFileSystem(), dir, bytes);
        ASSERT_TRUE(output);
        EXPECT_TRUE(OnlyATemporary(dir.List()));
        EXPECT_TRUE(output->Finish(std::nullopt));
        EXPECT_TRUE(OnlyATemporary(dir.List()));
        EXPECT_TRUE(output->Publish(U16(dir / u"out"), false));
        EXPECT_EQ(dir.List(), Names {u"out"});
    }
    EXPECT_EQ(test::ReadFile(dir / u"out"), bytes);
    {
        // Dropped before publishing, finished or not: nothing stays.
        auto dropped = Unpublished(SystemFileSystem(), dir, bytes);
        auto finished = Unpublished(SystemFileSystem(), dir, bytes);
        ASSERT_TRUE(finished && dropped);
        EXPECT_TRUE(finished->Finish(std::nullopt));
    }
    EXPECT_EQ(dir.List(), Names {u"out"});
}

TEST(OutputFile, PublishingKeepsOrReplacesAnExistingFileAsAsked)
{
    ScratchDir dir;
    test::WriteFile(dir / u"out", {1, 2, 3});
    auto keeping = Unpublished(SystemFileSystem(), dir, {9});
    ASSERT_TRUE(keeping && keeping->Finish(std::nullopt));
    EXPECT_EQ(keeping->Publish(U16(dir / u"out"), false).error, FileError::Exists);
    keeping.reset();
    EXPECT_EQ(dir.List(), Names {u"out"});
    EXPECT_EQ(test::ReadFile(dir / u"out"), (std::vector<uint8_t> {1, 2, 3}));

    auto replacing = Unpublished(SystemFileSystem(), dir, {9});
    ASSERT_TRUE(replacing && replacing->Finish(std::nullopt));
    EXPECT_TRUE(replacing->Publish(U16(dir / u"out"), true));
    replacing.reset();
    EXPECT_EQ(dir.List(), Names {u"out"});
    EXPECT_EQ(test::ReadFile(dir / u"out"), (std::vector<uint8_t> {9}));
}

// The process ends mid-file without any clean-up of its own, as after a
// crash, kill -9 or TerminateProcess: the system's own release of the file
// must leave nothing. It runs in a child process (gtest's death tests), which
// runs the test again from its start; the folder reaches it by environment.
class KilledMidFile {
public:
    KilledMidFile()
    {
        if (const char* inherited = std::getenv(kVariable)) {
            m_folder = inherited;
        } else {
            m_scratch.emplace();
            m_folder = m_scratch->Path().string();
            Set(m_folder.c_str());
        }
    }
    ~KilledMidFile() { Set(""); }

    void WriteHalfAndDie(FileSystem& fs) const
    {
        std::unique_ptr<OutputFile> output;
        if (!fs.CreateOutput(U16(m_folder) + u"/", output))
            std::_Exit(3);
        const auto bytes = test::RandomBytes(100000, 2);
        if (!output->Write(bytes.data(), static_cast<uint32_t>(bytes.size())))
            std::_Exit(4);
#ifdef _WIN32
        ::TerminateProcess(::GetCurrentProcess(), 9);
#endif
        std::_Exit(9);
    }

    Names Left() const { return test::ListFolder(m_folder); }
    const std::string& Folder() const { return m_folder; }

private:
    static constexpr const char* kVariable = "QUORVEL_KILLED_MID_FILE_FOLDER";
    static void Set(const char* value)
    {
#ifdef _WIN32
        ::_putenv_s(kVariable, value);
#else
        if (*value != 0)
            ::setenv(kVariable, value, 1);
        else
            ::unsetenv(kVariable);
#endif
    }

    std::optional<ScratchDir> m_scratch;
    std::string m_folder;
};

TEST(OutputFile, AProcessKilledMidFileLeavesNothing)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const KilledMidFile run;
    EXPECT_EXIT(run.WriteHalfAndDie(SystemFileSystem()), testing::ExitedWithCode(9), "");
    EXPECT_EQ(run.Left(), Names {});
}

TEST(OutputFile, ANameThatCannotFitIsRefusedBeforeAnythingIsMade)
{
    ScratchDir dir;
    const std::u16string folder = FolderPath(dir);
    // 255 units is the limit on the file systems here (bytes of UTF-8 on
    // Linux, UTF-16 units on Windows); "é" is two bytes of UTF-8.
    EXPECT_TRUE(SystemFileSystem().CheckNewName(folder, std::u16string(255, u'a')));
    EXPECT_EQ(SystemFileSystem().CheckNewName(folder, std::u16string(256, u'a')).error, FileError::NameTooLong);
#ifndef _WIN32
    EXPECT_TRUE(SystemFileSystem().CheckNewName(folder, std::u16string(127, u'é') + u"a"));
    EXPECT_EQ(SystemFileSystem().CheckNewName(folder, std::u16string(128, u'é')).error, FileError::NameTooLong);
#endif
    // The longest name that fits gets its output: the temporary needs no room of its own.
    const std::u16string longest = u"en_" + std::u16string(252, u'x');
    auto output = Unpublished(SystemFileSystem(), dir, {7});
    ASSERT_TRUE(output && output->Finish(std::nullopt));
    EXPECT_TRUE(output->Publish(folder + longest, false));
    EXPECT_EQ(dir.List(), Names {longest});
}

TEST(TemporaryNames, AreRecognisableAndNeverTheSameTwice)
{
    std::vector<std::u16string> seen;
    for (int i = 0; i < 1000; ++i) {
        const std::u16string name = NewTemporaryOutputName();
        EXPECT_TRUE(IsTemporaryOutputName(name)) << i;
        seen.push_back(name);
    }
    std::sort(seen.begin(), seen.end());
    EXPECT_EQ(std::unique(seen.begin(), seen.end()), seen.end());
    for (const std::u16string name : {u"en_a", u".quorvel-0123456.tmp", u".quorvel-0123456g.tmp",
                                      u".quorvel-01234567.tmpx", u"x.quorvel-01234567.tmp", u"en_a.quorvel-tmp"})
        EXPECT_FALSE(IsTemporaryOutputName(name));
}

// Every kind of thing a name can stand for that is not an ordinary file is
// refused, named for what it is, and without waiting: a FIFO with no writer
// would otherwise hold the open forever.
TEST(Sources, OnlyOrdinaryFilesAreOpened)
{
    ScratchDir dir;
    std::filesystem::create_directory(dir / u"folder");
    test::WriteFile(dir / u"ordinary", {1, 2});
    std::vector<std::pair<std::u16string, FileError>> cases {
        {U16(dir / u"folder"), FileError::IsFolder},
        {U16(dir / u"missing"), FileError::NotFound},
        {U16(dir / u"ordinary"), FileError::None},
    };
#ifdef _WIN32
    const HANDLE pipe = ::CreateNamedPipeW(L"\\\\.\\pipe\\quorvel-source-test", PIPE_ACCESS_OUTBOUND, PIPE_TYPE_BYTE,
                                           1, 4096, 4096, 0, nullptr);
    ASSERT_NE(pipe, INVALID_HANDLE_VALUE);
    cases.insert(cases.end(),
                 {{u"\\\\.\\pipe\\quorvel-source-test", FileError::IsPipe}, {u"NUL", FileError::IsDevice}});
#else
    ::mkfifo((dir / u"fifo").c_str(), 0600);
    std::filesystem::create_symlink(dir / u"fifo", dir / u"link-to-fifo");
    const int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address {};
    address.sun_family = AF_UNIX;
    const std::string socketPath = (dir / u"socket").string();
    socketPath.copy(address.sun_path, sizeof address.sun_path - 1);
    ASSERT_EQ(::bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    test::WriteFile(dir / u"CON", {3});
    cases.insert(cases.end(), {
        {U16(dir / u"fifo"), FileError::IsPipe},
        {U16(dir / u"link-to-fifo"), FileError::IsPipe},
        {U16(dir / u"socket"), FileError::NotRegular},
        {u"/dev/null", FileError::IsDevice},
        {u"/dev/zero", FileError::IsDevice},
        {u"/proc/self/status", FileError::None},  // opens; its job then finds the size untrue
        {U16(dir / u"CON"), FileError::None},     // a device name only on Windows
    });
#endif
    for (const auto& [path, expected] : cases) {
        SCOPED_TRACE(test::ReadableName(path));
        std::unique_ptr<File> file;
        EXPECT_EQ(SystemFileSystem().OpenRead(path, file).error, expected);
        EXPECT_EQ(file != nullptr, expected == FileError::None);
    }
#ifdef _WIN32
    ::CloseHandle(pipe);
#else
    ::close(sock);
#endif
}

#ifndef _WIN32

mode_t ModeOf(const std::filesystem::path& path)
{
    struct stat st {};
    EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
    return st.st_mode & 07777;
}

TEST(PosixOutputFile, NeverGrantsMoreThanTheSourceAndIsOwnerOnlyMeanwhile)
{
    const mode_t umaskWas = ::umask(022);
    for (const bool unnamed : {true, false}) {
        const auto fs = MakePosixFileSystem(unnamed);
        for (const mode_t mode : {0600, 0640, 0644, 0400, 0755}) {
            SCOPED_TRACE(testing::Message() << (unnamed ? "unnamed" : "named") << " temporary, source mode 0"
                                            << std::oct << mode);
            ScratchDir dir;
            test::WriteFile(dir / u"src", {1});
            ::chmod((dir / u"src").c_str(), mode);
            std::unique_ptr<File> source;
            ASSERT_TRUE(fs->OpenRead(U16(dir / u"src"), source));
            auto output = Unpublished(*fs, dir, {5});
            ASSERT_TRUE(output);
            // A named temporary, while it is written, is its owner's alone.
            for (const auto& name : dir.List()) {
                if (IsTemporaryOutputName(name)) {
                    EXPECT_EQ(ModeOf(dir / name), 0600u);
                }
            }
            ASSERT_TRUE(output->Finish(source->Permissions()));
            ASSERT_TRUE(output->Publish(U16(dir / u"out"), false));
            EXPECT_EQ(ModeOf(dir / u"out"), mode);
        }
    }
    ::umask(umaskWas);
}

TEST(PosixOutputFile, WithoutUnnamedFilesAKilledRunLeavesARecognisableTemporaryThatIsNotInTheWay)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const auto fs = MakePosixFileSystem(false);
    const KilledMidFile run;
    EXPECT_EXIT(run.WriteHalfAndDie(*fs), testing::ExitedWithCode(9), "");
    const Names left = run.Left();
    ASSERT_EQ(left.size(), 1u);
    EXPECT_TRUE(IsTemporaryOutputName(left[0]));
    // The next run gets its output all the same, and leaves the stale one alone.
    std::unique_ptr<OutputFile> output;
    ASSERT_TRUE(fs->CreateOutput(U16(run.Folder()) + u"/", output));
    ASSERT_TRUE(output->Finish(std::nullopt));
    EXPECT_TRUE(output->Publish(U16(run.Folder()) + u"/en_x", false));
    output.reset();
    EXPECT_EQ(run.Left(), (Names {left[0], u"en_x"}));
}

// Where the file system has no RENAME_NOREPLACE, a hard link publishes a named
// temporary without replacing and the temporary name goes. When that name
// cannot go, the output is not left under two names as a success: the new
// name goes again.
TEST(PosixOutputFile, WithoutNoReplaceRenameALinkPublishesAndAFailedUnlinkUndoesIt)
{
    const auto fs = MakePosixFileSystem(false);
    g_renameNoReplaceError = EINVAL;
    const struct {
        bool existing;
        int unlinksToFail;
        FileError expected;
        Names left;
    } cases[] = {
        {false, 0, FileError::None, {u"out"}},
        {true, 0, FileError::Exists, {u"out"}},
        {false, 1, FileError::DiskError, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "existing " << c.existing << ", failing unlinks " << c.unlinksToFail);
        ScratchDir dir;
        if (c.existing)
            test::WriteFile(dir / u"out", {1});
        auto output = Unpublished(*fs, dir, {9});
        ASSERT_TRUE(output && output->Finish(std::nullopt));
        g_unlinksToFail = c.unlinksToFail;
        const FileStatus published = output->Publish(U16(dir / u"out"), false);
        EXPECT_EQ(g_unlinksToFail, 0);
        EXPECT_EQ(published.error, c.expected);
        output.reset();
        EXPECT_EQ(dir.List(), c.left);
        if (!c.left.empty()) {
            EXPECT_EQ(test::ReadFile(dir / u"out"), (std::vector<uint8_t> {c.existing ? uint8_t {1} : uint8_t {9}}));
        }
    }
    g_renameNoReplaceError = 0;
}

// A file system as FAT or exFAT through FUSE: no RENAME_NOREPLACE, no hard
// links, no permission bits. Outputs are published all the same, an existing
// file is still refused without replace, and each missing call is tried once
// for the file system, not once per output.
TEST(PosixOutputFile, WithoutNoReplaceRenameLinksOrModesACheckedRenamePublishesAndEachLackIsLearntOnce)
{
    const auto fs = MakePosixFileSystem(false);
    g_renameNoReplaceError = EINVAL;
    g_linkError = EPERM;
    g_fchmodError = ENOSYS;
    g_renameNoReplaceCalls = g_linkCalls = g_fchmodCalls = 0;
    ScratchDir dir;
    test::WriteFile(dir / u"taken", {1});
    for (const std::u16string name : {u"a", u"b", u"taken", u"c"}) {
        SCOPED_TRACE(test::ReadableName(name));
        auto output = Unpublished(*fs, dir, {9});
        ASSERT_TRUE(output);
        ASSERT_TRUE(output->Finish(0644));
        EXPECT_EQ(output->Publish(U16(dir / name), false).error, name == u"taken" ? FileError::Exists : FileError::None);
    }
    EXPECT_EQ(dir.List(), (Names {u"a", u"b", u"c", u"taken"}));
    EXPECT_EQ(test::ReadFile(dir / u"taken"), std::vector<uint8_t> {1});
    EXPECT_EQ(test::ReadFile(dir / u"c"), std::vector<uint8_t> {9});
    EXPECT_EQ(g_renameNoReplaceCalls, 1);
    EXPECT_EQ(g_linkCalls, 1);
    EXPECT_EQ(g_fchmodCalls, 1);
    // Replacing needs no check.
    auto replacing = Unpublished(*fs, dir, {5});
    ASSERT_TRUE(replacing && replacing->Finish(std::nullopt));
    EXPECT_TRUE(replacing->Publish(U16(dir / u"taken"), true));
    EXPECT_EQ(test::ReadFile(dir / u"taken"), std::vector<uint8_t> {5});
    g_renameNoReplaceError = g_linkError = g_fchmodError = 0;
}

// Only "not supported here" makes a fallback: any other error of these calls
// fails the output with its own name, and the next output tries the call again.
TEST(PosixOutputFile, OtherErrorsOfTheFallbacksCallsFailTheOutputAsWhatTheyAre)
{
    const struct {
        int* error;
        int code;
        FileError expected;
    } cases[] = {
        {&g_renameNoReplaceError, EACCES, FileError::AccessDenied},
        {&g_linkError, EIO, FileError::DiskError},
        {&g_fchmodError, EIO, FileError::DiskError},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.code);
        const auto fs = MakePosixFileSystem(false);
        // The link is reached only where RENAME_NOREPLACE is missing.
        g_renameNoReplaceError = c.error == &g_linkError ? EINVAL : 0;
        *c.error = c.code;
        ScratchDir dir;
        for (int round = 0; round < 2; ++round) {
            auto output = Unpublished(*fs, dir, {9});
            ASSERT_TRUE(output);
            FileStatus status = output->Finish(0644);
            if (status)
                status = output->Publish(U16(dir / u"out"), false);
            EXPECT_EQ(status.error, c.expected);
            EXPECT_EQ(status.systemCode, static_cast<uint32_t>(c.code));
        }
        EXPECT_TRUE(dir.List().empty());
        g_renameNoReplaceError = g_linkError = g_fchmodError = 0;
    }
}

// A file larger than the process may write (ulimit -f) is refused before
// anything is made; one that meets the limit while written gets its own
// reason, once SIGXFSZ no longer ends the process, as quorvel-cli has it.
TEST(PosixOutputFile, AFileLargerThanTheProcessMayWriteIsTooLarge)
{
    ScratchDir dir;
    struct rlimit was {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &was), 0);
    EXPECT_TRUE(SystemFileSystem().CheckSizeFits(FolderPath(dir), uint64_t {1} << 40));
    struct rlimit limit = was;
    limit.rlim_cur = 4096;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limit), 0);
    const auto signalWas = ::signal(SIGXFSZ, SIG_IGN);
    EXPECT_TRUE(SystemFileSystem().CheckSizeFits(FolderPath(dir), 4096));
    EXPECT_EQ(SystemFileSystem().CheckSizeFits(FolderPath(dir), 4097).error, FileError::TooLarge);
    {
        auto output = Unpublished(SystemFileSystem(), dir, std::vector<uint8_t>(4096));
        ASSERT_TRUE(output);
        const uint8_t more = 1;
        EXPECT_EQ(output->Write(&more, 1).error, FileError::TooLarge);
    }
    ::signal(SIGXFSZ, signalWas);
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &was), 0);
    EXPECT_TRUE(dir.List().empty());
}

// The kernel's FAT holds files of up to 4 GiB - 1, and says it is FAT.
TEST(PosixOutputFile, OnFatAFileOf4GiBIsTooLarge)
{
    ScratchDir dir;
    constexpr uint64_t k4GiB = uint64_t {1} << 32;
    EXPECT_TRUE(SystemFileSystem().CheckSizeFits(FolderPath(dir), k4GiB));
    g_statfsType = 0x4d44;
    EXPECT_TRUE(SystemFileSystem().CheckSizeFits(FolderPath(dir), k4GiB - 1));
    EXPECT_EQ(SystemFileSystem().CheckSizeFits(FolderPath(dir), k4GiB).error, FileError::TooLarge);
    g_statfsType = 0;
}

#else

// Windows reads these names as devices in any folder, whatever the case,
// extension or trailing dots and spaces; they are refused by name, as
// sources and as outputs, before anything is opened or made. Near misses are
// ordinary names.
TEST(Win32Sources, DeviceNamesAreRefusedByName)
{
    ScratchDir dir;
    const std::u16string folder = FolderPath(dir);
    for (const std::u16string name : {u"CON", u"prn", u"Aux.txt", u"nul.tar.gz", u"COM1", u"com9.", u"LPT3 ",
                                      u"lpt1 .log", u"CONIN$", u"conout$", u"COM\u00B2", u"NUL:"}) {
        SCOPED_TRACE(test::ReadableName(name));
        std::unique_ptr<File> file;
        EXPECT_EQ(SystemFileSystem().OpenRead(folder + name, file).error, FileError::IsDevice);
        EXPECT_EQ(SystemFileSystem().CheckNewName(folder, name).error, FileError::IsDevice);
        EXPECT_FALSE(IdentityOf(folder + name));
    }
    for (const std::u16string name : {u"COM0", u"LPT10", u"CONSOLE", u"en_CON", u"NULL.txt", u"x.con", u"AUX_"}) {
        SCOPED_TRACE(test::ReadableName(name));
        EXPECT_TRUE(SystemFileSystem().CheckNewName(folder, name));
        std::unique_ptr<File> file;
        EXPECT_EQ(SystemFileSystem().OpenRead(folder + name, file).error, FileError::NotFound);
    }
    EXPECT_EQ(dir.List(), Names {});
}

#endif

}  // namespace
}  // namespace quorvel
