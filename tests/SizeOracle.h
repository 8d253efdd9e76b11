// The size text's rule worked out apart from the program, for the unit test
// and the fuzz target: the float conversion by the compiler, the exact decimal
// expansion of that float by printf with many digits, and the tie rule
// (away from zero) applied to those digits.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>

namespace quorvel::test {

inline std::string SizeOracle(uint64_t size)
{
    if (size < 1024)
        return std::to_string(size) + "Byte";
    const int shift = size >= (uint64_t {1} << 30) ? 30 : size >= (uint64_t {1} << 20) ? 20 : 10;
    const char* unit = shift == 30 ? "GB" : shift == 20 ? "MB" : "KB";
    const float value = std::ldexp(static_cast<float>(size), -shift);
    char exact[128];
    std::snprintf(exact, sizeof exact, "%.40f", static_cast<double>(value));  // exact: a float has < 40 decimals
    const std::string digits(exact);
    const size_t dot = digits.find('.');
    const bool roundUp = digits[dot + 4] >= '5';
    const uint64_t thousandths = std::stoull(digits.substr(0, dot)) * 1000 + std::stoull(digits.substr(dot + 1, 3)) +
                                 (roundUp ? 1 : 0);
    char out[64];
    std::snprintf(out, sizeof out, "%llu.%03llu%s", static_cast<unsigned long long>(thousandths / 1000),
                  static_cast<unsigned long long>(thousandths % 1000), unit);
    return out;
}

}  // namespace quorvel::test
