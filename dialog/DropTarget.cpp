// Which part of the dialog a drop landed on, and whether it may start a job.
#include "dialog/DropTarget.h"

#include "platform/FileNames.h"

#include <string>

namespace quorvel {
namespace {

struct Band {
    int top;
    int bottom;
};

// Where the gap between an upper and a lower box is shared out.
int Split(const DropRect& upper, const DropRect& lower)
{
    return upper.bottom + (lower.top - upper.bottom) / 2;
}

// The direction's group box stretched vertically to the middle of the gap
// that separates it from the other box, on the side where the other box lies.
Band BandOf(const DropRect& own, const DropRect& other)
{
    Band band {own.top, own.bottom};
    if (other.Empty())
        return band;
    if (other.top >= own.bottom)
        band.bottom = Split(own, other);
    else if (other.bottom <= own.top)
        band.top = Split(other, own);
    return band;
}

bool InBand(const DropLayout& layout, const DropRect& own, const DropRect& other, int x, int y)
{
    if (own.Empty() || x < layout.client.left || x >= layout.client.right)
        return false;
    const Band band = BandOf(own, other);
    return y >= band.top && y < band.bottom;
}

std::u16string Number(std::size_t n)
{
    const std::string digits = std::to_string(n);
    return std::u16string(digits.begin(), digits.end());
}

}  // namespace

std::optional<CipherDirection> PartAt(const DropLayout& layout, int x, int y)
{
    if (InBand(layout, layout.encipherGroup, layout.decipherGroup, x, y))
        return CipherDirection::Encipher;
    if (InBand(layout, layout.decipherGroup, layout.encipherGroup, x, y))
        return CipherDirection::Decipher;
    return std::nullopt;
}

DropRefusal RefuseItems(const std::vector<DroppedItem>& items)
{
    if (items.empty())
        return DropRefusal::NoFile;
    if (items.size() > 1)
        return DropRefusal::SeveralFiles;
    if (items.front().isFolder)
        return DropRefusal::Folder;
    return DropRefusal::None;
}

DropDecision ClassifyDrop(const DropLayout& layout, int x, int y, bool inClient,
                          const std::vector<DroppedItem>& items, bool encipherBusy, bool decipherBusy)
{
    if (items.empty())
        return {DropRefusal::NoFile};
    const std::optional<CipherDirection> part = inClient ? PartAt(layout, x, y) : std::nullopt;
    if (!part)
        return {DropRefusal::Outside};
    if (const DropRefusal refusal = RefuseItems(items); refusal != DropRefusal::None)
        return {refusal, *part};
    if (*part == CipherDirection::Encipher ? encipherBusy : decipherBusy)
        return {DropRefusal::Busy, *part};
    return {DropRefusal::None, *part};
}

MessageText DropRefusalText(const DropDecision& decision, const std::vector<DroppedItem>& items)
{
    const bool encipher = decision.direction == CipherDirection::Encipher;
    switch (decision.refusal) {
    case DropRefusal::Outside:
        return {u"请将文件拖放到“加密文件”或“解密文件”框内。", u"拖放位置错误"};
    case DropRefusal::SeveralFiles:
        return {u"拖放了" + Number(items.size()) + u"个文件，一次只能处理一个文件。", u"拖放文件错误"};
    case DropRefusal::Folder:
        return {u"“" + BareName(items.empty() ? std::u16string() : items.front().path) +
                    u"”是文件夹，请拖放一个文件。",
                u"拖放文件错误"};
    case DropRefusal::Busy:
        return {encipher ? u"正在加密文件，请等这个任务结束后再拖放。" : u"正在解密文件，请等这个任务结束后再拖放。",
                u"任务进行中"};
    case DropRefusal::None:
    case DropRefusal::NoFile:
        break;
    }
    return {};
}

std::u16string BareName(const std::u16string& path)
{
    std::size_t end = path.size();
    while (end > 0 && IsPathSeparator(path[end - 1]))
        --end;
    // A drive root ("D:\") has no name of its own: show it whole.
    const std::u16string name = NameOf(path.substr(0, end));
    return name.empty() ? path : name;
}

}  // namespace quorvel
