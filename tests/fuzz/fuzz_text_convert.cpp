// UrlEncode and the code-page conversions over arbitrary bytes.
#include "tests/fuzz/fuzz_support.h"
#include "text/text_convert.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace ornivel;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const std::string_view upToNul = text.substr(0, text.find('\0'));

  const std::string encoded = UrlEncode(text);
  FUZZ_CHECK(encoded.size() == upToNul.size() * 3);
  const std::string kept = UrlEncode(text, {.keepUnreserved = true, .toUtf8 = true});
  for (const char c : kept) FUZZ_CHECK(static_cast<unsigned char>(c) < 0x80);

  const std::string gbk = Utf8ToGbk(text);
  FUZZ_CHECK(gbk.find('\0') == std::string::npos);
  // GBK never loses a character on its way to UTF-8 and back.
  FUZZ_CHECK(Utf8ToGbk(GbkToUtf8(gbk)) == gbk);
  (void)Utf16ToText(TextToUtf16(text, kCodePageGbk), kCodePageUtf8);
  return 0;
}
