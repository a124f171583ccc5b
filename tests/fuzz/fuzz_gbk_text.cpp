// The GBK-aware text operations over arbitrary bytes: no read past the end, no endless loop, and
// the results keep their own promises.
#include "tests/fuzz/fuzz_support.h"
#include "text/gbk_text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace ornivel;
  const auto [text, needle] = fuzz::SplitInput(data, size);
  for (const bool ignoreCase : {false, true}) {
    const long long found = TextFind(text, needle, 1, ignoreCase);
    if (found != -1) {
      FUZZ_CHECK(found >= 1 && static_cast<std::size_t>(found) - 1 + needle.size() <= text.size());
      if (!ignoreCase) FUZZ_CHECK(text.substr(found - 1, needle.size()) == needle);
      FUZZ_CHECK(TextFind(text, needle, found, ignoreCase) == found);
    }
    const std::string replaced = TextReplace(text, needle, "", ignoreCase);
    FUZZ_CHECK(replaced.size() <= text.size());
    if (found == -1) FUZZ_CHECK(replaced == text);
  }
  const auto pieces = TextSplit(text, needle);
  FUZZ_CHECK(text.empty() == pieces.empty());
  const std::string trimmed = TextTrim(text);
  FUZZ_CHECK(TextTrim(trimmed) == trimmed);
  FUZZ_CHECK(RemoveSpaces(trimmed) == RemoveSpaces(text));
  const auto n = static_cast<long long>(needle.size()) - 3;
  FUZZ_CHECK(TextLeft(text, n).size() <= text.size());
  FUZZ_CHECK(TextRight(text, n).size() <= text.size());
  FUZZ_CHECK(TextMiddle(text, n, n).size() <= text.size());
  return 0;
}
