#pragma once
// The program's GBK texts to and from the wchar_t strings of the platform's W functions, always
// through code page 936, whatever Windows' own code page is. For the Windows backends, where
// wchar_t is a UTF-16 unit. Windows only.

#include <string>
#include <string_view>

#include "text/code_page.h"
#include "text/text_convert.h"

namespace ornivel {

// A GBK text as UTF-16 for a W function.
[[nodiscard]] inline std::wstring Wide(std::string_view gbk) {
  const std::u16string units = TextToUtf16(gbk, kCodePageGbk);
  return std::wstring(units.begin(), units.end());
}

// UTF-16 from a W function, up to its first zero unit, as GBK text.
[[nodiscard]] inline std::string Narrow(std::wstring_view wide) {
  return Utf16ToText(std::u16string(wide.begin(), wide.end()), kCodePageGbk);
}

}  // namespace ornivel
