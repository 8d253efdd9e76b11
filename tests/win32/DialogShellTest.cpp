// The real main dialog, created in this process from the program's own
// resources, given drops built in memory the way Explorer delivers them: which
// flow each drop starts or which box refuses it, a long path, the progress the
// taskbar button is told about, and the icons at another DPI.
//
// The dialog runs modally on the test's main thread; a second thread plays the
// user: it posts drops, reads and answers the boxes the dialog shows.
#include "cipher/CipherKey.h"
#include "dialog/DisplayTexts.h"
#include "dialog/win32/QuorvelDlg.h"
#include "tests/CipherReference.h"
#include "tests/FakeFileSystem.h"
#include "tests/TestFiles.h"
#include "tests/Waiting.h"
#include "tests/win32/DialogCaption.h"

#include <gtest/gtest.h>
#include <shlobj.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace quorvel {
namespace {

using namespace std::chrono_literals;
using test::kWaitMs;
using test::W;
using test::WaitUntil;
using win32::TaskbarState;

constexpr CipherDirection kEn = CipherDirection::Encipher;
constexpr CipherDirection kDe = CipherDirection::Decipher;
const std::u16string kPassword = u"mqzvtrk";  // the dialog's, set before it starts

// What the taskbar button was told, in order.
struct Shown {
    TaskbarState state;
    uint64_t done;
    uint64_t total;
    bool operator==(const Shown&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Shown& s)
{
    const char* state = s.state == TaskbarState::None ? "None" : s.state == TaskbarState::Normal ? "Normal" : "Error";
    return os << state << " " << s.done << "/" << s.total;
}

class TaskbarLog {
public:
    void Add(const Shown& s)
    {
        std::lock_guard lock(m_mutex);
        m_shown.push_back(s);
    }
    std::vector<Shown> All()
    {
        std::lock_guard lock(m_mutex);
        return m_shown;
    }
    bool WaitFor(const Shown& s)
    {
        return WaitUntil([&] {
            const auto all = All();
            return !all.empty() && all.back() == s;
        });
    }
    Shown Last()
    {
        const auto all = All();
        return all.empty() ? Shown {TaskbarState::None, 0, 0} : all.back();
    }

private:
    std::mutex m_mutex;
    std::vector<Shown> m_shown;
};

class FakeTaskbar final : public win32::TaskbarProgress {
public:
    explicit FakeTaskbar(TaskbarLog& log) : m_log(log) {}
    void Show(TaskbarState state, uint64_t done, uint64_t total) override { m_log.Add({state, done, total}); }

private:
    TaskbarLog& m_log;
};

// Holds a source named "held*" before its second block until the test lets
// it go on, or fail there.
class Hold {
public:
    FileStatus operator()(test::FileCall call, int n, const std::u16string& path)
    {
        if (call != test::FileCall::Read || n != 2 || path.find(u"\\held") == std::u16string::npos)
            return {};
        std::unique_lock lock(m_mutex);
        // Bounded, so a failed test cannot hang the run.
        m_cv.wait_for(lock, 30s, [this] { return m_released; });
        return m_fail ? FileStatus {FileError::Other, ERROR_CRC} : FileStatus {};
    }
    void Release(bool fail)
    {
        std::lock_guard lock(m_mutex);
        m_released = true;
        m_fail = fail;
        m_cv.notify_all();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_cv;
    bool m_released = false;
    bool m_fail = false;
};

struct Box {
    HWND window = nullptr;
    std::wstring caption;
    std::wstring text;
};

// Plays the user from the second thread.
class User {
public:
    explicit User(DWORD dialogThread) : m_thread(dialogThread) {}

    HWND Dialog() const { return m_dialog; }
    HWND Item(int id) const { return ::GetDlgItem(m_dialog, id); }

    bool WaitForDialog()
    {
        return WaitUntil([&] {
            m_dialog = FindWindowOfThread([](HWND w) {
                wchar_t caption[32] {};
                ::GetWindowTextW(w, caption, 32);
                return std::wstring(caption) == test::kMainDialogCaption;
            });
            return m_dialog != nullptr;
        });
    }

