// The key bytes never reach freed memory: every allocation this program frees
// is searched for them. The job's key, its expansion and the block buffers
// must all have been wiped by then, whichever way the job ends, and so must
// a password line read from standard input or typed at the console.
#include "cipher/CipherJob.h"

#include "RecordingOwner.h"
#include "TestFiles.h"
#include "platform/Terminal.h"
#include "platform/Wipe.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <new>
#include <string_view>

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace {

// The key bytes of the password being watched; 0 length watches nothing.
constexpr size_t kSecretCapacity = 32;
uint8_t g_secret[kSecretCapacity];
std::atomic<size_t> g_secretLength {0};
std::atomic<int> g_blocksWithSecret {0};

// Each block carries its size in front, so a free knows how much to search.
constexpr size_t kHeader = 16;

void* Allocate(size_t size)
{
    void* raw = std::malloc(size + kHeader);
    if (raw == nullptr)
        throw std::bad_alloc();
    std::memcpy(raw, &size, sizeof size);
    return static_cast<char*>(raw) + kHeader;
}

void Free(void* p) noexcept
{
    if (p == nullptr)
        return;
    char* raw = static_cast<char*>(p) - kHeader;
    size_t size = 0;
    std::memcpy(&size, raw, sizeof size);
    const size_t n = g_secretLength.load();
    if (n != 0) {
        const auto* bytes = static_cast<const uint8_t*>(p);
        if (std::search(bytes, bytes + size, g_secret, g_secret + n) != bytes + size)
            ++g_blocksWithSecret;
    }
    std::free(raw);
}

}  // namespace

void* operator new(size_t size)
{
    return Allocate(size);
}
void* operator new[](size_t size)
{
    return Allocate(size);
}
void operator delete(void* p) noexcept
{
    Free(p);
}
void operator delete[](void* p) noexcept
{
    Free(p);
}
void operator delete(void* p, size_t) noexcept
{
    Free(p);
}
void operator delete[](void* p, size_t) noexcept
{
    Free(p);
}

