#pragma once
// ASCII letter case, the one case rule of the program (only A to Z and a to z have a case;
// every other byte, GBK's included, stays as it is), and ASCII control characters.

#include <string>
#include <string_view>

namespace ornivel {

[[nodiscard]] constexpr char AsciiLower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// `text` with every ASCII capital made small.
[[nodiscard]] inline std::string AsciiLowerText(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = AsciiLower(c);
  return out;
}

// Whether `c` is an ASCII control character (00 to 1F, or 7F). No byte of a GBK double-byte
// character or of a UTF-8 sequence is one.
[[nodiscard]] constexpr bool IsAsciiControl(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return byte < 0x20 || byte == 0x7F;
}

// Whether `text` holds an ASCII control character (a line break, an escape, ...).
[[nodiscard]] constexpr bool HasAsciiControl(std::string_view text) {
  for (const char c : text) {
    if (IsAsciiControl(c)) return true;
  }
  return false;
}

// Whether `a` and `b` are the same but for the case of ASCII letters.
[[nodiscard]] constexpr bool AsciiEqualIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  }
  return true;
}

}  // namespace ornivel
