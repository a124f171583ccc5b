#pragma once
// Which platform's backends a test program is built with, for the few expectations where the
// platforms differ. Each place that reads it says why, and keeps each platform's expectation
// beside the other's; both are compiled everywhere.

namespace ornivel::test {

#ifdef _WIN32
inline constexpr bool kWindowsBackends = true;
#else
inline constexpr bool kWindowsBackends = false;
#endif

}  // namespace ornivel::test
