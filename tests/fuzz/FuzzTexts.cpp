// The display texts against independent oracles: the size text over the whole
// 64-bit range against the unit test's (SizeOracle.h); the clock and
// completion texts against snprintf with the same format.
//
// Input: [8 bytes size][6 x 4 bytes clock fields][1 byte flags][4 bytes ticks]
#include "dialog/DisplayTexts.h"
#include "tests/SizeOracle.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

using namespace quorvel;

namespace {

void Check(bool ok, const char* what)
{
    if (!ok) {
        std::fprintf(stderr, "mismatch: %s\n", what);
        std::abort();
    }
}

std::u16string Widen(const std::string& ascii)
{
    return std::u16string(ascii.begin(), ascii.end());
}

int32_t Int32(const uint8_t* p)
{
    uint32_t v;
    std::memcpy(&v, p, 4);
    return static_cast<int32_t>(v);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 8 + 24 + 1 + 4)
        return 0;
    uint64_t bytes;
    std::memcpy(&bytes, data, 8);
    const uint8_t flags = data[32];
    // Small sizes are rare in random 64-bit values; the flags shift some down
    // into each unit's range.
    if (flags & 0x80)
        bytes >>= (flags & 0x3F);
    Check(FormatSizeText(bytes) == Widen(test::SizeOracle(bytes)), "size text");

    LocalTime t {Int32(data + 8), Int32(data + 12), Int32(data + 16), Int32(data + 20), Int32(data + 24),
                 Int32(data + 28)};
    if (flags & 0x40) {
        // Mostly in the ranges a real clock gives.
        t.year = 1900 + static_cast<int>(static_cast<uint32_t>(t.year) % 9000);
        t.month = 1 + static_cast<int>(static_cast<uint32_t>(t.month) % 12);
        t.day = 1 + static_cast<int>(static_cast<uint32_t>(t.day) % 31);
        t.hour = static_cast<int>(static_cast<uint32_t>(t.hour) % 24);
        t.minute = static_cast<int>(static_cast<uint32_t>(t.minute) % 60);
        t.second = static_cast<int>(static_cast<uint32_t>(t.second) % 61);
    }
    const std::optional<LocalTime> now = (flags & 0x20) ? std::nullopt : std::optional<LocalTime>(t);
    // The same line through the C library's own "%4d" and "%2d".
    const LocalTime v = now.value_or(LocalTime {0, 0, 0, -1, -1, -1});
    char line[256];
    std::snprintf(line, sizeof line, "%4d\x01%2d\x02%2d\x03%2d:%2d:%2d", v.year, v.month, v.day, v.hour, v.minute,
                  v.second);
    std::u16string expected = u"现在时间:";
    for (const char* p = line; *p; ++p)
        expected += *p == '\x01' ? u'年' : *p == '\x02' ? u'月' : *p == '\x03' ? u'日' : static_cast<char16_t>(*p);
    Check(FormatClockText(now) == expected, "clock text");

    const int32_t ticks = Int32(data + 33);
    for (const CipherDirection d : {CipherDirection::Encipher, CipherDirection::Decipher}) {
        const MessageText done = FormatDoneText(d, ticks);
        const std::u16string verb = d == CipherDirection::Encipher ? u"加密" : u"解密";
        Check(done.caption == verb + u"完成", "done caption");
        char number[64];
        std::snprintf(number, sizeof number, "%.1f", static_cast<double>(ticks) * 0.1);
        const std::u16string time = ticks == 0 ? std::u16string(u"少于0.1") : Widen(number);
        Check(done.text == u"文件" + verb + u"完成,用时" + time + u"秒", "done text");
    }
    return 0;
}
