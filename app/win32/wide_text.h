#pragma once
// The program's GBK texts to and from the UTF-16 of the platform's W functions, always through
// code page 936, whatever Windows' own code page is.

#include <string>
#include <string_view>

#include "text/code_page.h"
#include "text/text_convert.h"

namespace ornivel {

[[nodiscard]] inline std::wstring Wide(std::string_view gbk) {
  const std::u16string units = TextToUtf16(gbk, kCodePageGbk);
  return std::wstring(units.begin(), units.end());
}

[[nodiscard]] inline std::string Narrow(std::wstring_view wide) {
  return Utf16ToText(std::u16string(wide.begin(), wide.end()), kCodePageGbk);
}

}  // namespace ornivel
