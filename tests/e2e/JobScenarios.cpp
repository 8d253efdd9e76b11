// Scenarios about jobs: what the user sees while a file is enciphered or
// deciphered, and the files left beside the source afterwards.
#include "Scenarios.h"

#include "dialog/DisplayTexts.h"
#include "tests/TimeScale.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>

namespace e2e {

using quorvel::CipherDirection;
using quorvel::FormatSizeText;

namespace {

constexpr auto kEn = CipherDirection::Encipher;
constexpr auto kDe = CipherDirection::Decipher;
const std::u16string kPreset = u"mqzvtrk";
constexpr uint64_t kMiB = 1 << 20;

std::string Format(const char* format, double a, double b = 0, double c = 0)
{
    char text[160];
    std::snprintf(text, sizeof text, format, a, b, c);
    return text;
}

void RemoveAll(const std::vector<std::wstring>& paths)
{
    for (const auto& path : paths)
        RemoveFile(path);
}

// Another program's hold on a file, without sharing, until it goes.
std::unique_ptr<void, decltype(&CloseHandle)> Hold(const std::wstring& path)
{
    const HANDLE handle = CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    Check(handle != INVALID_HANDLE_VALUE, "cannot hold " + Narrow(path));
    return {handle, CloseHandle};
}

void CheckNoTemporary(const std::wstring& output)
{
    const std::wstring left = TemporaryBeside(output);
    Check(left.empty(), "temporary output left: " + Narrow(left));
}

// The completion text must be exactly the one for the tick count it reports.
void CheckDoneText(const JobResult& result, CipherDirection direction)
{
    const double seconds = ReportedSeconds(result.box.text);
    const auto expected = quorvel::FormatDoneText(direction, static_cast<int32_t>(std::lround(seconds * 10)));
    Check(result.box.text == W(expected.text), "completion text \"" + Narrow(result.box.text) + "\"");
}

void RoundTrip(Session& s, std::string& details)
{
    s.SetPassword(L"mqzvtrk");
    const uint64_t size = 3 * quorvel::CIPHER_BLOCK_SIZE + 1234;  // three whole blocks and a short one
    const auto plain = PatternBytes(size, 1);
    const std::wstring source = s.Work(L"plain.bin"), en = s.Work(L"en_plain.bin"), de = s.Work(L"de_en_plain.bin");
    RemoveAll({en, de});
    test::WriteFile(source, plain);
    const std::wstring decipherSize = TextOf(s.Item(IDC_DECIPHER_SIZE));

    const JobResult enResult = s.RunJob(kEn, source);
    CheckDoneText(enResult, kEn);
    Check(TextOf(s.Item(IDC_ENCIPHER_NAME)) == L"plain.bin", "name box shows \"" + Narrow(TextOf(s.Item(IDC_ENCIPHER_NAME))) + "\"");
    Check(TextOf(s.Item(IDC_ENCIPHER_SIZE)) == W(FormatSizeText(size)),
          "size box shows \"" + Narrow(TextOf(s.Item(IDC_ENCIPHER_SIZE))) + "\"");
    Check(TextOf(s.Item(IDC_DECIPHER_SIZE)) == decipherSize, "the decipher size box changed on an encipherment");
    Check(FileExists(en), "no en_plain.bin beside the source");
    Check(test::ReadFile(en) == ReferenceFile(kEn, kPreset, plain), "en_plain.bin is not the enciphered file");
    CheckNoTemporary(en);

    const std::wstring encipherSize = TextOf(s.Item(IDC_ENCIPHER_SIZE));
    const JobResult deResult = s.RunJob(kDe, en);
    CheckDoneText(deResult, kDe);
    Check(TextOf(s.Item(IDC_DECIPHER_NAME)) == L"en_plain.bin", "decipher name box shows \"" + Narrow(TextOf(s.Item(IDC_DECIPHER_NAME))) + "\"");
    Check(TextOf(s.Item(IDC_DECIPHER_SIZE)) == W(FormatSizeText(size)), "decipher size box wrong");
    Check(TextOf(s.Item(IDC_ENCIPHER_SIZE)) == encipherSize, "the encipher size box changed on a decipherment");
    Check(FileExists(de), "no de_en_plain.bin beside the source");
    Check(test::ReadFile(de) == plain, "deciphering gave different bytes");
    CheckNoTemporary(de);
    details = Narrow(TextOf(s.Item(IDC_ENCIPHER_SIZE)) + L", \"" + enResult.box.text + L"\", \"" + deResult.box.text + L"\"");
    RemoveAll({source, en, de});
}

// The size text at its edges, as the dialog shows it: nothing, and a tie.
void SmallSizes(Session& s, std::string& details)
{
    s.SetPassword(L"mqzvtrk");
    for (const uint64_t size : {uint64_t {0}, uint64_t {1088}, uint64_t {1023}}) {
        const std::wstring source = s.Work(L"small.bin"), en = s.Work(L"en_small.bin");
        RemoveAll({en});
        const auto plain = PatternBytes(size, 3);
        test::WriteFile(source, plain);
        const JobResult result = s.RunJob(kEn, source);
        Check(TextOf(s.Item(IDC_ENCIPHER_SIZE)) == W(FormatSizeText(size)),
              std::to_string(size) + " bytes show as \"" + Narrow(TextOf(s.Item(IDC_ENCIPHER_SIZE))) + "\"");
        Check(test::ReadFile(en) == ReferenceFile(kEn, kPreset, plain),
              "wrong output for " + std::to_string(size) + " bytes");
        details += (details.empty() ? "" : ", ") + Narrow(TextOf(s.Item(IDC_ENCIPHER_SIZE)));
        RemoveAll({source, en});
    }
}

void ReplaceExisting(Session& s, std::string& details)
{
    s.SetPassword(L"mqzvtrk");
    const auto plain = PatternBytes(300000, 4);
    const std::wstring source = s.Work(L"again.bin"), en = s.Work(L"en_again.bin");
    test::WriteFile(source, plain);
    test::WriteFile(en, PatternBytes(1000000, 5));  // an older, longer output
    s.RunJob(kEn, source);
    const auto bytes = test::ReadFile(en);
    Check(bytes.size() == plain.size(), "the old output was not replaced whole (size " + std::to_string(bytes.size()) +
                                            ")");
    Check(bytes == ReferenceFile(kEn, kPreset, plain), "en_again.bin is not the new enciphered file");
    CheckNoTemporary(en);
    details = "1000000-byte en_again.bin replaced by 300000 bytes";
    RemoveAll({source, en});
}

void NonAscii(Session& s, std::string& details)
{
    const std::wstring password = L"密码口令Ωé";  // six UTF-16 units, typed one by one
    HWND box = s.Item(IDC_PASSWORD);
    SetText(box, L"");
    TypeChars(box, password);
    WaitUntil([&] { return TextOf(box).size() == password.size(); }, 2000);
    // Wine answers a password box's WM_GETTEXT; Windows would not, hence the tolerance.
    const std::wstring typed = TextOf(box);
    Check(typed.empty() || typed == password, "the password box holds \"" + Narrow(typed) + "\"");

    const std::wstring name = L"密文 测试ü.bin";
    const auto plain = PatternBytes(700000, 6);
    const std::wstring source = s.Work(name), en = s.Work(L"en_" + name), de = s.Work(L"de_en_" + name);
    RemoveAll({en, de});
    test::WriteFile(source, plain);
    s.RunJob(kEn, source);
    Check(TextOf(s.Item(IDC_ENCIPHER_NAME)) == name, "name box shows \"" + Narrow(TextOf(s.Item(IDC_ENCIPHER_NAME))) + "\"");
    Check(FileExists(en), "no en_ file with the Chinese name beside the source");
    Check(test::ReadFile(en) == ReferenceFile(kEn, U16(password), plain), "wrong bytes for the Chinese password");
    s.RunJob(kDe, en);
    Check(TextOf(s.Item(IDC_DECIPHER_NAME)) == L"en_" + name, "decipher name box shows \"" + Narrow(TextOf(s.Item(IDC_DECIPHER_NAME))) + "\"");
    Check(test::ReadFile(de) == plain, "deciphering with the Chinese password gave different bytes");
    details = Narrow(L"password " + password + L", file " + name);
    RemoveAll({source, en, de});
    s.SetPassword(L"mqzvtrk");
}

void SourceHeld(Session& s, std::string& details)
{
    s.SetPassword(L"mqzvtrk");
    const std::wstring source = s.Work(L"held.bin"), en = s.Work(L"en_held.bin");
    RemoveAll({en});
    const auto plain = PatternBytes(5000, 7);
    test::WriteFile(source, plain);
    const std::wstring sizeBefore = TextOf(s.Item(IDC_ENCIPHER_SIZE));
    MessageBoxInfo box;
    {
        const auto held = Hold(source);
        s.Pick(kEn, source);
        box = s.WaitBox(L"打开文件错误");
    }
    // It exists: the box says what is wrong with it, not that it is missing.
    Check(box.text == L"无法打开文件“held.bin”：文件正被其他程序使用。", "box text \"" + Narrow(box.text) + "\"");
    AnswerBox(box.window, IDOK);
    Check(TextOf(s.Item(IDC_ENCIPHER_NAME)) == L"held.bin", "the name box does not show the picked name");
    Check(TextOf(s.Item(IDC_ENCIPHER_SIZE)) == sizeBefore, "the size box changed although the file could not be opened");
    Check(!FileExists(en), "en_held.bin was made from a source that could not be opened");
    CheckNoTemporary(en);
    Check(IsWindowEnabled(s.Item(IDC_ENCIPHER_BUTTON)), "the encipher button is disabled after the failure");
    // Released, the same file goes through.
    s.RunJob(kEn, source);
    Check(test::ReadFile(en) == ReferenceFile(kEn, kPreset, plain), "the job after the failure gave wrong bytes");
    details = "\"打开文件错误\": in use by another program; the next job worked";
    RemoveAll({source, en});
}

// Another program holds the output name without sharing: the finished output
// cannot take that name, the user is told, the other program's file stays.
void OutputHeld(Session& s, std::string& details)
{
    s.SetPassword(L"mqzvtrk");
    const std::wstring source = s.Work(L"x.bin"), en = s.Work(L"en_x.bin");
    const auto plain = PatternBytes(600000, 8);
    const auto earlier = PatternBytes(4321, 9);
    test::WriteFile(source, plain);
    test::WriteFile(en, earlier);
    JobResult result;
    {
        const auto held = Hold(en);
        result = s.WaitResult(kEn, s.Pick(kEn, source));
    }
    Check(result.box.caption == L"创建文件错误",
          "box \"" + Narrow(result.box.caption) + "\": " + Narrow(result.box.text));
    Check(result.box.text.find(L"en_x.bin") != std::wstring::npos, "the box does not name en_x.bin: " +
                                                                          Narrow(result.box.text));
    s.Dismiss(result, kEn);
    Check(test::ReadFile(en) == earlier, "the held en_x.bin was changed");
    CheckNoTemporary(en);
    details = Narrow(L"\"" + result.box.caption + L"\": " + result.box.text);
    s.RunJob(kEn, source);
    Check(test::ReadFile(en) == ReferenceFile(kEn, kPreset, plain), "the job after the failure gave wrong bytes");
    RemoveAll({source, en});
}

// The reported time against the driver's own clock. The driver's time runs
// from the Open dialog closing to the completion box appearing, so it includes
// opening the files and showing the box: the report may be a little lower,
// never much higher. A lower bound is only fair when the driver was polling
// before the box appeared; the box takes longer to come where the program runs
// emulated.
void ElapsedTime(Session& s, std::string& details)
{
    s.SetPassword(L"mqzvtrk");
    // Some hundred MiB of real data first; on a machine that does it in under a second
    // the tenths say little, so once more with a file sized for about 1.5 s.
    uint64_t size = s.Opts().bigInRam ? 768 * kMiB : 384 * kMiB;
    for (int attempt = 0; attempt < 2; ++attempt) {
        const std::wstring source = s.Big(L"timed.bin"), en = s.Big(L"en_timed.bin");
        RemoveAll({en});
        WriteLargeFile(source, size, 21);
        // The clock starts when the job visibly starts (its button greys out),
        // not when the Open dialog disappears: Wine takes a while longer to
        // tear the file dialog down before the program gets the name back.
        const double picked = s.Pick(kEn, source);
        HWND button = s.Item(IDC_ENCIPHER_BUTTON);
        WaitUntil([&] { return !IsWindowEnabled(button); }, kWaitMs, 1);
        const double started = NowMs();
        const JobResult result = s.WaitResult(kEn, started, 120000);
        Check(result.box.caption == L"加密完成",
              "box \"" + Narrow(result.box.caption) + "\": " + Narrow(result.box.text));
        CheckDoneText(result, kEn);
        Check(TextOf(s.Item(IDC_ENCIPHER_SIZE)) == W(FormatSizeText(size)),
              "size box shows \"" + Narrow(TextOf(s.Item(IDC_ENCIPHER_SIZE))) + "\"");
        s.Dismiss(result, kEn);
        const double reported = ReportedSeconds(result.box.text);
        const double wall = result.wallMs / 1000;
        s.throughput = static_cast<double>(size) / result.wallMs;
        details = Format("%.0f MiB: reported %.1f s, measured %.2f s", static_cast<double>(size / kMiB), reported, wall) +
                  (result.watched ? "" : " (not watched)") + Format(", %.0f MB/s", s.throughput * 1000 / kMiB) +
                  Format(", started %.2f s after the Open dialog closed", (started - picked) / 1000);
        VerifyLargeOutput(source, en, kPreset, kEn);
        CheckNoTemporary(en);
        RemoveAll({source, en});
        Check(reported <= wall + 0.15 * quorvel::test::TimeScale(),
              "reported " + Format("%.1f s, more than the %.2f s measured", reported, wall));
        if (result.watched)
            Check(reported >= wall - 0.35 * quorvel::test::TimeScale(),
                  "reported " + Format("%.1f s, much less than the %.2f s measured", reported, wall));
        if (wall >= 1.0)
            break;
        size = LargeJobSize(s, 1500, 768 * kMiB, uint64_t {4} << 30);
    }
}

// Answers both completion boxes, in whichever order and nesting they come,
// and checks each text and that both buttons come back. When the jobs ran at
// the same time both boxes must be up together once, the later nested in the
// earlier one's loop.
void FinishBoth(Session& s, bool overlapped, std::string& details)
{
    std::wstring enText, deText;
    bool together = false;
    Check(WaitUntil(
              [&] {
                  HWND enBox = s.App().FindCaption(L"加密完成");
                  HWND deBox = s.App().FindCaption(L"解密完成");
                  if (enBox && enText.empty())
                      enText = ReadMessageBox(enBox).text;
                  if (deBox && deText.empty())
                      deText = ReadMessageBox(deBox).text;
                  if (enBox && deBox && !together) {
                      together = true;
                      s.Shot("two-completion-boxes");
                  }
                  // Whichever is up once the jobs allow it: the user answers it.
                  if (enBox && deBox) {
                      AnswerBox(deBox, IDOK);
                      AnswerBox(enBox, IDOK);
                  } else if (!overlapped && (enBox || deBox)) {
                      AnswerBox(enBox ? enBox : deBox, IDOK);
                  }
                  return (!enText.empty() && !deText.empty() && s.App().OtherWindows().empty()) ||
                         !s.App().Running();
              },
              60000, 20),
          "expected both completion boxes; on screen: " + s.DescribeWindows());
    Check(enText.rfind(L"文件加密完成,用时", 0) == 0, "encipher box text \"" + Narrow(enText) + "\"");
    Check(deText.rfind(L"文件解密完成,用时", 0) == 0, "decipher box text \"" + Narrow(deText) + "\"");
    if (overlapped)
        Check(together, "the two completion boxes were never up together");
    details = Narrow(L"\"" + enText + L"\" and \"" + deText + L"\"") +
              (overlapped ? ", both boxes up together" : ", NOT run at the same time (files too small here)");
    for (int id : {1000, 1001}) {
        HWND button = s.Item(id);
        if (!WaitUntil([&] { return IsWindowEnabled(button) != FALSE; }, kWaitMs))
            Fail("button " + std::to_string(id) + " stayed disabled after both boxes");
    }
}

// Both directions at once, on two files or both on one, as far as the
// machine lets them overlap: both boxes answered, both outputs right.
void BothAtOnce(Session& s, std::string& details, bool oneSource)
{
    s.SetPassword(L"mqzvtrk");
    const uint64_t enSize = LargeJobSize(s, 2000, 2048 * kMiB, 3072 * kMiB);
    const uint64_t deSize = oneSource ? enSize : enSize / 3 + 12345;
    const std::wstring a = s.Big(L"both-a.bin"), b = oneSource ? a : s.Big(L"both-b.bin");
    const std::wstring enA = s.Big(L"en_both-a.bin"), deB = s.Big(oneSource ? L"de_both-a.bin" : L"de_both-b.bin");
    RemoveAll({enA, deB});
    WriteLargeFile(a, enSize, 31);
    if (!oneSource)
        WriteLargeFile(b, deSize, 32);
    const bool overlapped = StartBoth(s, a, b);
    Check(overlapped || !s.Opts().bigInRam, "the encipherment ended before the decipherment started");
    FinishBoth(s, overlapped, details);
    Check(TextOf(s.Item(IDC_ENCIPHER_NAME)) == L"both-a.bin" && TextOf(s.Item(IDC_DECIPHER_NAME)) == b.substr(b.rfind(L'\\') + 1),
          "wrong names shown");
    Check(TextOf(s.Item(IDC_ENCIPHER_SIZE)) == W(FormatSizeText(enSize)) && TextOf(s.Item(IDC_DECIPHER_SIZE)) == W(FormatSizeText(deSize)),
          "wrong sizes shown");
    VerifyLargeOutput(a, enA, kPreset, kEn);
    VerifyLargeOutput(b, deB, kPreset, kDe);
    CheckNoTemporary(enA);
    CheckNoTemporary(deB);
    RemoveAll({a, b, enA, deB});
}

// A short job started while a long one runs ends at once, inside whatever the
// interface thread is doing; its box comes first, and the long job's box later
// on top of it or after it. Either order of answers must give both buttons back.
void LongAndShortJobs(Session& s, std::string& details)
{
    s.SetPassword(L"mqzvtrk");
    const uint64_t size = LargeJobSize(s, 2000, 2048 * kMiB, uint64_t {4} << 30);
    const std::wstring big = s.Big(L"long.bin"), en = s.Big(L"en_long.bin");
    const std::wstring small = s.Work(L"short.bin"), de = s.Work(L"de_short.bin");
    WriteLargeFile(big, size, 51);
    test::WriteFile(small, PatternBytes(5000, 52));
    for (const bool longFirst : {false, true}) {
        RemoveAll({en, de});
        s.Pick(kEn, big);
        s.Pick(kDe, small);
        HWND deBox = s.WaitBox(L"解密完成").window;
        if (!longFirst)
            AnswerBox(deBox, IDOK);
        AnswerBox(s.WaitBox(L"加密完成", 60000).window, IDOK);
        if (longFirst)
            AnswerBox(deBox, IDOK);
        for (int id : {1000, 1001}) {
            HWND button = s.Item(id);
            if (!WaitUntil([&] { return IsWindowEnabled(button) != FALSE && s.App().OtherWindows().empty(); }, kWaitMs))
                Fail("button " + std::to_string(id) + " stayed disabled after both boxes (" +
                     (longFirst ? "long" : "short") + " job's box answered first)");
        }
        Check(test::ReadFile(de) == ReferenceFile(kDe, kPreset, PatternBytes(5000, 52)), "wrong short output");
    }
    VerifyLargeOutput(big, en, kPreset, kEn);
    RemoveAll({big, en, small, de});
    details = Format("%.0f MiB and 5000 bytes, boxes answered in both orders", static_cast<double>(size / kMiB));
}

// A user clicking the button again and again while the job starts, runs and
// ends: clicks reach the button only while it and the dialog are enabled.
void RapidClicks(Session& s, std::string& details)
{
    s.SetPassword(L"mqzvtrk");
    const uint64_t size = LargeJobSize(s, 400, 256 * kMiB, 1024 * kMiB);
    const std::wstring source = s.Big(L"rapid.bin"), en = s.Big(L"en_rapid.bin");
    RemoveAll({en});
    WriteLargeFile(source, size, 51);
    HWND button = s.Item(IDC_ENCIPHER_BUTTON);
    HWND dialog = s.App().Dialog();
    int clicks = 0, busyBoxes = 0;
    HWND fileDialog = s.OpenFileDialog(kEn);
    for (int round = 0; round < 3; ++round) {
        AnswerFileDialog(fileDialog, source);
        HWND box = nullptr;
        const bool ended = WaitUntil(
            [&] {
                box = s.App().FindCaption(L"加密完成");
                if (box)
                    return true;
                if (s.App().FindFileDialog())
                    Fail("a second Open dialog came up while the job ran");
                // Refusing a start while busy with a box is fair; count and dismiss it.
                if (HWND busy = s.App().FindCaption(L"任务进行中")) {
                    ++busyBoxes;
                    AnswerBox(busy, IDOK);
                }
                if (IsWindowEnabled(button) && IsWindowEnabled(dialog) && s.App().OtherWindows().empty()) {
                    Click(button);
                    ++clicks;
                }
                return !s.App().Running();
            },
            60000, 2);
        Check(ended && box, "no completion box; on screen: " + s.DescribeWindows());
        test::Pause(200);
        const auto others = s.App().OtherWindows();
        Check(others.size() == 1 && others.front() == box, "besides the completion box: " + s.DescribeWindows());
        AnswerBox(box, IDOK);
        // The job ends: the clicks go on until one is taken, which must bring
        // exactly one Open dialog for the next job.
        fileDialog = nullptr;
        Check(WaitUntil(
                  [&] {
                      fileDialog = s.App().FindFileDialog();
                      if (!fileDialog && IsWindowEnabled(button) && IsWindowEnabled(dialog) &&
                          s.App().OtherWindows().empty()) {
                          Click(button);
                          ++clicks;
                      }
                      return fileDialog != nullptr;
                  },
                  kWaitMs, 2),
              "no Open dialog for the clicks after the job; on screen: " + s.DescribeWindows());
        test::Pause(300);
        Check(s.App().OtherWindows().size() == 1, "after the clicks: " + s.DescribeWindows());
        VerifyLargeOutput(source, en, kPreset, kEn);
        CheckNoTemporary(en);
    }
    AnswerFileDialog(fileDialog, L"");
    details = std::to_string(clicks) + " clicks while enabled, 3 jobs, one completion box and one next Open dialog each, " +
              std::to_string(busyBoxes) + " \"任务进行中\" boxes";
    RemoveAll({source, en});
}

}  // namespace

void AddJobScenarios(ScenarioList& list)
{
    list.emplace_back("round trip, preset password", RoundTrip);
    list.emplace_back("size texts 0, 1088, 1023 bytes", SmallSizes);
    list.emplace_back("existing output replaced", ReplaceExisting);
    list.emplace_back("non-ASCII name and password", NonAscii);
    list.emplace_back("source held by another program", SourceHeld);
    list.emplace_back("output name held by another program", OutputHeld);
    list.emplace_back("elapsed time on a large file", ElapsedTime);
    list.emplace_back("encipher and decipher at once", [](Session& s, std::string& d) { BothAtOnce(s, d, false); });
    list.emplace_back("both directions on one source", [](Session& s, std::string& d) { BothAtOnce(s, d, true); });
    list.emplace_back("a short job while a long one runs", LongAndShortJobs);
    list.emplace_back("rapid clicks while jobs run", RapidClicks);
}

}  // namespace e2e
