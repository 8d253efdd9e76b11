// What the forgetful disk writes in its log and powercut_check reads: a
// file's content as its length and a 64-bit FNV-1a hash of its bytes, and
// names escaped so that a line splits at its spaces.
#pragma once

#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

struct Fingerprint {
    unsigned long long size = 0;
    unsigned long long hash = 0xcbf29ce484222325ULL;

    void Add(const void* bytes, size_t n)
    {
        const auto* p = static_cast<const unsigned char*>(bytes);
        for (size_t i = 0; i < n; ++i)
            hash = (hash ^ p[i]) * 0x100000001b3ULL;
        size += n;
    }
    bool operator==(const Fingerprint&) const = default;
};

// Letters, digits and "._-" as they are; every other byte as %XX.
inline std::string Escaped(std::string_view name)
{
    std::string out;
    for (const unsigned char c : name) {
        if (std::isalnum(c) || c == '.' || c == '_' || c == '-') {
            out += static_cast<char>(c);
        } else {
            char hex[4];
            std::snprintf(hex, sizeof hex, "%%%02X", c);
            out += hex;
        }
    }
    return out;
}
