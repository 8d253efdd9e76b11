#include "Waiting.h"

#include "TimeScale.h"

#include <chrono>
#include <thread>

namespace quorvel::test {

bool WaitUntil(const std::function<bool()>& condition, unsigned timeoutMs, unsigned pollMs)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs) * TimeScale();
    for (;;) {
        if (condition())
            return true;
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(pollMs));
    }
}

void Pause(unsigned ms)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(ms) * TimeScale());
}

}  // namespace quorvel::test