    // A box owned by the dialog; an empty one when none came within ms.
    Box WaitBox(DWORD ms = kWaitMs)
    {
        Box box;
        WaitUntil(
            [&] {
                box.window = FindWindowOfThread([&](HWND w) { return w != m_dialog; });
                return box.window != nullptr;
            },
            ms);
        if (box.window == nullptr)
            return box;
        // Its text may come a moment after the window.
        test::Pause(50);
        wchar_t caption[128] {};
        ::GetWindowTextW(box.window, caption, 128);
        box.caption = caption;
        box.text = TextOf(::GetDlgItem(box.window, 0xFFFF));
        return box;
    }

    void Answer(const Box& box, int id = IDOK)
    {
        ::PostMessageW(box.window, WM_COMMAND, id, 0);
        WaitUntil([&] { return !::IsWindow(box.window) || !::IsWindowVisible(box.window); });
    }

    // The box that a step should bring, answered.
    Box Expect(const std::wstring& caption)
    {
        const Box box = WaitBox();
        EXPECT_EQ(box.caption, caption) << "box text: " << testing::PrintToString(box.text);
        if (box.window != nullptr)
            Answer(box);
        return box;
    }

    bool NoBoxFor(DWORD ms)
    {
        const Box box = WaitBox(ms);
        if (box.window != nullptr) {
            ADD_FAILURE() << "unexpected box " << testing::PrintToString(box.caption) << ": "
                          << testing::PrintToString(box.text);
            Answer(box);
        }
        return box.window == nullptr;
    }

    // Posts a drop as Explorer's would arrive: a DROPFILES block in global
    // memory, which the dialog reads and frees.
    void Drop(POINT point, const std::vector<std::wstring>& paths, bool nonClient = false)
    {
        std::size_t chars = 1;
        for (const std::wstring& p : paths)
            chars += p.size() + 1;
        const HGLOBAL memory = ::GlobalAlloc(GHND, sizeof(DROPFILES) + chars * sizeof(wchar_t));
        auto* drop = static_cast<DROPFILES*>(::GlobalLock(memory));
        drop->pFiles = sizeof(DROPFILES);
        drop->pt = point;
        drop->fNC = nonClient;
        drop->fWide = TRUE;
        auto* at = reinterpret_cast<wchar_t*>(drop + 1);
        for (const std::wstring& p : paths) {
            std::copy(p.begin(), p.end(), at);
            at += p.size() + 1;
        }
        ::GlobalUnlock(memory);
        ::PostMessageW(m_dialog, WM_DROPFILES, reinterpret_cast<WPARAM>(memory), 0);
    }

    // The group box titled title, in the dialog's client pixels.
    RECT Group(const std::wstring& title) const
    {
        RECT found {};
        for (HWND child = ::GetWindow(m_dialog, GW_CHILD); child != nullptr;
             child = ::GetWindow(child, GW_HWNDNEXT)) {
            if ((::GetWindowLongW(child, GWL_STYLE) & BS_TYPEMASK) == BS_GROUPBOX && TextOf(child) == title) {
                ::GetWindowRect(child, &found);
                ::MapWindowPoints(nullptr, m_dialog, reinterpret_cast<POINT*>(&found), 2);
            }
        }
        return found;
    }
    POINT GroupCentre(const std::wstring& title) const
    {
        const RECT r = Group(title);
        return {(r.left + r.right) / 2, (r.top + r.bottom) / 2};
    }

    static std::wstring TextOf(HWND window)
    {
        wchar_t text[512] {};
        ::GetWindowTextW(window, text, 512);
        return text;
    }

    bool ButtonEnabled(int id) const { return ::IsWindowEnabled(Item(id)) != FALSE; }

