// POSIX side of the clock: the time now and its local calendar form.
#include "platform/Clock.h"

#include <ctime>

namespace quorvel {

int64_t CurrentTime()
{
    return static_cast<int64_t>(std::time(nullptr));
}

std::optional<LocalTime> ToLocalTime(int64_t t)
{
    const auto tt = static_cast<std::time_t>(t);
    if (static_cast<int64_t>(tt) != t)
        return std::nullopt;
    std::tm tm {};
    if (::localtime_r(&tt, &tm) == nullptr)
        return std::nullopt;
    return LocalTime {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
}

}  // namespace quorvel
