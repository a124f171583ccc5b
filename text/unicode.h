#pragma once
// The rules of Unicode's encodings that the code-page backends of both platforms and the regex
// engine share: UTF-16 surrogates, and UTF-8 read as the standard recommends, each maximal
// ill-formed subsequence standing for one U+FFFD.

#include <cstddef>
#include <string>
#include <string_view>

namespace ornivel {

inline constexpr char16_t kReplacementCharacter = u'\uFFFD';

[[nodiscard]] constexpr bool IsHighSurrogate(char16_t unit) {
  return unit >= 0xD800 && unit <= 0xDBFF;
}
[[nodiscard]] constexpr bool IsLowSurrogate(char16_t unit) {
  return unit >= 0xDC00 && unit <= 0xDFFF;
}

// Appends the code point `code` to `out` as UTF-16: one unit, or a pair of surrogates above
// U+FFFF.
inline void AppendUtf16(std::u16string& out, char32_t code) {
  if (code < 0x10000) {
    out.push_back(static_cast<char16_t>(code));
    return;
  }
  out.push_back(static_cast<char16_t>(0xD800 + ((code - 0x10000) >> 10)));
  out.push_back(static_cast<char16_t>(0xDC00 + ((code - 0x10000) & 0x3FF)));
}

// Whether `byte` continues a UTF-8 sequence (10xxxxxx) rather than beginning a character.
[[nodiscard]] constexpr bool IsUtf8Continuation(char byte) {
  return (static_cast<unsigned char>(byte) & 0xC0) == 0x80;
}

// The UTF-8 sequence that starts `bytes` (not empty): its code point and length when it is
// well-formed; otherwise `wellFormed` is false and `length` spans the maximal ill-formed
// subsequence (at least one byte), which stands for one U+FFFD.
struct Utf8Sequence {
  char32_t code = 0;
  std::size_t length = 1;
  bool wellFormed = false;
};
[[nodiscard]] Utf8Sequence ReadUtf8Sequence(std::string_view bytes);

}  // namespace ornivel
