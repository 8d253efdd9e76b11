// The catalogue lookup: gettext on Linux; on Windows, which has no gettext in
// mingw, the same compiled catalogues (.mo) built into the program and read
// here, the language chosen as Windows programs choose it. The translation is
// taken in UTF-8 whatever the locale's own code set, since every text is
// written out as UTF-8 or UTF-16.
#include "texts/Catalogue.h"

#include "platform/Text.h"

#ifdef _WIN32
#include "platform/Terminal.h"
#include "texts/EmbeddedCatalogues.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <vector>
#else
#include <libintl.h>
#include <unistd.h>

#include <clocale>
#endif

namespace quorvel {
namespace {

#ifdef _WIN32
// A compiled catalogue: a header, then two tables of (length, offset) pairs,
// the message ids sorted byte by byte and their translations in the same order.
class MoCatalogue {
public:
    MoCatalogue(const unsigned char* bytes, size_t size) : m_bytes(bytes), m_size(size)
    {
        const uint32_t magic = Word(0);
        m_swapped = magic == 0xde120495;
        if (magic != 0x950412de && !m_swapped)
            return;
        m_count = Word(8);
        m_originals = Word(12);
        m_translations = Word(16);
    }

    // The translation of msgid, or nothing when the catalogue lacks it.
    std::string_view Find(std::string_view msgid) const
    {
        size_t low = 0, high = m_count;
        while (low < high) {
            const size_t middle = low + (high - low) / 2;
            const std::string_view original = Entry(m_originals, middle);
            if (original == msgid)
                return Entry(m_translations, middle);
            if (original < msgid)
                low = middle + 1;
            else
                high = middle;
        }
        return {};
    }

private:
    uint32_t Word(size_t at) const
    {
        if (at + 4 > m_size)
            return 0;
        const uint32_t w = m_bytes[at] | m_bytes[at + 1] << 8 | m_bytes[at + 2] << 16 | uint32_t {m_bytes[at + 3]} << 24;
        return m_swapped ? (w >> 24 | (w >> 8 & 0xff00) | (w << 8 & 0xff0000) | w << 24) : w;
    }

    std::string_view Entry(size_t table, size_t index) const
    {
        const size_t length = Word(table + index * 8), offset = Word(table + index * 8 + 4);
        if (offset > m_size || length > m_size - offset)
            return {};
        return {reinterpret_cast<const char*>(m_bytes + offset), length};
    }

    const unsigned char* m_bytes;
    size_t m_size;
    bool m_swapped = false;
    size_t m_count = 0;
    size_t m_originals = 0;
    size_t m_translations = 0;
};

const EmbeddedCatalogue* g_catalogue = nullptr;

std::string Variable(const char* name)
{
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

// "zh_CN.UTF-8" and "zh_CN@x" name the catalogue "zh_CN".
std::string CatalogueName(std::string locale)
{
    return locale.substr(0, locale.find_first_of(".@"));
}

// The languages asked for, most wanted first: LANGUAGE, then LC_ALL,
// LC_MESSAGES or LANG (so that tests and Unix habits choose), then the
// user's interface language. C and POSIX mean English, whatever LANGUAGE
// says, as in gettext.
std::vector<std::string> WantedLanguages()
{
    std::string locale = Variable("LC_ALL");
    if (locale.empty())
        locale = Variable("LC_MESSAGES");
    if (locale.empty())
        locale = Variable("LANG");
    // C.UTF-8 is no C here: LANGUAGE chooses under it, as glibc lets it.
    if (locale == "C" || locale == "POSIX")
        return {};
    const std::string name = CatalogueName(locale);
    std::vector<std::string> wanted;
    const std::string list = Variable("LANGUAGE");
    for (size_t start = 0; start < list.size();) {
        const size_t end = std::min(list.find(':', start), list.size());
        wanted.push_back(CatalogueName(list.substr(start, end - start)));
        start = end + 1;
    }
    if (!name.empty())
        wanted.push_back(name);
    wanted.push_back(UserInterfaceLanguage());
    return wanted;
}
#else
constexpr const char* kDomain = "quorvel-cli";

// PREFIX/share/locale for a program in PREFIX/bin: the same in /usr, in
// /usr/local and in the build tree, so nothing is fixed when it is built.
std::string LocaleFolder()
{
    std::string exe(4096, '\0');
    const ssize_t length = readlink("/proc/self/exe", exe.data(), exe.size());
    if (length <= 0 || static_cast<size_t>(length) >= exe.size())
        return {};
    exe.resize(static_cast<size_t>(length));
    const size_t bin = exe.rfind('/');
    const size_t prefix = bin == std::string::npos || bin == 0 ? std::string::npos : exe.rfind('/', bin - 1);
    return prefix == std::string::npos ? std::string() : exe.substr(0, prefix) + "/share/locale";
}
#endif

std::string Lookup(const char* msgid)
{
#ifdef _WIN32
    if (g_catalogue != nullptr) {
        const std::string_view found = MoCatalogue(g_catalogue->bytes, g_catalogue->size).Find(msgid);
        if (!found.empty())
            return std::string(found);
    }
    return msgid;
#else
    return dgettext(kDomain, msgid);
#endif
}

}  // namespace

void OpenCatalogue()
{
#ifdef _WIN32
    // The first language asked for that has a catalogue; English has none.
    for (const std::string& language : WantedLanguages()) {
        if (language == "en" || language.starts_with("en_"))
            return;
        for (const EmbeddedCatalogue& catalogue : EmbeddedCatalogues()) {
            if (language == catalogue.language) {
                g_catalogue = &catalogue;
                return;
            }
        }
    }
#else
    // Only the messages' category: numbers and the rest stay as in C.
    std::setlocale(LC_MESSAGES, "");
    const std::string folder = LocaleFolder();
    if (!folder.empty())
        bindtextdomain(kDomain, folder.c_str());
    bind_textdomain_codeset(kDomain, "UTF-8");
    textdomain(kDomain);
#endif
}

std::u16string Tr(const char* msgid)
{
    return Utf8ToUtf16(Lookup(msgid));
}

std::u16string Tr(const char* msgid, std::initializer_list<std::u16string_view> args)
{
    return Tr(msgid, std::span(args.begin(), args.size()));
}

std::u16string Tr(const char* msgid, std::span<const std::u16string_view> args)
{
    const std::u16string pattern = Tr(msgid);
    std::u16string text;
    for (size_t at = 0; at < pattern.size(); ++at) {
        const size_t n = at + 2 < pattern.size() && pattern[at] == u'{' && pattern[at + 2] == u'}'
                             ? static_cast<size_t>(pattern[at + 1] - u'1')
                             : args.size();
        if (n < args.size()) {
            text += args[n];
            at += 2;
        } else {
            text += pattern[at];
        }
    }
    return text;
}

std::u16string Tr(std::u16string_view msgid)
{
    return Tr(Utf16ToUtf8(msgid).c_str());
}

}  // namespace quorvel
