// Extended-length paths: which paths get the "\\?\" form and how they are
// cleaned first (the prefix turns off Windows' own clean-up, so a stray "..",
// "." or "/" would otherwise name another file or none), and a round trip of
// a file deeper than 300 characters through the file services the dialog and
// quorvel-cli share.
//
// Wine does not enforce the 260-character limit itself, so the round trip
// shows the prefixed calls work; the prefix rules below are what makes it work
// on Windows.
#include "tests/TestFiles.h"
#include "cipher/CipherJob.h"
#include "platform/win32/LongPath.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <condition_variable>
#include <mutex>

namespace quorvel {
namespace {

std::u16string U16(const std::wstring& s)
{
    return std::u16string(s.begin(), s.end());
}

std::wstring W(const std::u16string& s)
{
    return std::wstring(s.begin(), s.end());
}

std::u16string CurrentDirectory()
{
    std::wstring buffer(::GetCurrentDirectoryW(0, nullptr), L'\0');
    buffer.resize(::GetCurrentDirectoryW(static_cast<DWORD>(buffer.size()), buffer.data()));
    return U16(buffer);
}

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
    std::u16string folder = CurrentDirectory();
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

// A nested folder whose full path is longer than length characters, made and
// removed with extended-length calls of the test's own.
class DeepFolder {
public:
    DeepFolder(const std::u16string& base, std::size_t length)
    {
        m_path = base;
        while (m_path.size() <= length) {
            m_path += u"\\" + Name(60, static_cast<char16_t>(u'a' + m_levels.size()));
            m_levels.push_back(m_path);
            made &= ::CreateDirectoryW(Raw(m_path).c_str(), nullptr) != FALSE;
        }
    }
    ~DeepFolder()
    {
        for (auto level = m_levels.rbegin(); level != m_levels.rend(); ++level)
            ::RemoveDirectoryW(Raw(*level).c_str());
    }
    DeepFolder(const DeepFolder&) = delete;
    DeepFolder& operator=(const DeepFolder&) = delete;

    const std::u16string& Path() const { return m_path; }
    static std::wstring Raw(const std::u16string& path) { return L"\\\\?\\" + W(path); }

    bool made = true;

private:
    std::u16string m_path;
    std::vector<std::u16string> m_levels;
};

std::vector<uint8_t> ReadRaw(const std::u16string& path)
{
    std::vector<uint8_t> bytes;
    const HANDLE h = ::CreateFileW(DeepFolder::Raw(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                   OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return bytes;
    char buffer[65536];
    DWORD got = 0;
    while (::ReadFile(h, buffer, sizeof buffer, &got, nullptr) && got != 0)
        bytes.insert(bytes.end(), buffer, buffer + got);
    ::CloseHandle(h);
    return bytes;
}

class WaitingOwner final : public CipherJobOwner {
public:
    void StartTickTimer(CipherDirection) override {}
    void StopTickTimer(CipherDirection) override {}
    void SendCipherDone(CipherDirection) override {}
    void JobReleased(CipherDirection) override
    {
        std::lock_guard lock(m_mutex);
        m_released = true;
        m_cv.notify_all();
    }
    void Wait()
    {
        std::unique_lock lock(m_mutex);
        m_cv.wait(lock, [this] { return m_released; });
        m_released = false;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_cv;
    bool m_released = false;
};

JobOutcome RunOne(CipherDirection direction, const std::u16string& folder, const std::u16string& name)
{
    CipherJob job;
    WaitingOwner owner;
    job.SetKey(u"mqzvtrk");
    uint64_t size = 0;
    const JobOutcome prepared = job.PrepareJob(folder + u"\\" + name, size);
    if (prepared.status != JobStatus::Succeeded)
        return prepared;
    const JobOutcome launched = job.LaunchJob(owner, direction, name);
    if (launched.status != JobStatus::Succeeded)
        return launched;
    owner.Wait();
    job.Wait();
    return job.Outcome();
}

TEST(LongPathFiles, RoundTripBesideASourceDeeperThan300Characters)
{
    test::ScratchDir scratch;
    const DeepFolder folder(test::U16(scratch.Path()), 300);
    ASSERT_TRUE(folder.made);
    ASSERT_GT(folder.Path().size(), 300u);

    // Three blocks and a bit, so reads and writes repeat on the long names.
    const std::vector<uint8_t> plain = test::RandomBytes(3 * CIPHER_BLOCK_SIZE + 77, 14);
    const std::u16string source = folder.Path() + u"\\plain.bin";
    {
        const HANDLE h = ::CreateFileW(DeepFolder::Raw(source).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0,
                                       nullptr);
        ASSERT_NE(h, INVALID_HANDLE_VALUE);
        DWORD wrote = 0;
        ASSERT_TRUE(::WriteFile(h, plain.data(), static_cast<DWORD>(plain.size()), &wrote, nullptr));
        ::CloseHandle(h);
    }

    EXPECT_EQ(RunOne(CipherDirection::Encipher, folder.Path(), u"plain.bin").status, JobStatus::Succeeded);
    const std::vector<uint8_t> enciphered = ReadRaw(folder.Path() + u"\\en_plain.bin");
    EXPECT_EQ(enciphered.size(), plain.size());
    EXPECT_NE(enciphered, plain);

    EXPECT_EQ(RunOne(CipherDirection::Decipher, folder.Path(), u"en_plain.bin").status, JobStatus::Succeeded);
    EXPECT_EQ(ReadRaw(folder.Path() + u"\\de_en_plain.bin"), plain);

    // Replace and Remove on long names: an existing output is replaced whole,
    // and a failed job leaves no temporary file behind.
    EXPECT_EQ(RunOne(CipherDirection::Decipher, folder.Path(), u"en_plain.bin").status, JobStatus::Succeeded);
    EXPECT_EQ(ReadRaw(folder.Path() + u"\\de_en_plain.bin"), plain);
    EXPECT_EQ(RunOne(CipherDirection::Encipher, folder.Path(), u"missing.bin").status, JobStatus::OpenSourceFailed);

    std::vector<std::u16string> names;
    WIN32_FIND_DATAW found {};
    const HANDLE search = ::FindFirstFileW((DeepFolder::Raw(folder.Path()) + L"\\*").c_str(), &found);
    ASSERT_NE(search, INVALID_HANDLE_VALUE);
    do {
        if (found.cFileName[0] != L'.')
            names.push_back(U16(found.cFileName));
    } while (::FindNextFileW(search, &found));
    ::FindClose(search);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::u16string> {u"de_en_plain.bin", u"en_plain.bin", u"plain.bin"}));
    for (const std::u16string& name : names)
        ::DeleteFileW(DeepFolder::Raw(folder.Path() + u"\\" + name).c_str());
}

}  // namespace
}  // namespace quorvel
