// HttpRequest against a bare libcurl loop: 1000 sequential GETs of a 1 KiB body from a loopback
// server, each with a handle made afresh. Each of the first two runs alone; the third takes
// turns between them (and a bare loop that sends HttpRequest's header lines) in rounds of 100
// GETs within one run, so that none pays for the warm-up of the server and the machine, and
// reports HttpRequest's time over each bare loop's.
// Run the release build:
//   build/linux-release/bench/ornivel_http_bench
#include <benchmark/benchmark.h>
#include <curl/curl.h>
#include <httplib.h>

#include <chrono>
#include <string>

#include "http/http_request.h"
#include "tests/support/loopback_server.h"
#include "text/never_freed.h"

namespace ornivel {
namespace {

constexpr int kRequests = 1000;

// The loopback server of the tests, answering a 1 KiB body.
test::LoopbackServer& TheServer() {
  static NeverFreed<test::LoopbackServer> server;
  static const bool routed = [] {
    server->server().Get("/kib", [](const httplib::Request&, httplib::Response& res) {
      res.set_content(std::string(1024, 'x'), "text/plain");
    });
    return true;
  }();
  (void)routed;
  return *server;
}

// One GET of the 1 KiB body through HttpRequest; false when the body was short.
bool ProgramGet(const std::string& url) {
  return HttpRequest(url).size() == 1024;
}

std::size_t Collect(char* data, std::size_t size, std::size_t count, void* user) {
  static_cast<std::string*>(user)->append(data, size * count);
  return size * count;
}

// The header lines HttpRequest sends by default, for the bare loop that sends the same request.
constexpr const char* kProgramHeaderLines[] = {
    "User-Agent: Mozilla/5.0 (compatible; MSIE 9.0; Windows NT 6.1; WOW64; Trident/5.0)",
    "Accept: text/html, application/xhtml+xml, */*",
    "Accept-Encoding: gbk, GB2312",
    "Accept-Language: zh-cn",
    "Content-Type: application/x-www-form-urlencoded",
    "Cache-Control: no-cache",
    "Expect:",
};

// The same GET as a bare libcurl loop makes it: a handle made afresh, HTTP/1.1, nothing else;
// with `sameLines`, the header lines HttpRequest sends too, so that the server reads the same
// request from both.
bool BareCurlGet(const std::string& url, bool sameLines) {
  std::string body;
  curl_slist* lines = nullptr;
  if (sameLines) {
    for (const char* line : kProgramHeaderLines) lines = curl_slist_append(lines, line);
  }
  CURL* easy = curl_easy_init();
  curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
  curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &Collect);
  curl_easy_setopt(easy, CURLOPT_WRITEDATA, &body);
  curl_easy_setopt(easy, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
  curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(easy, CURLOPT_HTTPHEADER, lines);
  curl_easy_perform(easy);
  curl_easy_cleanup(easy);
  curl_slist_free_all(lines);
  return body.size() == 1024;
}

bool PlainCurlGet(const std::string& url) {
  return BareCurlGet(url, false);
}

bool SameRequestCurlGet(const std::string& url) {
  return BareCurlGet(url, true);
}

void Run1000(benchmark::State& state, bool (*get)(const std::string&)) {
  curl_global_init(CURL_GLOBAL_DEFAULT);
  const std::string url = TheServer().url("/kib");
  for (auto _ : state) {
    for (int i = 0; i < kRequests; ++i) {
      if (!get(url)) state.SkipWithError("short body");
    }
  }
}

void BM_HttpRequest1000Gets(benchmark::State& state) {
  Run1000(state, &ProgramGet);
}
BENCHMARK(BM_HttpRequest1000Gets)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_BareCurlEasy1000Gets(benchmark::State& state) {
  Run1000(state, &PlainCurlGet);
}
BENCHMARK(BM_BareCurlEasy1000Gets)->Unit(benchmark::kMillisecond)->Iterations(5);

// Each iteration: 1000 GETs of each of the three kinds, in turns of 100, the order of the turns
// turned round every round. The time shown is the three's; "ratio" is the program's total over
// the plain bare loop's, "ratio_same_request" over the bare loop's that sends the same header
// lines (the server then reads the same request from both).
void BM_HttpRequestOverBareCurl(benchmark::State& state) {
  using Clock = std::chrono::steady_clock;
  curl_global_init(CURL_GLOBAL_DEFAULT);
  const std::string url = TheServer().url("/kib");
  struct Kind {
    bool (*get)(const std::string&);
    Clock::duration total{};
  };
  Kind kinds[] = {{&ProgramGet}, {&PlainCurlGet}, {&SameRequestCurlGet}};
  int round = 0;
  for (auto _ : state) {
    for (int t = 0; t < 10; ++t, ++round) {
      for (int k = 0; k < 3; ++k) {
        Kind& kind = kinds[(round + k) % 3];
        const auto start = Clock::now();
        for (int i = 0; i < kRequests / 10; ++i) {
          if (!kind.get(url)) state.SkipWithError("short body");
        }
        kind.total += Clock::now() - start;
      }
    }
  }
  const auto seconds = [](Clock::duration d) { return std::chrono::duration<double>(d).count(); };
  state.counters["ratio"] = seconds(kinds[0].total) / seconds(kinds[1].total);
  state.counters["ratio_same_request"] = seconds(kinds[0].total) / seconds(kinds[2].total);
}
BENCHMARK(BM_HttpRequestOverBareCurl)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace
}  // namespace ornivel

BENCHMARK_MAIN();
