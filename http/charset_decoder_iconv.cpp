// Page charsets over glibc iconv.
#include <algorithm>

#include "http/charset_decoder.h"
#include "http/charset_names.h"
#include "text/ascii.h"
#include "text/iconv_handle.h"

namespace ornivel {

std::optional<std::u16string> DecodeCharset(std::string_view charsetName,
                                            std::span<const std::uint8_t> bytes) {
  // iconv reads suffixes such as "//IGNORE" from the name: only a plain name is passed on.
  const bool plain =
      !charsetName.empty() && std::all_of(charsetName.begin(), charsetName.end(), [](char c) {
        return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
               c == '-' || c == '_' || c == '.' || c == ':';
      });
  if (!plain) return std::nullopt;
  const std::string name = PageCharsetName(charsetName);
  IconvHandle cd(kIconvWide, name.c_str());
  if (!cd) return std::nullopt;
  const std::string lower = AsciiLowerText(name);
  const bool utf8 = lower == "utf-8" || lower == "utf8";
  std::u16string text = IconvDecode(
      cd, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()), utf8);
  if (!text.empty() && text.front() == u'\uFEFF') text.erase(0, 1);
  return text;
}

}  // namespace ornivel
