// Code pages with MultiByteToWideChar and WideCharToMultiByte. The program's system code page
// is GBK whatever Windows' own is, so 0 is converted as 936.
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

}  // namespace

std::u16string DecodeCodePage(std::string_view bytes, int codePage) {
  const UINT platform = PlatformCodePage(codePage);
  if (platform == 0 || bytes.empty() || bytes.size() > INT_MAX) return {};
  const int length = static_cast<int>(bytes.size());
  const int units = MultiByteToWideChar(platform, 0, bytes.data(), length, nullptr, 0);
  if (units <= 0) return {};
  std::u16string out(static_cast<std::size_t>(units), u'\0');
  MultiByteToWideChar(platform, 0, bytes.data(), length, reinterpret_cast<wchar_t*>(out.data()),
                      units);
  return out;
}

std::string EncodeCodePage(std::u16string_view units, int codePage) {
  const UINT platform = PlatformCodePage(codePage);
  if (platform == 0 || units.empty() || units.size() > INT_MAX) return {};
  const auto* wide = reinterpret_cast<const wchar_t*>(units.data());
  const int length = static_cast<int>(units.size());
  const int bytes = WideCharToMultiByte(platform, 0, wide, length, nullptr, 0, nullptr, nullptr);
  if (bytes <= 0) return {};
  std::string out(static_cast<std::size_t>(bytes), '\0');
  WideCharToMultiByte(platform, 0, wide, length, out.data(), bytes, nullptr, nullptr);
  return out;
}

}  // namespace ornivel
