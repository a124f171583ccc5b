#pragma once
// Helpers shared by the fuzz targets. A failed check aborts, which libFuzzer reports as a crash.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#define FUZZ_CHECK(cond)                                                             \
  do {                                                                               \
    if (!(cond)) {                                                                   \
      std::fprintf(stderr, "check failed: %s (%s:%d)\n", #cond, __FILE__, __LINE__); \
      std::abort();                                                                  \
    }                                                                                \
  } while (0)

namespace ornivel::fuzz {

// Splits the input at its first 0x01 byte into two texts (the second empty when none).
inline std::pair<std::string_view, std::string_view> SplitInput(const std::uint8_t* data,
                                                                std::size_t size) {
  const std::string_view all(reinterpret_cast<const char*>(data), size);
  const auto cut = all.find('\x01');
  if (cut == all.npos) return {all, {}};
  return {all.substr(0, cut), all.substr(cut + 1)};
}

}  // namespace ornivel::fuzz
