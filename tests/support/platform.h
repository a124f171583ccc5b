#pragma once
// Where the platforms' backends differ on purpose, a test writes each platform's expectation
// beside the other's and picks one with kWindows; both are compiled everywhere.

namespace ornivel::test {

#ifdef _WIN32
inline constexpr bool kWindows = true;
#else
inline constexpr bool kWindows = false;
#endif

}  // namespace ornivel::test
