// How many times longer than usual a test may wait for the program under
// test: more than 1 where it runs emulated, slower than natively
// (QUORVEL_TIME_SCALE, set by scripts/wine-env), else 1.
#pragma once

#include <algorithm>
#include <cstdlib>

namespace quorvel::test {

inline unsigned TimeScale()
{
    static const unsigned scale = [] {
        const char* text = std::getenv("QUORVEL_TIME_SCALE");
        return static_cast<unsigned>(std::clamp(text ? std::atoi(text) : 1, 1, 10));
    }();
    return scale;
}

}  // namespace quorvel::test
