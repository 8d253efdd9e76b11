// The resources compiled into Quorvel.exe, read back the way Windows reads
// them. Guards against the resource compiler's traps: Chinese texts decoded in
// the wrong code page, a template that lost a style or the font's charset,
// pictures with the wrong size or depth.
#include "resources/QuorvelIds.h"
#include "tests/win32/DialogCaption.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

struct ResourceFile {
    ResourceFile() { module = ::LoadLibraryExW(QUORVEL_EXE_PATH, nullptr, LOAD_LIBRARY_AS_DATAFILE); }
    ~ResourceFile()
    {
        if (module != nullptr)
            ::FreeLibrary(module);
    }
    ResourceFile(const ResourceFile&) = delete;
    ResourceFile& operator=(const ResourceFile&) = delete;

    // The bytes of resource id of type, empty if missing.
    std::vector<unsigned char> Bytes(const wchar_t* type, UINT id) const
    {
        HRSRC found = ::FindResourceW(module, MAKEINTRESOURCEW(id), type);
        if (found == nullptr)
            return {};
        const auto* data = static_cast<const unsigned char*>(::LockResource(::LoadResource(module, found)));
        return std::vector<unsigned char>(data, data + ::SizeofResource(module, found));
    }

    HMODULE module = nullptr;
};

// Reads a DLGTEMPLATEEX and its items.
class TemplateReader {
public:
    explicit TemplateReader(const std::vector<unsigned char>& bytes) : m_bytes(bytes) {}

    template <class T>
    T Read()
    {
        T value {};
        if (m_at + sizeof value <= m_bytes.size())
            std::memcpy(&value, m_bytes.data() + m_at, sizeof value);
        m_at += sizeof value;
        return value;
    }
    // A string or an ordinal ("#n").
    std::wstring SzOrOrd()
    {
        if (Read<WORD>() == 0xFFFF)
            return L"#" + std::to_wstring(Read<WORD>());
        m_at -= 2;
        std::wstring text;
        for (WORD c = Read<WORD>(); c != 0 && m_at <= m_bytes.size(); c = Read<WORD>())
            text += static_cast<wchar_t>(c);
        return text;
    }
    void AlignDword() { m_at = (m_at + 3) & ~std::size_t {3}; }
    void Skip(std::size_t n) { m_at += n; }

private:
    const std::vector<unsigned char>& m_bytes;
    std::size_t m_at = 0;
};

struct Item {
    DWORD exStyle, style;
    short x, y, cx, cy;
    DWORD id;
    std::wstring className, text;
};

struct Template {
    DWORD exStyle = 0, style = 0;
    short cx = 0, cy = 0;
    std::wstring caption, face;
    WORD points = 0;
    BYTE charset = 0;
    std::vector<Item> items;
};

Template ParseTemplate(const std::vector<unsigned char>& bytes)
{
    TemplateReader r(bytes);
    Template t;
    EXPECT_EQ(r.Read<WORD>(), 1);       // dlgVer
    EXPECT_EQ(r.Read<WORD>(), 0xFFFF);  // signature: DIALOGEX
    r.Read<DWORD>();                    // helpID
    t.exStyle = r.Read<DWORD>();
    t.style = r.Read<DWORD>();
    const WORD count = r.Read<WORD>();
    r.Skip(4);
    t.cx = r.Read<short>();
    t.cy = r.Read<short>();
    r.SzOrOrd();  // menu
    r.SzOrOrd();  // class
    t.caption = r.SzOrOrd();
    t.points = r.Read<WORD>();
    r.Read<WORD>();  // weight
    r.Read<BYTE>();  // italic
    t.charset = r.Read<BYTE>();
    t.face = r.SzOrOrd();
    for (WORD i = 0; i < count; ++i) {
        r.AlignDword();
        Item item {};
        r.Read<DWORD>();  // helpID
        item.exStyle = r.Read<DWORD>();
        item.style = r.Read<DWORD>();
        item.x = r.Read<short>();
        item.y = r.Read<short>();
        item.cx = r.Read<short>();
        item.cy = r.Read<short>();
        item.id = r.Read<DWORD>();
        item.className = r.SzOrOrd();
        item.text = r.SzOrOrd();
        r.Skip(r.Read<WORD>());  // creation data
        t.items.push_back(item);
    }
    return t;
}