    // Ends the dialog whatever state it is in: every box answered, a
    // question about running jobs answered yes.
    void CloseAll()
    {
        for (int round = 0; round < 50 && ::IsWindow(m_dialog); ++round) {
            const Box box = WaitBox(100);
            if (box.window != nullptr) {
                Answer(box, box.caption == W(kCloseWhileRunningCaption) ? IDYES : IDOK);
                continue;
            }
            ::PostMessageW(m_dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
            WaitUntil([&] { return !::IsWindow(m_dialog); }, 500);
        }
    }

private:
    struct Search {
        const std::function<bool(HWND)>* pred;
        HWND owner;
        HWND found;
    };

    // Visible windows of the dialog's thread: the dialog itself or one it owns.
    static BOOL CALLBACK Visit(HWND w, LPARAM param)
    {
        auto* s = reinterpret_cast<Search*>(param);
        if (!::IsWindowVisible(w))
            return TRUE;
        if (s->owner != nullptr && w != s->owner && ::GetWindow(w, GW_OWNER) != s->owner)
            return TRUE;
        if ((*s->pred)(w)) {
            s->found = w;
            return FALSE;
        }
        return TRUE;
    }

    HWND FindWindowOfThread(const std::function<bool(HWND)>& pred)
    {
        Search search {&pred, m_dialog, nullptr};
        ::EnumThreadWindows(m_thread, &User::Visit, reinterpret_cast<LPARAM>(&search));
        return search.found;
    }

    DWORD m_thread;
    HWND m_dialog = nullptr;
};

class DialogShell : public testing::Test {
protected:
    // Runs the dialog on this thread while play runs as the user on another.
    void Run(const std::function<void(User&)>& play)
    {
        DialogServices services;
        if (useTaskbarLog)
            services.taskbar = [this](HWND) { return std::make_unique<FakeTaskbar>(taskbar); };
        if (noTaskbar)
            services.taskbar = [](HWND) { return std::unique_ptr<win32::TaskbarProgress>(); };
        files.hook = std::ref(hold);
        services.fileSystem = &files;
        CQuorvelDlg dialog(std::move(services));
        dialog.m_strPassword = kPassword;
        User user(::GetCurrentThreadId());
        std::thread player([&] {
            if (user.WaitForDialog())
                play(user);
            else
                ADD_FAILURE() << "the dialog did not come up";
            hold.Release(false);
            user.CloseAll();
        });
        dialog.DoModal();
        player.join();
    }

    std::wstring Path(const std::u16string& name) const { return W(test::U16(scratch / name)); }
    std::vector<uint8_t> Write(const std::u16string& name, size_t size, uint32_t seed)
    {
        return test::WriteRandomFile(scratch / name, size, seed);
    }

