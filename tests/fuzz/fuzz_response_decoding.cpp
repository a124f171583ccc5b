// DecodeResponseText over arbitrary bodies; the input may start with a charset declaration
// chosen by the fuzzer. And the scan that lets the charset pattern run only where "<meta" stands:
// wherever the pattern matches a sample, the scan must have said it may.
#include <algorithm>
#include <string_view>

#include "http/response_decoding.h"
#include "regex/regex_object.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace ornivel;
  const std::string text = DecodeResponseText(std::span<const std::uint8_t>(data, size));
  FUZZ_CHECK(text.find('\0') == std::string::npos);

  // The sample DecodeResponseText looks at: up to the first zero byte, at most 1024 bytes.
  std::string_view sample(reinterpret_cast<const char*>(data), size);
  sample = sample.substr(0, std::min<std::size_t>(sample.find('\0'), 1024));
  RegexObject regex;
  if (regex.Create(kCharsetPattern, sample) && regex.MatchCount() > 0) {
    FUZZ_CHECK(MayDeclareCharset(sample));
  }
  return 0;
}
