// The two patterns the program runs, over arbitrary subjects, reading every group of every
// match as the search does.
#include "http/response_decoding.h"
#include "regex/regex_object.h"
#include "service/song_record_pattern.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace ornivel;
  const std::string_view subject(reinterpret_cast<const char*>(data), size);
  RegexObject regex;
  if (regex.Create(kSongRecordPattern, subject, kSongRecordOptions)) {
    const int n = regex.MatchCount();
    for (int i = 1; i <= n; ++i) {
      std::size_t total = 0;
      for (int g = 1; g <= 5; ++g) total += regex.SubMatchText(i, g).size();
      FUZZ_CHECK(total <= regex.MatchText(i).size());
    }
    FUZZ_CHECK(regex.SubMatchText(n + 1, 1).empty());
  } else {
    FUZZ_CHECK(regex.MatchCount() == 0);
  }
  RegexObject charset;
  if (charset.Create(kCharsetPattern, subject.substr(0, 1024))) {
    const std::string name = charset.SubMatchText(1, 1);
    FUZZ_CHECK(name.find(' ') == std::string::npos);
  }
  return 0;
}
