#include "text/iconv_handle.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstring>

namespace ornivel {

static_assert(std::endian::native == std::endian::little, "kIconvUtf16 assumes a little-endian host");

namespace {

constexpr char16_t kReplacementCharacter = u'\uFFFD';

bool IsHighSurrogate(char16_t u) { return u >= 0xD800 && u <= 0xDBFF; }
bool IsLowSurrogate(char16_t u) { return u >= 0xDC00 && u <= 0xDFFF; }

}  // namespace

std::size_t Utf8IllFormedLength(std::string_view bytes) {
  if (bytes.empty()) return 0;
  const auto lead = static_cast<unsigned char>(bytes[0]);
  std::size_t need = 0;
  unsigned char lo = 0x80, hi = 0xBF;  // range of the second byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    need = 1;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    need = 2;
    if (lead == 0xE0) lo = 0xA0;  // no overlong forms
    if (lead == 0xED) hi = 0x9F;  // no surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    need = 3;
    if (lead == 0xF0) lo = 0x90;
    if (lead == 0xF4) hi = 0x8F;  // nothing above U+10FFFF
  } else {
    return 1;
  }
  std::size_t n = 1;
  for (; n <= need && n < bytes.size(); ++n) {
    const auto b = static_cast<unsigned char>(bytes[n]);
    const bool ok = n == 1 ? (b >= lo && b <= hi) : (b >= 0x80 && b <= 0xBF);
    if (!ok) break;
  }
  return n;
}

std::u16string IconvDecode(const IconvHandle& cd, std::string_view bytes, bool utf8) {
  std::u16string out;
  if (bytes.empty()) return out;
  // A byte never gives more than one UTF-16 unit; a four-byte sequence gives two.
  std::string buffer(bytes.size() * 2 + 8, '\0');
  iconv(cd.get(), nullptr, nullptr, nullptr, nullptr);
  auto* in = const_cast<char*>(bytes.data());
  std::size_t inLeft = bytes.size();
  while (inLeft > 0) {
    char* outPtr = buffer.data();
    std::size_t outLeft = buffer.size();
    const std::size_t rc = iconv(cd.get(), &in, &inLeft, &outPtr, &outLeft);
    const int err = rc == static_cast<std::size_t>(-1) ? errno : 0;
    const std::size_t produced = buffer.size() - outLeft;
    const std::size_t start = out.size();
    out.resize(start + produced / 2);
    std::memcpy(out.data() + start, buffer.data(), produced / 2 * 2);
    if (err == 0 || err == E2BIG) continue;
    // EILSEQ: an invalid sequence here; EINVAL: the text ends inside a sequence.
    out.push_back(kReplacementCharacter);
    std::size_t skip = err == EINVAL ? inLeft : 1;
    if (utf8 && err == EILSEQ) skip = Utf8IllFormedLength(std::string_view(in, inLeft));
    in += skip;
    inLeft -= skip;
    iconv(cd.get(), nullptr, nullptr, nullptr, nullptr);
  }
  return out;
}

std::string IconvEncode(const IconvHandle& cd, std::u16string_view units) {
  std::string out;
  if (units.empty()) return out;
  std::string buffer(units.size() * 4 + 8, '\0');
  iconv(cd.get(), nullptr, nullptr, nullptr, nullptr);
  auto* in = reinterpret_cast<char*>(const_cast<char16_t*>(units.data()));
  std::size_t inLeft = units.size() * 2;
  while (inLeft > 0) {
    char* outPtr = buffer.data();
    std::size_t outLeft = buffer.size();
    const std::size_t rc = iconv(cd.get(), &in, &inLeft, &outPtr, &outLeft);
    const int err = rc == static_cast<std::size_t>(-1) ? errno : 0;
    out.append(buffer.data(), buffer.size() - outLeft);
    if (err == 0 || err == E2BIG) continue;
    // A character the target lacks, or a surrogate without its partner: one "?" for it.
    out.push_back('?');
    std::size_t skip = 2;
    if (err == EILSEQ && inLeft >= 4) {
      char16_t first, second;
      std::memcpy(&first, in, 2);
      std::memcpy(&second, in + 2, 2);
      if (IsHighSurrogate(first) && IsLowSurrogate(second)) skip = 4;
    }
    skip = std::min(skip, inLeft);
    in += skip;
    inLeft -= skip;
    iconv(cd.get(), nullptr, nullptr, nullptr, nullptr);
  }
  return out;
}

}  // namespace ornivel
