#include "text/unicode.h"

namespace ornivel {

Utf8Sequence ReadUtf8Sequence(std::string_view bytes) {
  Utf8Sequence sequence;
  if (bytes.empty()) return sequence;
  const auto lead = static_cast<unsigned char>(bytes[0]);
  if (lead < 0x80) return {lead, 1, true};
  // The number of trail bytes, and the range of the first one (the others are 80..BF).
  std::size_t trails = 0;
  unsigned char low = 0x80, high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    trails = 1;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    trails = 2;
    if (lead == 0xE0) low = 0xA0;   // no overlong forms
    if (lead == 0xED) high = 0x9F;  // no encoded surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    trails = 3;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;  // nothing above U+10FFFF
  } else {
    return sequence;  // a byte that starts nothing
  }
  char32_t code = lead & (0x3F >> trails);
  std::size_t length = 1;
  for (; length <= trails; ++length) {
    if (length >= bytes.size()) return {0, length, false};
    const auto byte = static_cast<unsigned char>(bytes[length]);
    if (byte < low || byte > high) return {0, length, false};
    code = (code << 6) | (byte & 0x3F);
    low = 0x80;
    high = 0xBF;
  }
  return {code, length, true};
}

}  // namespace ornivel