struct Resources : ::testing::Test {
    void SetUp() override { ASSERT_NE(file.module, nullptr) << "cannot load " << QUORVEL_EXE_PATH; }
    ResourceFile file;
};

TEST_F(Resources, MainDialogTemplate)
{
    const Template t = ParseTemplate(file.Bytes(RT_DIALOG, IDD_QUORVEL_DIALOG));
    EXPECT_EQ(t.caption, quorvel::test::kMainDialogCaption);
    EXPECT_EQ(t.style, 0x90C800C6u);
    EXPECT_EQ(t.exStyle, 0x00040000u);
    EXPECT_EQ(t.cx, 216);
    EXPECT_EQ(t.cy, 200);
    EXPECT_EQ(t.face, L"宋体");
    EXPECT_EQ(t.points, 9);
    EXPECT_EQ(t.charset, 0x86);

    // Tab order, ids and texts; -1 (0xFFFF) for the labels.
    const std::vector<std::pair<DWORD, std::wstring>> expected = {
        {1, L"确定"},          {2, L"退出"},          {1000, L"加密"},        {1001, L"解密"},
        {0xFFFF, L"加密文件名"}, {0xFFFF, L"解密文件名"}, {1002, L""},          {1003, L""},
        {0xFFFF, L"加密文件大小"}, {0xFFFF, L"解密文件大小"}, {1004, L""},        {1005, L""},
        {0xFFFF, L"输入密码（不少于6位）"}, {1006, L""}, {0xFFFF, L"解密文件"}, {0xFFFF, L"加密文件"},
        {1007, L"2:00"},
    };
    ASSERT_EQ(t.items.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(t.items[i].id & 0xFFFF, expected[i].first) << "item " << i;
        EXPECT_EQ(t.items[i].text, expected[i].second) << "item " << i;
    }
    EXPECT_EQ(t.items[0].style & (WS_VISIBLE | BS_DEFPUSHBUTTON), DWORD {BS_DEFPUSHBUTTON}) << "OK: default, hidden";
    EXPECT_EQ(t.items[6].exStyle, DWORD {WS_EX_TRANSPARENT});
    EXPECT_TRUE(t.items[13].style & ES_PASSWORD);
    for (int edit : {6, 7, 10, 11})
        EXPECT_TRUE(t.items[edit].style & ES_READONLY) << "item " << edit;
    EXPECT_EQ(t.items[16].style & SS_TYPEMASK, DWORD {SS_CENTER});
    const Item& password = t.items[13];
    EXPECT_EQ((std::vector<short> {password.x, password.y, password.cx, password.cy}),
              (std::vector<short> {105, 12, 95, 17}));
}

TEST_F(Resources, AboutBoxTemplateAndItsMenuItem)
{
    const Template t = ParseTemplate(file.Bytes(RT_DIALOG, IDD_ABOUTBOX));
    EXPECT_EQ(t.caption, L"Quorvel2.0 版");
    EXPECT_EQ(t.style, 0x80C800C0u);
    EXPECT_EQ(t.cx, 187);
    EXPECT_EQ(t.cy, 48);
    EXPECT_EQ(t.charset, 0x86);
    ASSERT_EQ(t.items.size(), 4u);
    EXPECT_EQ(t.items[0].text, L"#128") << "the icon control shows icon 128";
    EXPECT_EQ(t.items[2].id, 1u);
    EXPECT_EQ(t.items[2].text, L"确定");
    // The system menu's item that opens it.
    const wchar_t* text = nullptr;
    const int length = ::LoadStringW(file.module, IDS_ABOUTBOX, reinterpret_cast<LPWSTR>(&text), 0);
    ASSERT_GT(length, 0);
    EXPECT_EQ(std::wstring(text, static_cast<std::size_t>(length)), L"关于 Quorvel(&A)...");
}

