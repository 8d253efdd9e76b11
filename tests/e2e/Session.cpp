// The session the scenarios share (one running program, relaunched after a
// scenario that ended it or left it in a bad state), the helpers for a job as
// the user runs it, and the runner that prints one line per scenario.
#include "Scenarios.h"

#include "dialog/DisplayTexts.h"
#include "tests/TimeScale.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <exception>

namespace e2e {

using quorvel::CipherDirection;

namespace {

const wchar_t* const kFailureCaptions[] = {L"打开文件错误", L"创建文件错误", L"读取文件错误", L"写入文件错误",
                                           L"任务进行中"};

int ButtonOf(CipherDirection direction)
{
    return direction == CipherDirection::Encipher ? 1000 : 1001;
}

std::wstring DoneCaption(CipherDirection direction)
{
    return direction == CipherDirection::Encipher ? L"加密完成" : L"解密完成";
}

// True when only is empty or one of its comma-separated parts is in name.
bool Selected(const std::string& only, const std::string& name)
{
    if (only.empty())
        return true;
    for (size_t start = 0; start <= only.size();) {
        const size_t end = std::min(only.find(',', start), only.size());
        if (end > start && name.find(only.substr(start, end - start)) != std::string::npos)
            return true;
        start = end + 1;
    }
    return false;
}

}  // namespace

Session::Session(const Options& options) : m_options(options), m_program(options.exe, options.cwd) {}

void Session::EnsureRunning()
{
    if (m_program.Running() && IsShown(m_program.Dialog()))
        return;
    const DWORD timeout = m_firstLaunch ? kFirstLaunchMs : kWaitMs;
    m_firstLaunch = false;
    m_lastLaunchMs = m_program.Launch(timeout);
}

void Session::SetPassword(const std::wstring& password)
{
    e2e::SetText(Item(IDC_PASSWORD), password);
}

HWND Session::OpenFileDialog(CipherDirection direction)
{
    Check(m_program.OtherWindows().empty(), "a window is already up before the click: " + DescribeWindows());
    Trace("click for the Open dialog");
    Click(Item(ButtonOf(direction)));
    // The Open dialog can be visible a moment before its name box exists; any
    // other window that stays for a second is an answer instead of the dialog.
    HWND dialog = nullptr;
    double otherSince = 0;
    WaitUntil(
        [&] {
            dialog = m_program.FindFileDialog();
            if (dialog)
                return true;
            if (m_program.OtherWindows().empty())
                otherSince = 0;
            else if (otherSince == 0)
                otherSince = NowMs();
            const bool otherStays = otherSince != 0 && NowMs() - otherSince > 1000.0 * quorvel::test::TimeScale();
            return otherStays || !m_program.Running();
        },
        kWaitMs);
    Trace("Open dialog up");
    if (!dialog)
        Fail(otherSince != 0 ? "instead of the Open dialog: " + DescribeWindows() : "no Open dialog after the click");
    return dialog;
}

double Session::Pick(CipherDirection direction, const std::wstring& path)
{
    HWND dialog = OpenFileDialog(direction);
    return AnswerFileDialog(dialog, path);
}

JobResult Session::WaitResult(CipherDirection direction, double pickedAt, DWORD timeoutMs)
{
    JobResult result;
    const std::wstring done = DoneCaption(direction);
    bool first = true;
    HWND box = nullptr;
    WaitUntil(
        [&] {
            box = m_program.FindCaption(done);
            for (const wchar_t* caption : kFailureCaptions)
                if (!box)
                    box = m_program.FindCaption(caption);
            if (!box && first)
                result.watched = true;
            first = false;
            return box != nullptr || !m_program.Running();
        },
        timeoutMs, 15);
    result.wallMs = NowMs() - pickedAt;
    Trace("result box seen");
    if (!box)
        Fail(m_program.Running() ? "no completion box; on screen: " + DescribeWindows()
                                 : "the program ended during the job");
    result.box = ReadMessageBox(box);
    return result;
}

void Session::Dismiss(const JobResult& result, CipherDirection direction)
{
    AnswerBox(result.box.window, IDOK);
    Trace("result box answered");
    HWND button = Item(ButtonOf(direction));
    if (!WaitUntil([&] { return IsWindowEnabled(button) != FALSE; }, kWaitMs))
        Fail("button " + std::to_string(ButtonOf(direction)) + " stayed disabled after the box was dismissed");
}

JobResult Session::RunJob(CipherDirection direction, const std::wstring& path, DWORD timeoutMs)
{
    const double picked = Pick(direction, path);
    JobResult result = WaitResult(direction, picked, timeoutMs);
    const std::wstring done = DoneCaption(direction);
    if (result.box.caption != done)
        Fail("box \"" + Narrow(result.box.caption) + "\": " + Narrow(result.box.text));
    const double seconds = ReportedSeconds(result.box.text);
    const std::wstring prefix = direction == CipherDirection::Encipher ? L"文件加密完成,用时" : L"文件解密完成,用时";
    if (result.box.text.rfind(prefix, 0) != 0 || seconds < 0)
        Fail("completion text \"" + Narrow(result.box.text) + "\"");
    Dismiss(result, direction);
    return result;
}

MessageBoxInfo Session::WaitBox(const std::wstring& caption, DWORD timeoutMs)
{
    HWND box = nullptr;
    WaitUntil(
        [&] {
            box = m_program.FindCaption(caption);
            return box != nullptr || !m_program.Running();
        },
        timeoutMs, 5);
    if (!box)
        Fail("no box \"" + Narrow(caption) + "\"; on screen: " + DescribeWindows());
    return ReadMessageBox(box);
}

void Session::ExpectNothingFor(DWORD ms, const std::string& what)
{
    if (WaitUntil([&] { return !m_program.OtherWindows().empty(); }, ms, 20))
        Fail(what + ": " + DescribeWindows());
}

std::string Session::DescribeWindows()
{
    std::string description;
    for (HWND window : m_program.OtherWindows()) {
        const MessageBoxInfo info = ReadMessageBox(window);
        if (!description.empty())
            description += "; ";
        description += "\"" + Narrow(info.caption) + "\"";
        if (!info.text.empty())
            description += " (" + Narrow(info.text) + ")";
    }
    return description.empty() ? "nothing" : description;
}

ScreenImage Session::Shot(const std::string& name)
{
    // X shows Wine's window changes a moment later (an emulated program's later still).
    Sleep(400 * quorvel::test::TimeScale());
    ScreenImage image = ScreenImage::Capture();
    if (!m_options.shots.empty()) {
        char prefix[8];
        std::snprintf(prefix, sizeof prefix, "%02d-", ++m_shotCount);
        std::wstring file = m_options.shots + L"\\";
        // Plain names for the files: letters and digits, the rest as '-'.
        for (char c : std::string(prefix) + name)
            file += std::isalnum(static_cast<unsigned char>(c)) ? static_cast<wchar_t>(c) : L'-';
        image.Save(file + L".bmp");
    }
    return image;
}

// Size of a large job that keeps the program busy for about ms milliseconds,
// once a first large job has shown how fast it goes here.
uint64_t LargeJobSize(Session& s, double ms, uint64_t least, uint64_t cap)
{
    // On a disk, outputs of several GiB would slow down under writeback.
    if (!s.Opts().bigInRam)
        least = std::min<uint64_t>(least, 256 << 20), cap = std::min<uint64_t>(cap, 512 << 20);
    const double bytes = s.throughput * ms;
    return static_cast<uint64_t>(std::clamp(bytes, static_cast<double>(least), static_cast<double>(cap))) &
           ~uint64_t {0xFFFF};
}

// Starts the encipherment, waits until it visibly runs, then starts the
// decipherment. True if the decipherment started while the encipherment still
// ran; a completion box that came up while the second Open dialog was open
// holds that dialog's answer back until it is dismissed.
bool StartBoth(Session& s, const std::wstring& enSource, const std::wstring& deSource)
{
    s.Pick(CipherDirection::Encipher, enSource);
    HWND enButton = s.Item(IDC_ENCIPHER_BUTTON);
    Check(WaitUntil([&] { return !IsWindowEnabled(enButton) || !s.App().OtherWindows().empty(); }, kWaitMs),
          "the encipher button was never disabled");
    Check(!IsWindowEnabled(enButton), "the encipher button is enabled while its job runs");
    if (!s.App().OtherWindows().empty())
        Fail("the encipherment ended before the decipherment could start: " + s.DescribeWindows());
    s.Pick(CipherDirection::Decipher, deSource);
    HWND deButton = s.Item(IDC_DECIPHER_BUTTON);
    WaitUntil([&] { return !IsWindowEnabled(deButton) || s.App().FindCaption(L"加密完成"); }, kWaitMs);
    const bool overlapped = !IsWindowEnabled(deButton) && !s.App().FindCaption(L"加密完成");
    Check(!IsWindowEnabled(enButton) || s.App().FindCaption(L"加密完成"),
          "the encipher button came back while its job ran");
    return overlapped;
}

namespace {

// Files above this size are written with real data only at both ends and a
// hole between (sparse, so they cost neither time nor memory); their outputs
// are checked at both ends and at every 97th block in between.
constexpr uint64_t kFullDataLimit = uint64_t {1} << 30;
constexpr uint64_t kHeadBytes = 16 << 20;
constexpr uint64_t kTailBytes = 4 << 20;

bool SeekTo(HANDLE file, uint64_t offset)
{
    LARGE_INTEGER to;
    to.QuadPart = static_cast<LONGLONG>(offset);
    return SetFilePointerEx(file, to, nullptr, FILE_BEGIN) != FALSE;
}

}  // namespace

void VerifyLargeOutput(const std::wstring& source, const std::wstring& output, const std::u16string& password,
                       CipherDirection direction)
{
    const uint64_t size = std::filesystem::file_size(source), written = std::filesystem::file_size(output);
    Check(written == size, "output size " + std::to_string(written) + " differs from " + std::to_string(size));
    HANDLE in = CreateFileW(source.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    HANDLE out = CreateFileW(output.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    std::string problem;
    if (in == INVALID_HANDLE_VALUE || out == INVALID_HANDLE_VALUE)
        problem = "cannot open the files to compare";
    const auto key = quorvel::test::ReferenceKey(password);
    std::vector<uint8_t> plain(quorvel::CIPHER_BLOCK_SIZE), expected(plain.size()), actual(plain.size());
    const bool sampled = size > kFullDataLimit;
    uint64_t index = 0;
    for (uint64_t at = 0; problem.empty() && at < size; at += quorvel::CIPHER_BLOCK_SIZE, ++index) {
        if (sampled && at >= kHeadBytes && at + kTailBytes + quorvel::CIPHER_BLOCK_SIZE < size && index % 97 != 0)
            continue;
        const DWORD n = static_cast<DWORD>(std::min<uint64_t>(quorvel::CIPHER_BLOCK_SIZE, size - at));
        DWORD got1 = 0, got2 = 0;
        if (!SeekTo(in, at) || !SeekTo(out, at) || !ReadFile(in, plain.data(), n, &got1, nullptr) ||
            !ReadFile(out, actual.data(), n, &got2, nullptr) || got1 != n || got2 != n) {
            problem = "short read while comparing";
            break;
        }
        quorvel::test::ReferenceBlock(direction, key, plain.data(), expected.data(), n);
        if (std::memcmp(expected.data(), actual.data(), n) != 0)
            problem = "output differs in the block at byte " + std::to_string(at);
    }
    if (in != INVALID_HANDLE_VALUE)
        CloseHandle(in);
    if (out != INVALID_HANDLE_VALUE)
        CloseHandle(out);
    Check(problem.empty(), problem);
}

std::vector<uint8_t> PatternBytes(size_t n, uint32_t seed)
{
    std::vector<uint8_t> bytes(n);
    uint32_t x = seed * 2654435761u + 1;
    for (auto& b : bytes) {
        x ^= x << 13, x ^= x >> 17, x ^= x << 5;
        b = static_cast<uint8_t>(x >> 7);
    }
    return bytes;
}

void WriteLargeFile(const std::wstring& path, uint64_t size, uint32_t seed)
{
    constexpr size_t kChunk = 1 << 20;
    const std::vector<uint8_t> pattern = PatternBytes(kChunk + 256, seed);
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        Fail("cannot create " + Narrow(path));
    const bool sparse = size > kFullDataLimit;
    bool ok = true;
    for (uint64_t at = 0, i = 0; ok && at < size; at += kChunk, ++i) {
        if (sparse && at == kHeadBytes) {
            at = (size - kTailBytes) & ~uint64_t {kChunk - 1};
            ok = SeekTo(file, at);
        }
        const DWORD n = static_cast<DWORD>(std::min<uint64_t>(kChunk, size - at));
        DWORD wrote = 0;
        ok = ok && WriteFile(file, pattern.data() + (i * 37) % 256, n, &wrote, nullptr) && wrote == n;
    }
    ok = CloseHandle(file) && ok;
    Check(ok, "cannot write " + Narrow(path));
}

double ReportedSeconds(const std::wstring& text)
{
    const size_t start = text.find(L"用时");
    const size_t end = text.rfind(L"秒");
    if (start == std::wstring::npos || end == std::wstring::npos || end < start + 2)
        return -1;
    const std::wstring number = text.substr(start + 2, end - start - 2);
    if (number == L"少于0.1")
        return 0;
    // Digits, one point, one decimal.
    const size_t point = number.find(L'.');
    if (point == std::wstring::npos || point == 0 || point + 2 != number.size() ||
        number.find_first_not_of(L"0123456789", point + 1) != std::wstring::npos ||
        number.find_first_not_of(L"0123456789") != point)
        return -1;
    return std::stod(number);
}

int RunScenarios(const Options& options)
{
    ScenarioList scenarios;
    AddWindowScenarios(scenarios);
    AddJobScenarios(scenarios);
    AddAppearanceScenarios(scenarios);
    AddShellScenarios(scenarios);
    AddEndingScenarios(scenarios);

    Session session(options);
    int passed = 0, failed = 0, failedLaunches = 0;
    for (const auto& [name, body] : scenarios) {
        if (!Selected(options.only, name))
            continue;
        std::string details, problem;
        const double start = NowMs();
        try {
            // A program that twice failed to start will not start now either:
            // say so at once instead of waiting out every scenario's deadline.
            if (failedLaunches >= 2)
                Fail("not run: the program does not start");
            try {
                session.EnsureRunning();
                failedLaunches = 0;
            } catch (const Failure&) {
                ++failedLaunches;
                throw;
            }
            body(session, details);
            if (session.App().Running() && !session.App().OtherWindows().empty())
                Fail("left on screen: " + session.DescribeWindows());
        } catch (const Failure& failure) {
            problem = failure.message;
        } catch (const std::exception& error) {
            problem = std::string("exception: ") + error.what();
        }
        const auto leftovers = test::ListFolder(options.cwd);
        if (problem.empty() && !leftovers.empty())
            problem = "the working folder is no longer empty: " + test::ReadableName(leftovers.front());
        for (const auto& leftover : leftovers)
            RemoveFile(options.cwd + L"\\" + W(leftover));
        const double seconds = (NowMs() - start) / 1000;
        if (problem.empty()) {
            ++passed;
            std::printf("PASS %-34s %5.1fs  %s\n", name.c_str(), seconds, details.c_str());
        } else {
            ++failed;
            std::printf("FAIL %-34s %5.1fs  %s\n", name.c_str(), seconds, problem.c_str());
            if (failedLaunches < 2)
                session.Shot("failed-" + name);
            // Bring the program back to its idle dialog, or start it afresh.
            bool idle = false;
            try {
                idle = CloseStrayWindows(session.App()) &&
                       WaitUntil(
                           [&] {
                               CloseStrayWindows(session.App());
                               return IsWindowEnabled(session.Item(IDC_ENCIPHER_BUTTON)) && IsWindowEnabled(session.Item(IDC_DECIPHER_BUTTON));
                           },
                           kWaitMs, 100);
            } catch (const Failure&) {
            }
            if (!idle)
                session.App().Kill();
        }
    }
    session.App().Kill();
    std::printf("%d passed, %d failed\n", passed, failed);
    return failed == 0 && passed > 0 ? 0 : 1;
}

}  // namespace e2e
