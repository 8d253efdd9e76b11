// Scenarios about how the dialog looks, judged from captures of the screen:
// the background picture stretched over the client area, the colour of each
// control's text, no grey behind the texts, and a full repaint after another
// window covered the dialog.
#include "Scenarios.h"
#include "tests/TimeScale.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace e2e {

using quorvel::CipherDirection;

namespace {

// Screen colours as 0x00RRGGBB, from their red, green and blue.
constexpr uint32_t Rgb(uint32_t red, uint32_t green, uint32_t blue)
{
    return red << 16 | green << 8 | blue;
}
constexpr uint32_t kBlue = Rgb(0, 0, 255), kRed = Rgb(255, 0, 0), kGreen = Rgb(0, 255, 0);
constexpr uint32_t kRedViolet = Rgb(255, 0, 128), kMagenta = Rgb(255, 0, 255), kGrey = Rgb(128, 128, 128);

int Channel(uint32_t colour, int shift)
{
    return static_cast<int>((colour >> shift) & 0xFF);
}

bool Near(uint32_t a, uint32_t b, int tolerance)
{
    for (int shift : {0, 8, 16})
        if (std::abs(Channel(a, shift) - Channel(b, shift)) > tolerance)
            return false;
    return true;
}

bool Inside(const RECT& r, int x, int y, int margin = 0)
{
    return x >= r.left - margin && x < r.right + margin && y >= r.top - margin && y < r.bottom + margin;
}

struct Child {
    HWND window;
    int id;
    std::wstring className;
    std::wstring text;
    LONG style;
    RECT rect;  // screen
};

BOOL CALLBACK CollectChild(HWND window, LPARAM param)
{
    auto* children = reinterpret_cast<std::vector<Child>*>(param);
    if (IsWindowVisible(window))
        children->push_back({window, GetDlgCtrlID(window), ClassOf(window), TextOf(window),
                             GetWindowLongW(window, GWL_STYLE), WindowRect(window)});
    return TRUE;
}

std::vector<Child> Children(HWND dialog)
{
    std::vector<Child> children;
    EnumChildWindows(dialog, CollectChild, reinterpret_cast<LPARAM>(&children));
    return children;
}

bool IsGroupBox(const Child& child)
{
    return child.className == L"Button" && (child.style & 0xF) == BS_GROUPBOX;
}

Bitmap LoadPicture(Session& s)
{
    Bitmap picture;
    Check(!s.Opts().bitmap.empty() && LoadBitmapFile(s.Opts().bitmap, picture),
          "cannot read the background picture " + Narrow(s.Opts().bitmap));
    return picture;
}

// True if the screen pixel at (x, y) is one the picture stretched over client
// can give there: any picture pixel close to the mapped point, since stretch
// modes differ in which source pixel they keep.
bool MatchesPicture(const Bitmap& picture, const RECT& client, int x, int y, uint32_t actual)
{
    const int width = client.right - client.left, height = client.bottom - client.top;
    const int sx = (x - client.left) * picture.width / width;
    const int sy = (y - client.top) * picture.height / height;
    for (int ny = std::max(0, sy - 2); ny <= std::min(picture.height - 1, sy + 2); ++ny)
        for (int nx = std::max(0, sx - 2); nx <= std::min(picture.width - 1, sx + 2); ++nx)
            if (Near(picture.At(nx, ny), actual, 4))
                return true;
    return false;
}

struct Tally {
    int matched = 0;
    int total = 0;
    std::string Text() const { return std::to_string(matched) + "/" + std::to_string(total); }
    bool AtLeast(double share) const { return total > 0 && matched >= share * total; }
};

void Background(Session& s, std::string& details)
{
    const Bitmap picture = LoadPicture(s);
    Check(picture.width == 463 && picture.height == 297, "the picture is not 463 x 297");
    HWND dialog = s.App().Dialog();
    const ScreenImage screen = s.Shot("appearance");
    const RECT client = ClientScreenRect(dialog);
    const auto children = Children(dialog);

    int cornersMatched = 0;
    std::string cornerColours;
    for (const POINT corner : {POINT {client.left + 2, client.top + 2}, POINT {client.right - 3, client.top + 2},
                               POINT {client.left + 2, client.bottom - 3}, POINT {client.right - 3, client.bottom - 3}}) {
        const uint32_t colour = screen.At(corner.x, corner.y);
        cornersMatched += MatchesPicture(picture, client, corner.x, corner.y, colour);
        char hex[12];
        std::snprintf(hex, sizeof hex, " %06X", static_cast<unsigned>(colour));
        cornerColours += hex;
    }

    // Between the controls, and inside the group boxes away from their frames
    // and from the controls they hold.
    Tally between, inGroups;
    for (int y = client.top + 4; y < client.bottom - 4; y += 6) {
        for (int x = client.left + 4; x < client.right - 4; x += 6) {
            bool inControl = false, inGroup = false;
            for (const Child& child : children) {
                if (IsGroupBox(child)) {
                    RECT inner = child.rect;
                    InflateRect(&inner, -12, -12);
                    inGroup |= Inside(inner, x, y);
                    inControl |= Inside(child.rect, x, y, 3) && !Inside(inner, x, y);
                } else {
                    inControl |= Inside(child.rect, x, y, 3);
                }
            }
            if (inControl)
                continue;
            Tally& tally = inGroup ? inGroups : between;
            ++tally.total;
            tally.matched += MatchesPicture(picture, client, x, y, screen.At(x, y));
        }
    }
    details = "corners" + cornerColours + " (" + std::to_string(cornersMatched) + "/4 match), between controls " +
              between.Text() + ", inside group boxes " + inGroups.Text();
    Check(cornersMatched == 4, "client corners are not the picture:" + cornerColours);
    Check(between.AtLeast(0.95), "between the controls the picture shows at " + between.Text() + " points");
    Check(inGroups.AtLeast(0.9), "inside the group boxes the picture shows at " + inGroups.Text() + " points");
}

// True if p looks like the text colour drawn over the pale picture, anti-aliased:
// p = a * colour + (1 - a) * white with one clear a for every channel the
// colour lacks, and its full channels still bright.
bool LooksLike(uint32_t p, uint32_t colour)
{
    double low = 1, high = 0;
    for (int shift : {0, 8, 16}) {
        const int c = Channel(colour, shift), v = Channel(p, shift);
        if (c == 255) {
            if (v < 170)
                return false;
            continue;
        }
        const double a = std::clamp((255.0 - v) / (255.0 - c), 0.0, 1.5);
        low = std::min(low, a);
        high = std::max(high, a);
    }
    return low >= 0.4 && high - low <= 0.25;
}

bool LooksBlack(uint32_t p)
{
    const int r = Channel(p, 16), g = Channel(p, 8), b = Channel(p, 0);
    return std::max({r, g, b}) < 90 && std::max({r, g, b}) - std::min({r, g, b}) < 30;
}

// Pixels of a control's client area: how many are in the text colour, how many
// look like default black text, and how many are plain grey.
struct TextPixels {
    int coloured = 0;
    int black = 0;
    int grey = 0;
    int total = 0;
};

// A grey pixel counts as a fill only where the picture is not that colour itself.
// Only the 808080 background colour set for edits and the clock is grey here:
// controls fill with the dialog's own brush (the button face) by design, and the
// grey must stay invisible because every text is drawn in transparent mode.
TextPixels Count(const ScreenImage& screen, const RECT& r, uint32_t colour, const Bitmap& picture, const RECT& client)
{
    TextPixels pixels;
    for (int y = r.top; y < r.bottom; ++y) {
        for (int x = r.left; x < r.right; ++x) {
            const uint32_t p = screen.At(x, y);
            ++pixels.total;
            pixels.coloured += LooksLike(p, colour);
            pixels.black += LooksBlack(p);
            pixels.grey += Near(p, kGrey, 3) && !MatchesPicture(picture, client, x, y, p);
        }
    }
    return pixels;
}

struct TextFindings {
    size_t controls = 0;
    std::string colour;  // texts missing their colour or drawn black
    std::string grey;    // grey filled behind texts
};

// Looks at every control that shows text, in one capture.
TextFindings LookAtTexts(Session& s, const std::string& shot)
{
    // Every box needs a text to show its colour: run one small job each way if a name is missing.
    if (TextOf(s.Item(IDC_ENCIPHER_NAME)).empty() || TextOf(s.Item(IDC_DECIPHER_NAME)).empty()) {
        s.SetPassword(L"mqzvtrk");
        const std::wstring source = s.Work(L"colours.bin");
        test::WriteFile(source, PatternBytes(2000, 81));
        s.RunJob(CipherDirection::Encipher, source);
        s.RunJob(CipherDirection::Decipher, source);
        RemoveFile(s.Work(L"en_colours.bin"));
        RemoveFile(s.Work(L"de_colours.bin"));
        RemoveFile(source);
    }
    HWND dialog = s.App().Dialog();
    const ScreenImage screen = s.Shot(shot);
    const Bitmap picture = LoadPicture(s);
    const RECT client = ClientScreenRect(dialog);
    struct Expect {
        RECT area;  // screen pixels where the control's text is drawn
        uint32_t colour;
        std::string what;
    };
    const auto inside = [](HWND control) {
        RECT r = ClientScreenRect(control);
        InflateRect(&r, -1, -1);
        return r;
    };
    std::vector<Expect> expects = {
        {inside(s.Item(IDC_ENCIPHER_NAME)), kBlue, "encipher name"}, {inside(s.Item(IDC_DECIPHER_NAME)), kBlue, "decipher name"},
        {inside(s.Item(IDC_ENCIPHER_SIZE)), kRed, "encipher size"},  {inside(s.Item(IDC_DECIPHER_SIZE)), kRed, "decipher size"},
        {inside(s.Item(IDC_PASSWORD)), kGreen, "password"},     {inside(s.Item(IDC_CLOCK)), kRedViolet, "clock"},
    };
    int labels = 0, groups = 0;
    for (const Child& child : Children(dialog)) {
        if (child.text.empty())
            continue;
        if (child.className == L"Static" && (child.id == -1 || child.id == 0xFFFF)) {
            expects.push_back({inside(child.window), kMagenta, "label " + Narrow(child.text)});
            ++labels;
        } else if (IsGroupBox(child)) {
            // Only the title band: the controls the box frames lie inside its rectangle.
            RECT title = child.rect;
            title.bottom = std::min(title.bottom, title.top + 16);
            expects.push_back({title, kMagenta, "group box " + Narrow(child.text)});
            ++groups;
        }
    }
    Check(labels == 5 && groups == 2, "expected 5 labels and 2 group boxes, found " + std::to_string(labels) + " and " +
                                          std::to_string(groups));
    TextFindings findings;
    findings.controls = expects.size();
    for (const Expect& expect : expects) {
        const TextPixels pixels = Count(screen, expect.area, expect.colour, picture, client);
        if (pixels.coloured < 4)
            findings.colour += "; " + expect.what + " has no text in its colour";
        if (pixels.black > 0)
            findings.colour += "; " + expect.what + " has " + std::to_string(pixels.black) + " black pixels";
        if (pixels.grey > 0)
            findings.grey += "; " + expect.what + " (" + std::to_string(pixels.grey) + " of " +
                             std::to_string(pixels.total) + " pixels)";
    }
    return findings;
}

void TextColours(Session& s, std::string& details)
{
    const TextFindings findings = LookAtTexts(s, "text-colours");
    Check(findings.colour.empty(), findings.colour.substr(findings.colour.empty() ? 0 : 2));
    Check(findings.grey.empty(), "grey behind the text of " + findings.grey.substr(findings.grey.empty() ? 0 : 2));
    details = std::to_string(findings.controls) + " controls show their text in their colour, none black, and no "
              "808080 grey behind it (other than the picture's own colour)";
}

LRESULT CALLBACK CoverProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return DefWindowProcW(window, message, wParam, lParam);
}

