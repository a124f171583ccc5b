#pragma once
// Which platform's backends a test program is built with, for the few expectations where the
// platform itself behaves differently from Linux. Each place that reads it says why, and keeps
// the platform's expectation beside ours; everywhere else both platforms meet the same ones.
// The Windows tests run under Wine, so "Windows" there means Wine's implementation.

namespace ornivel::test {

inline constexpr bool kWindowsBackends = ORNIVEL_TEST_WINDOWS_BACKENDS;

}  // namespace ornivel::test
