// TextBetween and the cookie routines over arbitrary texts.
#include "http/cookie_text.h"
#include "tests/fuzz/fuzz_support.h"
#include "text/gbk_text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace ornivel;
  const auto [first, second] = fuzz::SplitInput(data, size);
  const std::string between = TextBetween(first, "<mp3dl>", "</mp3dl>");
  FUZZ_CHECK(between.size() <= first.size());
  (void)TextBetween(first, second, second, static_cast<long long>(second.size()) - 2, true);
  (void)SetCookiePair(first);

  std::string cookies(first);
  std::string fresh(second);
  const std::string merged = MergeCookies(cookies, fresh);
  FUZZ_CHECK(merged == cookies);
  // No space is left (a space after a lead byte is that character's trail byte, not a space).
  FUZZ_CHECK(RemoveSpaces(fresh) == fresh);
  // The merged text holds no repeated pair.
  const auto pieces = TextSplit(merged, "; ");
  for (std::size_t i = 0; i < pieces.size(); ++i) {
    FUZZ_CHECK(IndexOfText(pieces, pieces[i]) == static_cast<long long>(i) + 1);
  }
  return 0;
}
