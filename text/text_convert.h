#pragma once
// Percent-encoding and conversion between GBK, UTF-8 and UTF-16.
//
// Texts end at their first NUL, as they do everywhere in the program: conversions read up to it.

#include <optional>
#include <string>
#include <string_view>

#include "text/code_page.h"

namespace ornivel {

// The options of UrlEncode; each field left out keeps its default. Name them at the call:
// UrlEncode(keyword, {.toUtf8 = true}).
struct UrlEncodeOptions {
  bool keepUnreserved = false;  // "-", ".", digits and ASCII letters stay as they are
  bool toUtf8 = false;          // the GBK text is converted to UTF-8 first
};

// Percent-encodes every byte of `text` as "%" and two upper-case hexadecimal digits, but for
// what `keepUnreserved` keeps ("_", "~" and "/" are encoded even then). A space is always %20.
[[nodiscard]] std::string UrlEncode(std::string_view text, const UrlEncodeOptions& options = {});

// `bytes` with every byte for which `keep` is false written as "%" and two upper-case
// hexadecimal digits (a value below 16 with a leading "0").
template <typename Keep>
[[nodiscard]] std::string PercentEncode(std::string_view bytes, Keep keep) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(bytes.size() * 3);
  for (const char ch : bytes) {
    const auto c = static_cast<unsigned char>(ch);
    if (keep(c)) {
      out.push_back(ch);
    } else {
      const char encoded[3] = {'%', kHex[c >> 4], kHex[c & 0x0F]};
      out.append(encoded, 3);
    }
  }
  return out;
}

// GBK text as UTF-8. Never loses a GBK character.
[[nodiscard]] std::string GbkToUtf8(std::string_view text);

// UTF-8 text as GBK. Invalid UTF-8 and characters GBK lacks become "?".
[[nodiscard]] std::string Utf8ToGbk(std::string_view text);

// UTF-8 text as GBK only when nothing is lost on the way (the text is well-formed UTF-8, holds
// no NUL, and GBK has every character of it); nullopt otherwise.
[[nodiscard]] std::optional<std::string> Utf8ToGbkExactly(std::string_view text);

// `text` read in `codePage` as UTF-16 units (without a terminating zero unit).
[[nodiscard]] std::u16string TextToUtf16(std::string_view text, int codePage = kCodePageUtf8);

// UTF-16 `units` up to their first zero unit, written in `codePage`.
[[nodiscard]] std::string Utf16ToText(std::u16string_view units, int codePage = kCodePageSystem);

}  // namespace ornivel