void Pump(DWORD ms)
{
    const double end = NowMs() + ms * quorvel::test::TimeScale();
    while (NowMs() < end) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        Sleep(10);
    }
}

// The dialog's client area, sampled now (the capture named shot) and in
// before, must be as it was after what happened; the clock is left out, it moves on.
void ExpectAsBefore(Session& s, const ScreenImage& before, const std::string& shot, const std::string& after,
                    std::string& details)
{
    const ScreenImage now = s.Shot(shot);
    const RECT client = ClientScreenRect(s.App().Dialog());
    const RECT clock = WindowRect(s.Item(IDC_CLOCK));
    Tally same;
    for (int y = client.top; y < client.bottom; y += 3) {
        for (int x = client.left; x < client.right; x += 3) {
            if (Inside(clock, x, y, 2))
                continue;
            ++same.total;
            same.matched += Near(before.At(x, y), now.At(x, y), 3);
        }
    }
    details = after + ", then " + same.Text() + " sampled pixels as before";
    Check(same.AtLeast(0.98), "after " + after + " only " + same.Text() + " pixels are as before");
}

// Another window over the dialog, then gone: the dialog must draw itself again
// exactly as before (the clock aside, which moves on).
void Repaint(Session& s, std::string& details)
{
    HWND dialog = s.App().Dialog();
    const RECT client = ClientScreenRect(dialog);
    const ScreenImage before = s.Shot("before-cover");

    WNDCLASSW windowClass {};
    windowClass.lpfnWndProc = CoverProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.hbrBackground = CreateSolidBrush(RGB(20, 40, 60));
    windowClass.lpszClassName = L"QuorvelDriverCover";
    RegisterClassW(&windowClass);
    RECT area = WindowRect(dialog);
    InflateRect(&area, 10, 10);
    HWND cover = CreateWindowExW(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, windowClass.lpszClassName, L"cover",
                                 WS_POPUP | WS_VISIBLE, area.left, area.top, area.right - area.left,
                                 area.bottom - area.top, nullptr, nullptr, windowClass.hInstance, nullptr);
    Check(cover != nullptr, "cannot make the covering window");
    SetWindowPos(cover, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_SHOWWINDOW);
    Pump(500);
    const ScreenImage covered = s.Shot("covered");
    const int cx = (client.left + client.right) / 2, cy = (client.top + client.bottom) / 2;
    const bool wasCovered = Near(covered.At(cx, cy), 0x14283C, 2);
    DestroyWindow(cover);
    DeleteObject(windowClass.hbrBackground);
    UnregisterClassW(windowClass.lpszClassName, windowClass.hInstance);
    Pump(100);
    Check(wasCovered, "the covering window did not show over the dialog");
    ExpectAsBefore(s, before, "repainted", "covered and uncovered", details);
}

void MinimiseRestore(Session& s, std::string& details)
{
    HWND dialog = s.App().Dialog();
    const ScreenImage before = s.Shot("before-minimise");
    PostMessageW(dialog, WM_SYSCOMMAND, SC_MINIMIZE, 0);
    Check(WaitUntil([&] { return IsIconic(dialog) != FALSE; }, kWaitMs), "the dialog did not minimise");
    s.Shot("minimised");
    Check(s.App().Running() && s.App().OtherWindows().empty(), "minimising showed: " + s.DescribeWindows());
    PostMessageW(dialog, WM_SYSCOMMAND, SC_RESTORE, 0);
    Check(WaitUntil([&] { return !IsIconic(dialog) && IsWindowVisible(dialog); }, kWaitMs),
          "the dialog did not come back");
    ExpectAsBefore(s, before, "restored", "minimised and restored", details);
}

}  // namespace

void AddAppearanceScenarios(ScenarioList& list)
{
    list.emplace_back("background picture", Background);
    list.emplace_back("text colours, no grey behind texts", TextColours);
    list.emplace_back("repaint after being covered", Repaint);
    list.emplace_back("minimised and restored", MinimiseRestore);
}

}  // namespace e2e
