// Waiting for something another thread or process does, with a deadline, so a
// hung program fails a test instead of hanging the run.
#pragma once

#include <functional>

namespace quorvel::test {

// The longest a test waits for a window or a box to answer.
constexpr unsigned kWaitMs = 20000;

// Polls condition every pollMs until it holds (true) or timeoutMs, times the
// test time scale (TimeScale.h), have passed (false).
bool WaitUntil(const std::function<bool()>& condition, unsigned timeoutMs = kWaitMs, unsigned pollMs = 10);

// Waits ms times the test time scale, for what comes a moment later with
// nothing to poll for: a window's text, a second box that must not come.
void Pause(unsigned ms);

}  // namespace quorvel::test
