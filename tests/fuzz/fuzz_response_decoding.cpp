// DecodeResponseText over arbitrary bodies; the input may start with a charset declaration
// chosen by the fuzzer.
#include "http/response_decoding.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace ornivel;
  const std::string text = DecodeResponseText(std::span<const std::uint8_t>(data, size));
  FUZZ_CHECK(text.find('\0') == std::string::npos);
  return 0;
}
