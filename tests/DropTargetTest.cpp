// Drops on the dialog: which part a point belongs to at any scale, which
// refusal wins when several apply, and the boxes a refused drop shows.
#include "dialog/DropTarget.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace quorvel {
namespace {

constexpr CipherDirection kEn = CipherDirection::Encipher;
constexpr CipherDirection kDe = CipherDirection::Decipher;

// The dialog's group boxes in dialog units, mapped to pixels at scale/2
// (2 is 96 DPI with an 8-pixel base unit, 3 is 144 DPI).
DropLayout Layout(int scale)
{
    const auto px = [scale](int left, int top, int width, int height) {
        return DropRect {left * scale / 2, top * scale / 2, (left + width) * scale / 2, (top + height) * scale / 2};
    };
    return {px(0, 0, 216, 200), px(14, 36, 187, 63), px(13, 104, 187, 63)};
}

std::optional<CipherDirection> At(const DropLayout& layout, int x, int y)
{
    return PartAt(layout, x, y);
}

TEST(DropTarget, EachGroupOwnsItsBandAcrossTheWholeWidth)
{
    for (int scale : {2, 3, 4}) {
        SCOPED_TRACE(scale);
        const DropLayout l = Layout(scale);
        const DropRect& en = l.encipherGroup;
        const DropRect& de = l.decipherGroup;
        EXPECT_EQ(At(l, (en.left + en.right) / 2, (en.top + en.bottom) / 2), kEn) << "centre of the box";
        EXPECT_EQ(At(l, en.left + 1, en.top), kEn) << "on the frame, by the title";
        EXPECT_EQ(At(l, 0, en.top + 5), kEn) << "left margin beside the box";
        EXPECT_EQ(At(l, l.client.right - 1, de.bottom - 1), kDe) << "right margin, last row of the box";
        EXPECT_EQ(At(l, (de.left + de.right) / 2, (de.top + de.bottom) / 2), kDe);
        // Above the upper box (password) and below the lower one (exit, clock).
        EXPECT_EQ(At(l, en.left + 5, en.top - 1), std::nullopt);
        EXPECT_EQ(At(l, de.left + 5, de.bottom), std::nullopt);
        EXPECT_EQ(At(l, 10, l.client.bottom - 1), std::nullopt);
        // Outside the client area altogether.
        EXPECT_EQ(At(l, -1, en.top + 5), std::nullopt);
        EXPECT_EQ(At(l, l.client.right, en.top + 5), std::nullopt);
    }
}

TEST(DropTarget, TheGapBetweenTheBoxesIsSharedWithoutAHole)
{
    for (int scale : {2, 3, 5}) {
        SCOPED_TRACE(scale);
        const DropLayout l = Layout(scale);
        int lastEncipherRow = -1, firstDecipherRow = -1;
        for (int y = l.encipherGroup.bottom - 1; y <= l.decipherGroup.top; ++y) {
            const std::optional<CipherDirection> part = At(l, 50, y);
            ASSERT_TRUE(part.has_value()) << "row " << y << " belongs to neither direction";
            if (*part == kEn)
                lastEncipherRow = y;
            else if (firstDecipherRow < 0)
                firstDecipherRow = y;
        }
        EXPECT_EQ(firstDecipherRow, lastEncipherRow + 1);
        // The split lies in the middle of the gap, give or take a pixel.
        const int middle = (l.encipherGroup.bottom + l.decipherGroup.top) / 2;
        EXPECT_LE(std::abs(firstDecipherRow - middle), 1);
    }
}

struct Case {
    const char* what;
    int x, y;
    bool inClient;
    std::vector<DroppedItem> items;
    bool enBusy, deBusy;
    DropRefusal refusal;
    CipherDirection direction;
};

TEST(DropTarget, WhatADropStarts)
{
    const DropLayout l = Layout(3);
    const int enY = 90, deY = 200, x = 150, outsideY = 20;
    const DroppedItem file {u"C:\\data\\a.bin", false};
    const DroppedItem other {u"C:\\data\\b.bin", false};
    const DroppedItem folder {u"C:\\data\\photos", true};
    const Case cases[] = {
        {"one file on encipher", x, enY, true, {file}, false, false, DropRefusal::None, kEn},
        {"one file on decipher", x, deY, true, {file}, false, false, DropRefusal::None, kDe},
        {"the other direction runs", x, deY, true, {file}, true, false, DropRefusal::None, kDe},
        {"its own direction runs", x, deY, true, {file}, false, true, DropRefusal::Busy, kDe},
        {"encipher runs", x, enY, true, {file}, true, true, DropRefusal::Busy, kEn},
        {"two files", x, enY, true, {file, other}, false, false, DropRefusal::SeveralFiles, kEn},
        {"a folder", x, deY, true, {folder}, false, false, DropRefusal::Folder, kDe},
        {"a folder on a busy direction", x, deY, true, {folder}, false, true, DropRefusal::Folder, kDe},
        {"a file and a folder", x, enY, true, {file, folder}, false, false, DropRefusal::SeveralFiles, kEn},
        {"on the password row", x, outsideY, true, {file}, false, false, DropRefusal::Outside, kEn},
        {"two files outside", x, outsideY, true, {file, other}, false, false, DropRefusal::Outside, kEn},
        {"on the title bar", x, enY, false, {file}, false, false, DropRefusal::Outside, kEn},
        {"nothing at all", x, enY, true, {}, true, true, DropRefusal::NoFile, kEn},
        {"nothing, outside", x, outsideY, false, {}, false, false, DropRefusal::NoFile, kEn},
    };
    for (const Case& c : cases) {
        const DropDecision d = ClassifyDrop(l, c.x, c.y, c.inClient, c.items, c.enBusy, c.deBusy);
        EXPECT_EQ(d.refusal, c.refusal) << c.what;
        if (c.refusal != DropRefusal::Outside && c.refusal != DropRefusal::NoFile) {
            EXPECT_EQ(d.direction, c.direction) << c.what;
        }
    }
}

TEST(DropTarget, RefusalBoxesSayWhy)
{
    const DroppedItem folder {u"D:/照片/2012/", true};  // '/' separates on every system
    const struct {
        DropRefusal refusal;
        CipherDirection direction;
        std::vector<DroppedItem> items;
        std::u16string text, caption;
    } cases[] = {
        {DropRefusal::Outside, kEn, {DroppedItem {u"C:\\x", false}}, u"请将文件拖放到“加密文件”或“解密文件”框内。", u"拖放位置错误"},
        {DropRefusal::SeveralFiles, kDe, std::vector<DroppedItem>(3, DroppedItem {u"C:\\x", false}),
         u"拖放了3个文件，一次只能处理一个文件。", u"拖放文件错误"},
        {DropRefusal::Folder, kEn, {folder}, u"“2012”是文件夹，请拖放一个文件。", u"拖放文件错误"},
        {DropRefusal::Busy, kEn, {folder}, u"正在加密文件，请等这个任务结束后再拖放。", u"任务进行中"},
        {DropRefusal::Busy, kDe, {folder}, u"正在解密文件，请等这个任务结束后再拖放。", u"任务进行中"},
    };
    for (const auto& c : cases) {
        const MessageText m = DropRefusalText({c.refusal, c.direction}, c.items);
        EXPECT_EQ(m.text, c.text);
        EXPECT_EQ(m.caption, c.caption);
    }
}

TEST(DropTarget, BareNames)
{
    EXPECT_EQ(BareName(u"C:/data/a.bin"), u"a.bin");
    EXPECT_EQ(BareName(u"//server/share/dir/"), u"dir");
    EXPECT_EQ(BareName(u"a.bin"), u"a.bin");
#ifdef _WIN32
    EXPECT_EQ(BareName(u"C:\\data\\a.bin"), u"a.bin");
    EXPECT_EQ(BareName(u"\\\\?\\C:\\very\\deep\\文件.txt"), u"文件.txt");
    EXPECT_EQ(BareName(u"D:\\"), u"D:\\") << "a drive root keeps its whole path";
#endif
}

}  // namespace
}  // namespace quorvel
