// Path and name helpers shared by both sides.
#include "platform/FileNames.h"

#include <atomic>
#include <chrono>
#include <random>

namespace quorvel {
namespace {

constexpr char16_t kTemporaryPrefix[] = u".quorvel-";
constexpr char16_t kTemporarySuffix[] = u".tmp";
constexpr size_t kTemporaryDigits = 8;

bool IsHexDigit(char16_t c)
{
    return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f');
}

}  // namespace

bool IsPathSeparator(char16_t c)
{
#ifdef _WIN32
    return c == u'\\' || c == u'/';
#else
    return c == u'/';
#endif
}

std::u16string FolderOf(const std::u16string& path)
{
#ifdef _WIN32
    const auto cut = path.find_last_of(u"\\/:");  // "D:name" is name in D:'s current folder
#else
    const auto cut = path.find_last_of(u'/');
#endif
    return cut == std::u16string::npos ? std::u16string() : path.substr(0, cut + 1);
}

std::u16string NameOf(const std::u16string& path)
{
    return path.substr(FolderOf(path).size());
}

bool IsTemporaryOutputName(const std::u16string& name)
{
    const std::u16string prefix = kTemporaryPrefix, suffix = kTemporarySuffix;
    if (name.size() != prefix.size() + kTemporaryDigits + suffix.size() || !name.starts_with(prefix) ||
        !name.ends_with(suffix))
        return false;
    for (size_t i = prefix.size(); i < prefix.size() + kTemporaryDigits; ++i) {
        if (!IsHexDigit(name[i]))
            return false;
    }
    return true;
}

FileStatus CreateUnderTemporaryName(const std::u16string& folder,
                                    const std::function<FileStatus(const std::u16string& path)>& create)
{
    constexpr int kAttempts = 100;
    FileStatus status;
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        status = create(folder + NewTemporaryOutputName());
        if (status.error != FileError::Exists)
            return status;
    }
    return {FileError::NoTemporaryName, status.systemCode};
}

std::u16string NewTemporaryOutputName()
{
    // Random, not numbered from 1: a name left by a run that was killed is
    // never the one the next run tries first. The seed mixes the clock in,
    // for systems whose random_device is deterministic.
    static std::atomic<uint64_t> counter {0};
    thread_local std::mt19937_64 random([] {
        std::random_device device;
        const auto now = static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
        return (static_cast<uint64_t>(device()) << 32 ^ device()) ^ now;
    }());
    uint64_t value = random() ^ counter.fetch_add(0x9E3779B97F4A7C15ull);
    std::u16string name = kTemporaryPrefix;
    for (size_t i = 0; i < kTemporaryDigits; ++i, value >>= 4)
        name += u"0123456789abcdef"[value & 0xF];
    return name + kTemporarySuffix;
}

}  // namespace quorvel
