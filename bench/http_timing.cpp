// HttpRequest timed by hand, where Google Benchmark is not built (the Windows programs, run under
// Wine): rounds of 1000 sequential GETs of a 1 KiB body from a loopback server, each request
// with its own session and connection, as the program makes them. Prints each round's time and
// the fastest. Run the release build:
//   build/linux-release/bench/ornivel_http_timing
//   WINEPREFIX=$(mktemp -d) /usr/lib/wine/wine64 build/win64/bench/ornivel_http_timing.exe
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "http/http_request.h"
#include "tests/support/raw_http_server.h"

int main() {
  constexpr int kRounds = 5;
  constexpr int kRequests = 1000;
  const std::string body(1024, 'x');
  ornivel::test::RawHttpServer server([&](const std::string&) {
    return ornivel::test::RawReply{ornivel::test::HttpResponse("200 OK", "", body)};
  });
  const std::string url = server.url("/kib");
  std::vector<double> rounds;
  for (int round = 0; round < kRounds; ++round) {
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < kRequests; ++i) {
      if (ornivel::HttpRequest(url).size() != body.size()) {
        std::fprintf(stderr, "short body in round %d, request %d\n", round + 1, i + 1);
        return 1;
      }
    }
    const std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - start;
    rounds.push_back(took.count());
    std::printf("round %d: %d GETs of 1 KiB in %.0f ms (%.2f ms each)\n", round + 1, kRequests,
                took.count(), took.count() / kRequests);
  }
  std::printf("fastest: %.0f ms\n", *std::min_element(rounds.begin(), rounds.end()));
  return 0;
}
