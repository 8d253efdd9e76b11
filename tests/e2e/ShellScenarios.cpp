// Scenarios about the dialog on today's Windows: its layout at the screen's
// DPI, and a file on its command line. (Drops and long paths are tested in process, in the dialog test: here
// a drop posted from another process was always found outside both parts, as
// if it lost its point on the way, and Wine's own Open dialog crashed on a
// typed path past 260 characters.)
#include "Scenarios.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace e2e {

namespace {

RECT ClientRectOf(HWND control, HWND dialog)
{
    RECT r = WindowRect(control);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

std::string Text(const RECT& r)
{
    char text[64];
    std::snprintf(text, sizeof text, "(%ld,%ld %ldx%ld)", r.left, r.top, r.right - r.left, r.bottom - r.top);
    return text;
}

INT_PTR CALLBACK QuietProc(HWND, UINT, WPARAM, LPARAM)
{
    return FALSE;
}

// The rectangle id would have if template 102 were laid out in this process,
// at this screen's DPI, from the program's own resources.
struct DluLayout {
    SIZE client {};
    std::vector<std::pair<int, RECT>> controls;
};

DluLayout LayoutFromTemplate(const std::wstring& exe)
{
    DluLayout layout;
    const HMODULE module = LoadLibraryExW(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    Check(module != nullptr, "cannot read the resources of " + Narrow(exe));
    const HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(102), MAKEINTRESOURCEW(5));
    const auto* bytes = found ? static_cast<const unsigned char*>(LockResource(LoadResource(module, found))) : nullptr;
    Check(bytes != nullptr, "no dialog template 102");
    std::vector<unsigned char> copy(bytes, bytes + SizeofResource(module, found));
    FreeLibrary(module);
    // DLGTEMPLATEEX: the style follows dlgVer, signature, helpID and exStyle. Hidden, not system-modal.
    DWORD style = 0;
    std::memcpy(&style, copy.data() + 12, sizeof style);
    style &= ~static_cast<DWORD>(WS_VISIBLE | DS_SYSMODAL);
    std::memcpy(copy.data() + 12, &style, sizeof style);
    const HWND dialog = CreateDialogIndirectParamW(GetModuleHandleW(nullptr),
                                                   reinterpret_cast<const DLGTEMPLATE*>(copy.data()), nullptr,
                                                   QuietProc, 0);
    Check(dialog != nullptr, "cannot lay out the template here");
    RECT client {};
    GetClientRect(dialog, &client);
    layout.client = {client.right, client.bottom};
    for (int id : {1000, 1001, 1002, 1003, 1004, 1005, 1006, 1007})
        layout.controls.emplace_back(id, ClientRectOf(GetDlgItem(dialog, id), dialog));
    DestroyWindow(dialog);
    return layout;
}

UINT ScreenDpi()
{
    const HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSX);
    ReleaseDC(nullptr, screen);
    return static_cast<UINT>(dpi);
}

// The dialog at the screen's DPI: every control where the dialog units put it
// at that DPI (within a pixel), the client area that big. (The icons' sizes
// cannot be read from another process under Wine; the dialog test checks them.)
void DpiLayout(Session& s, std::string& details)
{
    const UINT dpi = ScreenDpi();
    Check(s.Opts().dpi == 0 || dpi == s.Opts().dpi,
          "the screen has " + std::to_string(dpi) + " DPI, not " + std::to_string(s.Opts().dpi));
    HWND dialog = s.App().Dialog();
    const DluLayout expected = LayoutFromTemplate(s.Opts().exe);
    RECT client {};
    GetClientRect(dialog, &client);
    Check(std::abs(client.right - expected.client.cx) <= 1 && std::abs(client.bottom - expected.client.cy) <= 1,
          "client area " + std::to_string(client.right) + "x" + std::to_string(client.bottom) + ", dialog units give " +
              std::to_string(expected.client.cx) + "x" + std::to_string(expected.client.cy));
    for (const auto& [id, want] : expected.controls) {
        const RECT got = ClientRectOf(s.Item(id), dialog);
        const bool close = std::abs(got.left - want.left) <= 1 && std::abs(got.top - want.top) <= 1 &&
                           std::abs(got.right - want.right) <= 1 && std::abs(got.bottom - want.bottom) <= 1;
        Check(close, "control " + std::to_string(id) + " at " + Text(got) + ", dialog units give " + Text(want));
    }
    s.Shot("dpi-" + std::to_string(dpi));
    details = std::to_string(dpi) + " DPI: client " + std::to_string(client.right) + "x" + std::to_string(client.bottom) +
              ", 8 controls where the dialog units put them";
}

// Quorvel.exe PATH, as "Send to" starts it: the dialog as usual, nothing else
// until a button is pressed; that press's Open dialog is in the file's folder
// with its name filled in (the program's working folder is elsewhere), the
// press after it is not.
void CommandLineFile(Session& s, std::string& details)
{
    const auto plain = PatternBytes(70000, 7);
    const std::wstring source = s.Work(L"sent to.txt"), en = s.Work(L"en_sent to.txt");
    RemoveFile(en);
    test::WriteFile(source, plain);
    s.App().Launch(kFirstLaunchMs, L"\"" + source + L"\"");
    s.ExpectNothingFor(1500, "a window came up before any press");
    s.SetPassword(L"mqzvtrk");
    HWND dialog = s.OpenFileDialog(quorvel::CipherDirection::Encipher);
    const std::wstring shown = FileNameText(dialog);
    Check(shown == L"sent to.txt", "the Open dialog's name box holds \"" + Narrow(shown) + "\"");
    // The bare name resolves in the folder the dialog is in.
    const JobResult result = s.WaitResult(quorvel::CipherDirection::Encipher, AnswerFileDialog(dialog, shown));
    Check(result.box.caption == L"加密完成", "box \"" + Narrow(result.box.caption) + "\": " + Narrow(result.box.text));
    s.Dismiss(result, quorvel::CipherDirection::Encipher);
    Check(test::ReadFile(en) == ReferenceFile(quorvel::CipherDirection::Encipher, u"mqzvtrk", plain),
          "en_sent to.txt is not the enciphered file");
    dialog = s.OpenFileDialog(quorvel::CipherDirection::Decipher);
    const std::wstring again = FileNameText(dialog);
    AnswerFileDialog(dialog, L"");
    Check(again != shown, "the second Open dialog is at the command line's file too");
    details = "Open dialog at \"" + Narrow(shown) + "\", enciphered beside it";
}

// What the command line cannot start gets the box the same drop gets, once
// the dialog is up.
void CommandLineRefusals(Session& s, std::string& details)
{
    const std::wstring file = s.Work(L"one.txt");
    test::WriteFile(file, {1, 2, 3});
    const struct {
        std::wstring arguments, caption, text;
    } cases[] = {
        {L"\"" + s.Opts().work + L"\"", L"拖放文件错误", L"是文件夹"},
        {L"\"" + file + L"\" \"" + file + L"\"", L"拖放文件错误", L"拖放了2个文件"},
        {L"\"" + s.Work(L"missing.txt") + L"\"", L"打开文件错误", L"文件不存在"},
        {L"CON", L"打开文件错误", L"“CON”"},
    };
    for (const auto& c : cases) {
        s.App().Launch(kWaitMs, c.arguments);
        const MessageBoxInfo box = s.WaitBox(c.caption);
        Check(box.text.find(c.text) != std::wstring::npos,
              Narrow(c.arguments) + ": \"" + Narrow(box.text) + "\" says nothing of \"" + Narrow(c.text) + "\"");
        AnswerBox(box.window, IDOK);
        details += (details.empty() ? "" : "; ") + Narrow(box.text);
    }
}

}  // namespace

void AddShellScenarios(ScenarioList& list)
{
    list.emplace_back("layout at the screen's DPI", DpiLayout);
    list.emplace_back("file on the command line", CommandLineFile);
    list.emplace_back("command line refused as a drop", CommandLineRefusals);
}

}  // namespace e2e