TEST_F(Resources, PicturesHaveTheirSizesAndDepths)
{
    const std::vector<unsigned char> bitmap = file.Bytes(RT_BITMAP, IDB_BACKGROUND);
    ASSERT_GE(bitmap.size(), sizeof(BITMAPINFOHEADER));
    BITMAPINFOHEADER header;
    std::memcpy(&header, bitmap.data(), sizeof header);
    EXPECT_EQ(header.biWidth, 463);
    EXPECT_EQ(header.biHeight, 297);
    EXPECT_EQ(header.biBitCount, 24);
    EXPECT_EQ(header.biCompression, DWORD {BI_RGB});

    // GRPICONDIR: 6-byte header, then 14-byte entries (width, height, colours,
    // reserved, planes, bit count, bytes, id).
    const std::vector<unsigned char> group = file.Bytes(RT_GROUP_ICON, IDR_MAINFRAME);
    ASSERT_GE(group.size(), 6u);
    const unsigned count = group[4] | (group[5] << 8);
    ASSERT_EQ(count, 9u);
    ASSERT_GE(group.size(), 6u + 14u * count);
    std::vector<std::pair<int, int>> images;
    for (unsigned i = 0; i < count; ++i) {
        const unsigned char* e = group.data() + 6 + 14 * i;
        images.emplace_back(e[0], e[6] | (e[7] << 8));
    }
    EXPECT_EQ(images, (std::vector<std::pair<int, int>> {
                          {48, 4}, {48, 8}, {48, 24}, {32, 4}, {32, 8}, {32, 24}, {16, 4}, {16, 8}, {16, 24}}));
}

TEST_F(Resources, VersionBlock)
{
    std::vector<unsigned char> version = file.Bytes(RT_VERSION, 1);
    ASSERT_FALSE(version.empty());
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(::VerQueryValueW(version.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00010000u);
    EXPECT_EQ(fixed->dwFileVersionLS, 0x00000001u);
    EXPECT_EQ(fixed->dwProductVersionMS, 0x00010000u);
    DWORD* translation = nullptr;
    ASSERT_TRUE(::VerQueryValueW(version.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation),
                                 &length));
    EXPECT_EQ(*translation, 0x03A80804u) << "0x0804 with code page 936";
    wchar_t* name = nullptr;
    ASSERT_TRUE(::VerQueryValueW(version.data(), L"\\StringFileInfo\\080403a8\\OriginalFilename",
                                 reinterpret_cast<void**>(&name), &length));
    EXPECT_STREQ(name, L"Quorvel.exe");
}

// The manifest as the loader reads it: an activation context made from the
// resource, asked for each setting the way Windows asks at start-up.
std::wstring ManifestSetting(HANDLE context, const wchar_t* nameSpace, const wchar_t* name)
{
    wchar_t value[128] {};
    SIZE_T written = 0;
    if (!::QueryActCtxSettingsW(0, context, nameSpace, name, value, std::size(value), &written))
        return L"(missing)";
    return value;
}

TEST_F(Resources, ManifestAsksForLongPathsAndPerMonitorDpi)
{
    ACTCTXW request {};
    request.cbSize = sizeof request;
    request.dwFlags = ACTCTX_FLAG_RESOURCE_NAME_VALID;
    request.lpSource = QUORVEL_EXE_PATH;
    request.lpResourceName = CREATEPROCESS_MANIFEST_RESOURCE_ID;
    const HANDLE context = ::CreateActCtxW(&request);
    ASSERT_NE(context, INVALID_HANDLE_VALUE) << "the manifest does not parse (error " << ::GetLastError() << ")";
    const wchar_t* const settings2016 = L"http://schemas.microsoft.com/SMI/2016/WindowsSettings";
    const wchar_t* const settings2005 = L"http://schemas.microsoft.com/SMI/2005/WindowsSettings";
    EXPECT_EQ(ManifestSetting(context, settings2016, L"longPathAware"), L"true");
    // Per-monitor v2 first; where it is unknown, system-aware rather than the
    // first per-monitor mode, which would not lay the dialog out again.
    EXPECT_EQ(ManifestSetting(context, settings2016, L"dpiAwareness"), L"PerMonitorV2, System");
    EXPECT_EQ(ManifestSetting(context, settings2005, L"dpiAware"), L"true");
    ::ReleaseActCtx(context);

    // The common controls 6 dependency (visual styles) is still there.
    const std::vector<unsigned char> bytes = file.Bytes(RT_MANIFEST, 1);
    const std::string text(bytes.begin(), bytes.end());
    EXPECT_NE(text.find("name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\""), std::string::npos);
}

}  // namespace
