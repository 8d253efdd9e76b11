// Wall-clock time and its local calendar form, behind the platform so the
// clock text can be tested with fixed times.
#pragma once

#include <cstdint>
#include <optional>

namespace quorvel {

struct LocalTime {
    int year = 0;    // e.g. 2012
    int month = 0;   // 1-12
    int day = 0;     // 1-31
    int hour = 0;    // 0-23
    int minute = 0;
    int second = 0;
};

// Seconds since 1970-01-01 UTC, 64-bit on every platform.
int64_t CurrentTime();

// Local calendar time of t, or nothing when the conversion fails.
std::optional<LocalTime> ToLocalTime(int64_t t);

}  // namespace quorvel
