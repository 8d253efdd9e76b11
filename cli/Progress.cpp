// Progress texts (sizes in the dialog's own units, plain ASCII otherwise)
// and the line that shows them.
#include "cli/Progress.h"

#include "platform/Terminal.h"
#include "platform/Text.h"
#include "texts/Catalogue.h"
#include "texts/SharedTexts.h"

#include <algorithm>
#include <string>

namespace quorvel::cli {
std::u16string FormatDuration(uint64_t seconds)
{
    const auto twoDigits = [](uint64_t n) { return Ascii((n < 10 ? "0" : "") + std::to_string(n)); };
    if (seconds >= 3600)
        return Ascii(std::to_string(seconds / 3600)) + u":" + twoDigits(seconds / 60 % 60) + u":" +
               twoDigits(seconds % 60);
    return Ascii(std::to_string(seconds / 60)) + u":" + twoDigits(seconds % 60);
}

std::u16string ShortName(const std::u16string& name, size_t maxUnits)
{
    if (name.size() <= maxUnits || maxUnits < 2)
        return name;
    size_t start = name.size() - (maxUnits - 1);
    if (name[start] >= 0xDC00 && name[start] <= 0xDFFF)
        ++start;  // do not split a surrogate pair
    return u"\u2026" + name.substr(start);
}

std::u16string FormatProgressLine(const std::u16string& name, uint64_t done, uint64_t total, double seconds)
{
    const unsigned percent = total == 0 ? 100 : static_cast<unsigned>(done * 100.0 / static_cast<double>(total));
    std::u16string line = ShortName(name, 28) + u"  " + Ascii(std::to_string(percent)) + u"%  " +
                          Tr("{1} of {2}", {FormatSizeText(done), FormatSizeText(total)});
    // Below a quarter second the rate is mostly start-up noise.
    if (seconds >= 0.25 && done != 0) {
        const double rate = static_cast<double>(done) / seconds;
        line += u"  " + FormatSizeText(static_cast<uint64_t>(rate)) + u"/s  " +
                Tr("{1} left", {FormatDuration(static_cast<uint64_t>(static_cast<double>(total - done) / rate + 0.5))});
    }
    return line;
}

std::u16string FormatStreamProgressLine(const std::u16string& name, uint64_t done, double seconds)
{
    std::u16string line = ShortName(name, 28) + u"  " + FormatSizeText(done);
    if (seconds >= 0.25 && done != 0)
        line += u"  " + FormatSizeText(static_cast<uint64_t>(static_cast<double>(done) / seconds)) + u"/s";
    return line;
}

namespace {

// "2.4 s": tenths, as the dialog gives them.
std::u16string FormatSeconds(double seconds)
{
    const auto tenths = static_cast<uint64_t>(seconds * 10 + 0.5);
    return Tr("{1} s", {Ascii(std::to_string(tenths / 10) + "." + std::to_string(tenths % 10))});
}

}  // namespace

std::u16string FormatFinishedLine(const std::u16string& name, uint64_t total, double seconds)
{
    return ShortName(name, 28) + u"  100%  " + FormatSizeText(total) + u"  " + FormatSeconds(seconds);
}

std::u16string FormatRunLine(size_t done, size_t total, double seconds)
{
    const std::u16string count = Ascii(std::to_string(total)), time = FormatSeconds(seconds);
    if (done == total)
        return total == 1 ? Tr("1 file done in {1}, the wait for the disk included", {time})
                          : Tr("{1} files done in {2}, the wait for the disk included", {count, time});
    return total == 1 ? Tr("{1} of 1 file done in {2}, the wait for the disk included",
                           {Ascii(std::to_string(done)), time})
                      : Tr("{1} of {2} files done in {3}, the wait for the disk included",
                           {Ascii(std::to_string(done)), count, time});
}

ProgressLine::ProgressLine(bool enabled, std::function<void(std::u16string_view)> write)
    : m_enabled(enabled), m_write(std::move(write))
{
    if (!m_write)
        m_write = WriteErr;
}

void ProgressLine::Clear()
{
    // A key that stopped the run was echoed where the cursor stood then: at
    // the end of the line as it was, or at the start of a line left empty.
    const size_t echo = Interrupted() ? 2 : 0;
    if (m_enabled && m_widest + echo != 0)
        m_write(u"\r" + std::u16string(m_widest + echo, u' ') + u"\r");
    m_width = 0;
    m_widest = 0;
}

void ProgressLine::Close(const std::u16string& text)
{
    m_count.clear();
    Put(text, true);
}

void ProgressLine::CountFiles(size_t done, size_t total)
{
    m_count = total > 1 ? Ascii(std::to_string(done) + "/" + std::to_string(total) + "  ") : std::u16string();
}

void ProgressLine::Put(const std::u16string& text, bool last)
{
    if (!m_enabled)
        return;
    // Padding covers the rest of a longer previous line; no escape codes,
    // which not every Windows console understands.
    const std::u16string shown = m_count + text;
    std::u16string line = u"\r" + shown;
    if (shown.size() < m_width)
        line.append(m_width - shown.size(), u' ');
    m_width = last ? 0 : shown.size();
    m_widest = last ? 0 : std::max(m_widest, m_width);
    m_write(last ? line + u"\n" : line);
}

}  // namespace quorvel::cli
