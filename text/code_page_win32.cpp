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

bool IsHighSurrogate(char16_t unit) {
  return unit >= 0xD800 && unit <= 0xDBFF;
}
bool IsLowSurrogate(char16_t unit) {
  return unit >= 0xDC00 && unit <= 0xDFFF;
}

// UTF-8 as the Unicode standard recommends: each maximal ill-formed subsequence is one U+FFFD.
std::u16string DecodeUtf8(std::string_view bytes) {
  std::u16string out;
  out.reserve(bytes.size());
  std::size_t i = 0;
  while (i < bytes.size()) {
    const auto lead = static_cast<unsigned char>(bytes[i]);
    if (lead < 0x80) {
      out.push_back(lead);
      ++i;
      continue;
    }
    // The number of trail bytes, and the range of the first one (the others are 80..BF).
    int trails = 0;
    unsigned char low = 0x80, high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
      trails = 1;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      trails = 2;
      if (lead == 0xE0) low = 0xA0;
      if (lead == 0xED) high = 0x9F;  // no encoded surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      trails = 3;
      if (lead == 0xF0) low = 0x90;
      if (lead == 0xF4) high = 0x8F;  // nothing above U+10FFFF
    } else {
      out.push_back(u'\uFFFD');
      ++i;
      continue;
    }
    char32_t code = lead & (0x3F >> trails);
    std::size_t next = i + 1;
    bool whole = true;
    for (int t = 0; t < trails; ++t, ++next) {
      const unsigned char byte = next < bytes.size() ? static_cast<unsigned char>(bytes[next]) : 0;
      if (next >= bytes.size() || byte < low || byte > high) {
        whole = false;
        break;
      }
      code = (code << 6) | (byte & 0x3F);
      low = 0x80;
      high = 0xBF;
    }
    i = next;
    if (!whole) {
      out.push_back(u'\uFFFD');
    } else if (code >= 0x10000) {
      code -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (code >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (code & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(code));
    }
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