namespace quorvel {
namespace {

// Watches the key bytes of password (ASCII here, so key byte j is character
// j), or any other bytes of a secret.
class WatchKey {
public:
    explicit WatchKey(std::string_view secret)
    {
        std::memcpy(g_secret, secret.data(), secret.size());
        g_blocksWithSecret = 0;
        g_secretLength = secret.size();
    }
    ~WatchKey() { g_secretLength = 0; }
    int Leaks() const { return g_blocksWithSecret.load(); }
};

TEST(KeyWipe, NoFreedMemoryHoldsTheKeyWhateverWayTheJobEnds)
{
    test::ScratchDir dir;
    // Random contents: the key's byte sequence turns up only where the key is kept.
    test::WriteRandomFile(dir / u"a", 3 * CIPHER_BLOCK_SIZE + 17, 3);

    const struct {
        const char* what;
        const char* password;
        std::function<void(const std::u16string& password)> run;
    } ways[] = {
        {"a job that succeeds, then its record is destroyed", "Kq7!zW9@xLp#",
         [&](const std::u16string& password) {
             EXPECT_EQ(test::RunOneJob(CipherDirection::Encipher, password, dir / u"a").status, JobStatus::Succeeded);
         }},
        {"a key replaced by another before any job", "Rt5$yU8&iO2^",
         [](const std::u16string& password) {
             CipherJob job;
             job.SetKey(password);
             job.SetKey(u"another-password");
         }},
        {"a source that cannot be opened", "Mn3*bV6(cX1)",
         [&](const std::u16string& password) {
             EXPECT_EQ(test::RunOneJob(CipherDirection::Encipher, password, dir / u"missing").status,
                       JobStatus::OpenSourceFailed);
         }},
        {"a job cancelled after its first block", "Gh4_jK7+lP0=",
         [&](const std::u16string& password) {
             CipherJob job;
             test::RecordingOwner owner;
             owner.onBlock = [&job](CipherDirection, uint64_t) { job.RequestCancel(); };
             EXPECT_EQ(test::RunOneJob(job, owner, CipherDirection::Decipher, password, dir / u"a").status,
                       JobStatus::Cancelled);
         }},
    };
    for (const auto& way : ways) {
        SCOPED_TRACE(way.what);
        const WatchKey watch(way.password);
        way.run(std::u16string(way.password, way.password + std::strlen(way.password)));
        EXPECT_EQ(watch.Leaks(), 0);
    }
}

#ifndef _WIN32
// A password line read from standard input a byte at a time leaves no
// shorter copy of itself behind as its string grows.
TEST(KeyWipe, NoFreedMemoryHoldsAPasswordReadFromStandardInput)
{
    const char* password = "Wd8#qS3!fT6%";
    int ends[2];
    ASSERT_EQ(::pipe(ends), 0);
    const std::string typed = std::string(password) + std::string(100, 'p') + "\n";  // past a few string growths
    ASSERT_EQ(::write(ends[1], typed.data(), typed.size()), static_cast<ssize_t>(typed.size()));
    ::close(ends[1]);
    const int savedStdin = ::dup(STDIN_FILENO);
    ::dup2(ends[0], STDIN_FILENO);
    ::close(ends[0]);
    {
        const WatchKey watch(password);
        std::string line;
        EXPECT_EQ(ReadStdinLine(line, 1000), LineResult::Complete);
        EXPECT_EQ(line, typed);
        Wipe(line);
        EXPECT_EQ(watch.Leaks(), 0);
    }
    ::dup2(savedStdin, STDIN_FILENO);
    ::close(savedStdin);
}
#endif

#ifdef _WIN32
// Keys typed on this process's console, as a person at it would. Given in
// pieces: joined, the copies made on the way would leave a password behind.
void TypeOnConsole(std::initializer_list<std::u16string_view> pieces)
{
    // The console Wine gives a program started without a terminal takes no
    // keys; one of its own, in a window, does.
    ::FreeConsole();
    ASSERT_TRUE(::AllocConsole());
    std::vector<INPUT_RECORD> records;
    for (const std::u16string_view piece : pieces) {
        for (const char16_t key : piece) {
            const WORD virtualKey = key == u'\r' ? VK_RETURN : 0;
            records.push_back({KEY_EVENT, {.KeyEvent = {TRUE, 1, virtualKey, 0, {.UnicodeChar = wchar_t(key)}, 0}}});
        }
    }
    const HANDLE console = ::CreateFileW(L"CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                         nullptr, OPEN_EXISTING, 0, nullptr);
    DWORD written = 0;
    EXPECT_TRUE(::WriteConsoleInputW(console, records.data(), static_cast<DWORD>(records.size()), &written));
    ::CloseHandle(console);
}

// A password typed at the console goes into room taken before the first key:
// no shorter copy of it is freed as it comes in. A line past that room is
// read to its end and dropped, and the next line is the next answer.
TEST(KeyWipe, NoFreedMemoryHoldsAPasswordTypedAtTheConsole)
{
    const std::u16string password = u"Wd8#qS3!fT6%";
    const std::u16string typed = password + std::u16string(100, u'p');  // more than one console read
    TypeOnConsole({typed, u"\r", typed, std::u16string(300, u'q'), u"\rnext\r"});
    const WatchKey watch({reinterpret_cast<const char*>(password.data()), password.size() * 2});
    std::u16string answer;
    EXPECT_EQ(AskPassword(u"", answer, 1000), AskResult::Ok);
    EXPECT_EQ(answer, typed);
    Wipe(answer);
    EXPECT_EQ(AskPassword(u"", answer, 150), AskResult::TooLong);
    EXPECT_TRUE(answer.empty());
    EXPECT_EQ(watch.Leaks(), 0);
    EXPECT_EQ(AskPassword(u"", answer, 1000), AskResult::Ok);
    EXPECT_EQ(answer, u"next");
}
#endif

TEST(KeyWipe, TheWatchSeesAnUnwipedKey)
{
    // The search itself works: a copy of the key freed as it is is found.
    const char* password = "Zx9%cV2&bN5*";
    const WatchKey watch(password);
    auto* copy = new uint8_t[64];
    std::memcpy(copy + 20, password, std::strlen(password));
    delete[] copy;
    EXPECT_EQ(watch.Leaks(), 1);
}

}  // namespace
}  // namespace quorvel