    test::ScratchDir scratch;
    test::FakeFileSystem files;
    Hold hold;
    TaskbarLog taskbar;
    bool useTaskbarLog = true;
    bool noTaskbar = false;
};

// With the system's taskbar object (or none, as Wine has it) and with no
// taskbar object at all, jobs run alike.
TEST_F(DialogShell, ADroppedFileStartsTheFlowOfThePartItLandsOn)
{
    useTaskbarLog = false;
    const std::vector<uint8_t> plain = Write(u"a.bin", 3000, 1);
    for (const bool none : {false, true}) {
        SCOPED_TRACE(none ? "no taskbar object" : "the system's taskbar object");
        noTaskbar = none;
        std::filesystem::remove(scratch / u"en_a.bin");
        std::filesystem::remove(scratch / u"de_en_a.bin");
        Run([&](User& user) {
            user.Drop(user.GroupCentre(L"加密文件"), {Path(u"a.bin")});
            EXPECT_EQ(user.Expect(L"加密完成").text.rfind(L"文件加密完成,用时", 0), 0u);
            EXPECT_EQ(test::ReadFile(scratch / u"en_a.bin"), test::ReferenceFile(kEn, kPassword, plain));
            EXPECT_EQ(User::TextOf(user.Item(IDC_ENCIPHER_NAME)), L"a.bin");
            EXPECT_EQ(User::TextOf(user.Item(IDC_ENCIPHER_SIZE)), L"2.930KB");
            EXPECT_TRUE(WaitUntil([&] { return user.ButtonEnabled(IDC_ENCIPHER_BUTTON); }));

            // Beside the box, in the dialog's left margin: still the decipher part.
            const RECT de = user.Group(L"解密文件");
            user.Drop({2, (de.top + de.bottom) / 2}, {Path(u"en_a.bin")});
            user.Expect(L"解密完成");
            EXPECT_EQ(test::ReadFile(scratch / u"de_en_a.bin"), plain);
            EXPECT_EQ(User::TextOf(user.Item(IDC_DECIPHER_NAME)), L"en_a.bin");
            EXPECT_EQ(User::TextOf(user.Item(IDC_ENCIPHER_NAME)), L"a.bin") << "the other part is untouched";
        });
    }
    EXPECT_TRUE(taskbar.All().empty());
}

TEST_F(DialogShell, RefusedDropsSayWhyAndStartNothing)
{
    Write(u"a.bin", 100, 2);
    Write(u"b.bin", 100, 3);
    std::filesystem::create_directory(scratch / u"照片");
    Run([&](User& user) {
        const RECT en = user.Group(L"加密文件");
        const RECT de = user.Group(L"解密文件");
        user.Drop(user.GroupCentre(L"加密文件"), {Path(u"a.bin"), Path(u"b.bin")});
        EXPECT_EQ(user.Expect(L"拖放文件错误").text, L"拖放了2个文件，一次只能处理一个文件。");
        user.Drop(user.GroupCentre(L"解密文件"), {Path(u"照片")});
        EXPECT_EQ(user.Expect(L"拖放文件错误").text, L"“照片”是文件夹，请拖放一个文件。");
        // The password row above the boxes, the exit row below them, the title bar.
        user.Drop({(en.left + en.right) / 2, en.top / 2}, {Path(u"a.bin")});
        EXPECT_EQ(user.Expect(L"拖放位置错误").text, L"请将文件拖放到“加密文件”或“解密文件”框内。");
        RECT client {};
        ::GetClientRect(user.Dialog(), &client);
        user.Drop({(de.left + de.right) / 2, (de.bottom + client.bottom) / 2}, {Path(u"a.bin")});
        user.Expect(L"拖放位置错误");
        user.Drop({(en.left + en.right) / 2, -10}, {Path(u"a.bin")}, true);
        user.Expect(L"拖放位置错误");
        EXPECT_EQ(User::TextOf(user.Item(IDC_ENCIPHER_NAME)), L"");
        EXPECT_EQ(User::TextOf(user.Item(IDC_DECIPHER_NAME)), L"");
        // A drop that would start gets the password check of a click first.
        ::SetWindowTextW(user.Item(IDC_PASSWORD), L"abcde");
        user.Drop(user.GroupCentre(L"解密文件"), {Path(u"a.bin")});
        EXPECT_EQ(user.Expect(L"密码输入长度错误").text, W(kPasswordTooShortText));
        user.NoBoxFor(300);
    });
    EXPECT_EQ(scratch.List(), (std::vector<std::u16string> {u"a.bin", u"b.bin", u"照片"}));
}

TEST_F(DialogShell, ABusyDirectionRefusesADropTheOtherTakesIt)
{
    const std::vector<uint8_t> held = Write(u"held.bin", 4 * CIPHER_BLOCK_SIZE + 5, 5);
    const std::vector<uint8_t> small = Write(u"small.bin", 1000, 6);
    const uint64_t total = held.size();
    Run([&](User& user) {
        user.Drop(user.GroupCentre(L"加密文件"), {Path(u"held.bin")});
        // Held before its second block: the tick timer reports the first one.
        EXPECT_TRUE(taskbar.WaitFor({TaskbarState::Normal, CIPHER_BLOCK_SIZE, total})) << taskbar.Last();
        EXPECT_FALSE(user.ButtonEnabled(IDC_ENCIPHER_BUTTON));

        user.Drop(user.GroupCentre(L"加密文件"), {Path(u"small.bin")});
        EXPECT_EQ(user.Expect(L"任务进行中").text, L"正在加密文件，请等这个任务结束后再拖放。");

        user.Drop(user.GroupCentre(L"解密文件"), {Path(u"small.bin")});
        const Box done = user.WaitBox();
        EXPECT_EQ(done.caption, L"解密完成");
        // Both jobs count while the decipher box is up; the held one is still held.
        EXPECT_EQ(taskbar.Last(), (Shown {TaskbarState::Normal, CIPHER_BLOCK_SIZE + 1000, total + 1000}));
        user.Answer(done);
        EXPECT_TRUE(taskbar.WaitFor({TaskbarState::Normal, CIPHER_BLOCK_SIZE, total})) << taskbar.Last();

        hold.Release(false);
        const Box finished = user.WaitBox();
        EXPECT_EQ(finished.caption, L"加密完成");
        EXPECT_EQ(taskbar.Last(), (Shown {TaskbarState::Normal, total, total}));
        user.Answer(finished);
        EXPECT_TRUE(taskbar.WaitFor({TaskbarState::None, 0, 0})) << taskbar.Last();
    });
    EXPECT_EQ(test::ReadFile(scratch / u"en_held.bin"), test::ReferenceFile(kEn, kPassword, held));
    EXPECT_EQ(test::ReadFile(scratch / u"de_small.bin"), test::ReferenceFile(kDe, kPassword, small));
}

TEST_F(DialogShell, AFailedJobTurnsTheTaskbarButtonToTheErrorColour)
{
    const std::vector<uint8_t> held = Write(u"held.bin", 2 * CIPHER_BLOCK_SIZE + 1, 7);
    Run([&](User& user) {
        user.Drop(user.GroupCentre(L"解密文件"), {Path(u"held.bin")});
        EXPECT_TRUE(taskbar.WaitFor({TaskbarState::Normal, CIPHER_BLOCK_SIZE, held.size()})) << taskbar.Last();
        hold.Release(true);
        const Box failed = user.WaitBox();
        EXPECT_EQ(failed.caption, L"读取文件错误");
        EXPECT_EQ(taskbar.Last(), (Shown {TaskbarState::Error, CIPHER_BLOCK_SIZE, held.size()}));
        user.Answer(failed);
        EXPECT_TRUE(taskbar.WaitFor({TaskbarState::None, 0, 0})) << taskbar.Last();
    });
    EXPECT_EQ(scratch.List(), (std::vector<std::u16string> {u"held.bin"}));
}

TEST_F(DialogShell, AFileDeeperThan300CharactersGetsItsOutputBesideIt)
{
    // Folders made with extended-length calls of the test's own.
    std::u16string folder = test::U16(scratch.Path());
    std::vector<std::u16string> levels;
    while (folder.size() <= 300) {
        folder += u"\\" + std::u16string(70, static_cast<char16_t>(u'k' + levels.size())) + u"文件夹";
        levels.push_back(folder);
        ASSERT_TRUE(::CreateDirectoryW((L"\\\\?\\" + W(folder)).c_str(), nullptr));
    }
    const std::u16string source = folder + u"\\长路径.bin";
    ASSERT_GT(source.size(), 300u);
    const auto extended = [&](const std::u16string& name) {
        return std::filesystem::path(L"\\\\?\\" + W(folder + u"\\" + name));
    };
    const std::vector<uint8_t> plain = test::WriteRandomFile(extended(u"长路径.bin"), 3 * CIPHER_BLOCK_SIZE + 9, 9);
    Run([&](User& user) {
        user.Drop(user.GroupCentre(L"加密文件"), {W(source)});
        user.Expect(L"加密完成");
        EXPECT_EQ(User::TextOf(user.Item(IDC_ENCIPHER_NAME)), L"长路径.bin");
        EXPECT_TRUE(WaitUntil([&] { return user.ButtonEnabled(IDC_ENCIPHER_BUTTON); }));
        user.Drop(user.GroupCentre(L"解密文件"), {W(folder + u"\\en_长路径.bin")});
        user.Expect(L"解密完成");
    });
    EXPECT_EQ(test::ReadFile(extended(u"en_长路径.bin")), test::ReferenceFile(kEn, kPassword, plain));
    EXPECT_EQ(test::ReadFile(extended(u"de_en_长路径.bin")), plain);
    for (const char16_t* name : {u"长路径.bin", u"en_长路径.bin", u"de_en_长路径.bin"})
        ::DeleteFileW(extended(name).c_str());
    for (auto level = levels.rbegin(); level != levels.rend(); ++level)
        ::RemoveDirectoryW((L"\\\\?\\" + W(*level)).c_str());
}

SIZE IconSize(HICON icon)
{
    ICONINFO info {};
    if (icon == nullptr || !::GetIconInfo(icon, &info))
        return {0, 0};
    BITMAP bitmap {};
    ::GetObjectW(info.hbmColor != nullptr ? info.hbmColor : info.hbmMask, sizeof bitmap, &bitmap);
    if (info.hbmColor != nullptr)
        ::DeleteObject(info.hbmColor);
    ::DeleteObject(info.hbmMask);
    return {bitmap.bmWidth, info.hbmColor != nullptr ? bitmap.bmHeight : bitmap.bmHeight / 2};
}

// icon drawn at size over white, as 0x00RRGGBB pixels.
std::vector<uint32_t> Pixels(HICON icon, int size)
{
    BITMAPINFO info {};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), size, -size, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    const HDC dc = ::CreateCompatibleDC(nullptr);
    const HBITMAP bitmap = ::CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    const HGDIOBJ old = ::SelectObject(dc, bitmap);
    const RECT all {0, 0, size, size};
    ::FillRect(dc, &all, static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH)));
    ::DrawIconEx(dc, 0, 0, icon, size, size, 0, nullptr, DI_NORMAL);
    ::GdiFlush();
    const auto* p = static_cast<const uint32_t*>(bits);
    std::vector<uint32_t> pixels(p, p + size * size);
    ::SelectObject(dc, old);
    ::DeleteObject(bitmap);
    ::DeleteDC(dc);
    return pixels;
}

TEST_F(DialogShell, TheWindowIconsComeAtTheSizesTheDpiNeeds)
{
    Run([&](User& user) {
        const auto icon = [&](WPARAM which) {
            return reinterpret_cast<HICON>(::SendMessageW(user.Dialog(), WM_GETICON, which, 0));
        };
        const UINT dpi = win32::WindowDpi(user.Dialog());
        SIZE big = IconSize(icon(ICON_BIG));
        EXPECT_EQ(big.cx, win32::IconSizeForDpi(true, dpi).cx) << "at " << dpi << " DPI";
        EXPECT_EQ(IconSize(icon(ICON_SMALL)).cx, win32::IconSizeForDpi(false, dpi).cx);

        // Moved to a screen of 144 DPI: what the system tells a per-monitor window.
        RECT window {};
        ::GetWindowRect(user.Dialog(), &window);
        ::SendMessageW(user.Dialog(), WM_DPICHANGED, MAKEWPARAM(144, 144), reinterpret_cast<LPARAM>(&window));
        big = IconSize(icon(ICON_BIG));
        EXPECT_EQ(big.cx, 48);
        EXPECT_EQ(big.cy, 48);
        EXPECT_EQ(IconSize(icon(ICON_SMALL)).cx, 24);
        // The group's own 48 x 48 image, not its 32 x 32 one blown up.
        const HINSTANCE module = ::GetModuleHandleW(nullptr);
        const HICON native = static_cast<HICON>(::LoadImageW(module, MAKEINTRESOURCEW(IDR_MAINFRAME), IMAGE_ICON,
                                                             48, 48, LR_DEFAULTCOLOR));
        const HICON from32 = static_cast<HICON>(::LoadImageW(module, MAKEINTRESOURCEW(IDR_MAINFRAME), IMAGE_ICON,
                                                             32, 32, LR_DEFAULTCOLOR));
        const std::vector<uint32_t> shown = Pixels(icon(ICON_BIG), 48);
        EXPECT_EQ(shown, Pixels(native, 48));
        EXPECT_NE(shown, Pixels(from32, 48));
        ::DestroyIcon(native);
        ::DestroyIcon(from32);

        ::SendMessageW(user.Dialog(), WM_DPICHANGED, MAKEWPARAM(96, 96), reinterpret_cast<LPARAM>(&window));
        EXPECT_EQ(IconSize(icon(ICON_BIG)).cx, 32);
        EXPECT_EQ(IconSize(icon(ICON_SMALL)).cx, 16);
        EXPECT_TRUE(::IsWindowVisible(user.Dialog()));
    });
}

}  // namespace
}  // namespace quorvel
