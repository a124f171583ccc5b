// Code pages with MultiByteToWideChar and WideCharToMultiByte. The program's system code page
// is GBK whatever Windows' own is, so 0 is converted as 936.
//
// Where the platform's functions part from the seam's rules, the difference is worked out here:
// UTF-8 is decoded by hand (Windows marks some broken sequences with one U+FFFD where the rule
// wants one per maximal ill-formed subsequence), a GBK lead byte that ends the text is marked
// with U+FFFD (Windows writes "?"), and a character outside the Basic Multilingual Plane becomes
// one "?", not one per surrogate.
#include <windows.h>

#include <climits>

#include "text/code_page.h"
#include "text/unicode.h"

namespace ornivel {
namespace {

UINT PlatformCodePage(int codePage) {
  switch (codePage) {
    case kCodePageSystem:
    case kCodePageGbk:
      return 936;
    case kCodePageUtf8:
      return CP_UTF8;
    default:
      return 0;
  }
}

// UTF-8 as the Unicode standard recommends: each maximal ill-formed subsequence is one U+FFFD.
std::u16string DecodeUtf8(std::string_view bytes) {
  std::u16string out;
  out.reserve(bytes.size());
  while (!bytes.empty()) {
    const Utf8Sequence sequence = ReadUtf8Sequence(bytes);
    bytes.remove_prefix(sequence.length);
    AppendUtf16(out, sequence.wellFormed ? sequence.code : char32_t{kReplacementCharacter});
  }
  return out;
}

// Whether the GBK text ends in a lead byte without its trail byte (81 to FE start a
// double-byte character).
bool EndsInLoneLeadByte(std::string_view bytes) {
  std::size_t i = 0;
  while (i < bytes.size()) {
    const auto b = static_cast<unsigned char>(bytes[i]);
    if (b >= 0x81 && b <= 0xFE) {
      if (i + 1 == bytes.size()) return true;
      i += 2;
    } else {
      ++i;
    }
  }
  return false;
}

std::u16string MultiByteToWide(UINT platform, std::string_view bytes) {
  if (bytes.empty() || bytes.size() > INT_MAX) return {};
  const int length = static_cast<int>(bytes.size());
  const int units = MultiByteToWideChar(platform, 0, bytes.data(), length, nullptr, 0);
  if (units <= 0) return {};
  std::u16string out(static_cast<std::size_t>(units), u'\0');
  MultiByteToWideChar(platform, 0, bytes.data(), length, reinterpret_cast<wchar_t*>(out.data()),
                      units);
  return out;
}

}  // namespace

std::u16string DecodeCodePage(std::string_view bytes, int codePage) {
  const UINT platform = PlatformCodePage(codePage);
  if (platform == 0 || bytes.empty()) return {};
  if (platform == CP_UTF8) return DecodeUtf8(bytes);
  if (EndsInLoneLeadByte(bytes)) {
    std::u16string out = MultiByteToWide(platform, bytes.substr(0, bytes.size() - 1));
    out.push_back(u'\uFFFD');
    return out;
  }
  return MultiByteToWide(platform, bytes);
}

std::string EncodeCodePage(std::u16string_view units, int codePage) {
  const UINT platform = PlatformCodePage(codePage);
  if (platform == 0 || units.empty() || units.size() > INT_MAX) return {};
  // An unpaired surrogate is "?" everywhere; a pair is one character, which only UTF-8 holds
  // and any other code page marks once (U+FFFD is in none of them).
  std::u16string text;
  text.reserve(units.size());
  for (std::size_t i = 0; i < units.size(); ++i) {
    const char16_t unit = units[i];
    if (IsHighSurrogate(unit) && i + 1 < units.size() && IsLowSurrogate(units[i + 1])) {
      if (platform == CP_UTF8) {
        text.append(units.substr(i, 2));
      } else {
        text.push_back(u'\uFFFD');
      }
      ++i;
    } else if (IsHighSurrogate(unit) || IsLowSurrogate(unit)) {
      text.push_back(u'?');
    } else {
      text.push_back(unit);
    }
  }
  const auto* wide = reinterpret_cast<const wchar_t*>(text.data());
  const int length = static_cast<int>(text.size());
  const int bytes = WideCharToMultiByte(platform, 0, wide, length, nullptr, 0, nullptr, nullptr);
  if (bytes <= 0) return {};
  std::string out(static_cast<std::size_t>(bytes), '\0');
  WideCharToMultiByte(platform, 0, wide, length, out.data(), bytes, nullptr, nullptr);
  return out;
}

}  // namespace ornivel
