// Win32 side of the clock: the time now and its local calendar form.
#include "platform/Clock.h"

#include <ctime>

namespace quorvel {

int64_t CurrentTime()
{
    return static_cast<int64_t>(::_time64(nullptr));
}

std::optional<LocalTime> ToLocalTime(int64_t t)
{
    const __time64_t tt = t;
    std::tm tm {};
    if (::_localtime64_s(&tm, &tt) != 0)
        return std::nullopt;
    return LocalTime {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
}

}  // namespace quorvel
