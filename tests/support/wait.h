#pragma once
// Waiting in tests: every wait has a deadline, so a fault shows as a failed check with its
// message, never as a test killed at its time limit with nothing said.

#include <chrono>
#include <thread>

namespace ornivel::test {

// Waits until `done()` holds, checking every few milliseconds, for at most `limit`; whether it
// holds.
template <typename Done>
[[nodiscard]] bool WaitUntil(Done done,
                             std::chrono::milliseconds limit = std::chrono::seconds(30)) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

}  // namespace ornivel::test
