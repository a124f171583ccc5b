#include "http/response_decoding.h"

#include <algorithm>
#include <string_view>

#include "http/charset_decoder.h"
#include "regex/regex_object.h"
#include "text/ascii.h"
#include "text/message_pump.h"
#include "text/text_convert.h"

namespace ornivel {

bool MayDeclareCharset(std::string_view sample) {
  constexpr std::string_view kTag = "<meta";
  for (std::size_t at = sample.find('<'); at != std::string_view::npos;
       at = sample.find('<', at + 1)) {
    if (AsciiEqualIgnoringCase(sample.substr(at, kTag.size()), kTag)) return true;
  }
  return false;
}

std::string DecodeResponseText(std::span<const std::uint8_t> body) {
  const std::string_view bytes(reinterpret_cast<const char*>(body.data()), body.size());
  std::string text(bytes.substr(0, bytes.find('\0')));

  constexpr std::size_t kSampleSize = 1024;  // the cut may fall inside a double-byte character
  const std::string_view sample = std::string_view(text).substr(0, kSampleSize);
  if (!MayDeclareCharset(sample)) {
    ProcessPendingMessages();  // as after a run of the pattern that found nothing
    return text;
  }
  RegexObject regex;
  if (regex.Create(kCharsetPattern, sample)) {
    const std::string name = regex.SubMatchText(1, 1);
    // Only these two exact spellings are exempt: "GBK" or "GB2312" goes through the decoder as
    // code page 936 and comes back as the same text, but for bytes that are no character.
    if (!name.empty() && name != "gbk" && name != "gb2312") {
      if (auto decoded = DecodeCharset(name, body)) text = Utf16ToText(*decoded, kCodePageGbk);
    }
    ProcessPendingMessages();
  }
  return text;
}

}  // namespace ornivel
