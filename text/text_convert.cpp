#include "text/text_convert.h"

#include <algorithm>

#include "text/unicode.h"

namespace ornivel {
namespace {

template <typename Char>
std::basic_string_view<Char> UpToNul(std::basic_string_view<Char> text) {
  const auto nul = text.find(Char{0});
  return nul == text.npos ? text : text.substr(0, nul);
}

bool IsUnreserved(unsigned char c) {
  return c == '-' || c == '.' || (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') ||
         (c >= 'a' && c <= 'z');
}

// Whether `text` is ASCII alone, which GBK and UTF-8 write alike: converting it between them
// changes nothing, and the code-page backend need not be asked.
bool IsAscii(std::string_view text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return (c & 0x80) == 0; });
}

// A long text is converted a piece at a time: the code-page backends work through UTF-16 and
// UCS-4 with room for the widest characters, many times the text's own size, and a piece keeps
// that room small. A piece ends before the first byte of a UTF-8 character, never inside one.
constexpr std::size_t kConversionPiece = 1 << 20;

}  // namespace

std::string UrlEncode(std::string_view text, const UrlEncodeOptions& options) {
  text = UpToNul(text);
  if (text.empty()) return {};
  const std::string utf8 = options.toUtf8 ? GbkToUtf8(text) : std::string();
  const std::string_view bytes = options.toUtf8 ? std::string_view(utf8) : text;
  return PercentEncode(
      bytes, [keep = options.keepUnreserved](unsigned char c) { return keep && IsUnreserved(c); });
}

std::string GbkToUtf8(std::string_view text) {
  text = UpToNul(text);
  if (IsAscii(text)) return std::string(text);
  return Utf16ToText(TextToUtf16(text, kCodePageGbk), kCodePageUtf8);
}

std::string Utf8ToGbk(std::string_view text) {
  text = UpToNul(text);
  if (IsAscii(text)) return std::string(text);
  if (text.size() <= kConversionPiece) return Utf16ToText(TextToUtf16(text), kCodePageGbk);
  std::string gbk;
  gbk.reserve(text.size());  // a character is never longer in GBK than in UTF-8
  while (!text.empty()) {
    std::size_t cut = std::min(text.size(), kConversionPiece);
    // A character is four bytes at the most: three continuation bytes back is its start.
    for (int back = 0; back < 3 && cut < text.size() && IsUtf8Continuation(text[cut]); ++back) {
      --cut;
    }
    gbk.append(Utf16ToText(TextToUtf16(text.substr(0, cut)), kCodePageGbk));
    text.remove_prefix(cut);
  }
  return gbk;
}

std::optional<std::string> Utf8ToGbkExactly(std::string_view text) {
  std::string gbk = Utf8ToGbk(text);
  if (GbkToUtf8(gbk) != text) return std::nullopt;
  return gbk;
}

std::u16string TextToUtf16(std::string_view text, int codePage) {
  return DecodeCodePage(UpToNul(text), codePage);
}

std::string Utf16ToText(std::u16string_view units, int codePage) {
  return EncodeCodePage(UpToNul(units), codePage);
}

}  // namespace ornivel
