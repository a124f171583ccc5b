// The search reply's parse timed by hand, where Google Benchmark is not built (the Windows
// programs, run under Wine): a one-line reply of 500 records, as the service sends it, run
// through the song-record pattern, with groups 1, 2, 3 and 5 of every match read as the search
// reads them. Prints the median and the fastest of 50 runs. Run the release build:
//   build/linux-release/bench/ornivel_parse_timing
//   WINEPREFIX=$(mktemp -d) /usr/lib/wine/wine64 build/win64/bench/ornivel_parse_timing.exe
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "regex/regex_object.h"
#include "service/song_record_pattern.h"
#include "tests/support/search_reply.h"
#include "text/text_convert.h"

int main() {
  using namespace ornivel;
  constexpr int kRuns = 50;
  const std::string reply = Utf8ToGbk(test::OneLineSearchReply(500));
  std::vector<double> runs;
  std::size_t bytes = 0;
  for (int run = 0; run < kRuns; ++run) {
    const auto start = std::chrono::steady_clock::now();
    RegexObject regex;
    if (!regex.Create(kSongRecordPattern, reply, kSongRecordOptions) || regex.MatchCount() != 500) {
      std::fprintf(stderr, "run %d: the pattern did not find 500 records\n", run + 1);
      return 1;
    }
    for (int i = 1; i <= 500; ++i) {
      for (const int group : {1, 2, 3, 5}) bytes += regex.SubMatchText(i, group).size();
    }
    const std::chrono::duration<double, std::micro> took = std::chrono::steady_clock::now() - start;
    runs.push_back(took.count());
  }
  std::sort(runs.begin(), runs.end());
  std::printf(
      "500-record search parse of a %zu-byte one-line reply: median %.0f us, fastest "
      "%.0f us over %d runs (%zu bytes read)\n",
      reply.size(), runs[runs.size() / 2], runs.front(), kRuns, bytes / kRuns);
  return 0;
}
