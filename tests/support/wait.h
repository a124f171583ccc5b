#pragma once
// Waiting in tests: every wait has a deadline, so a fault shows as a failed check with its
// message, never as a test killed at its time limit with nothing said.

#include <chrono>
#include <cstdlib>
#include <thread>

namespace ornivel::test {

// How many times longer the tests' waits may last: ORNIVEL_TEST_TIME_SCALE in the environment
// (the run under an emulator sets it), else 1.
inline int TimeScale() {
  static const int scale = [] {
    const char* value = std::getenv("ORNIVEL_TEST_TIME_SCALE");
    const int parsed = value != nullptr ? std::atoi(value) : 0;
    return parsed > 0 ? parsed : 1;
  }();
  return scale;
}

// Waits until `done()` holds, checking every few milliseconds, for at most `limit` (times the
// time scale); whether it holds.
template <typename Done>
[[nodiscard]] bool WaitUntil(Done done,
                             std::chrono::milliseconds limit = std::chrono::seconds(30)) {
  const auto deadline = std::chrono::steady_clock::now() + limit * TimeScale();
  while (!done()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

}  // namespace ornivel::test
