// HttpRequest against a bare libcurl loop: 1000 sequential GETs of a 1 KiB body from a loopback
// server, each with a handle made afresh. Run the release build:
//   build/linux-release/bench/ornivel_http_bench
#include <benchmark/benchmark.h>
#include <curl/curl.h>
#include <httplib.h>

#include <string>

#include "http/http_request.h"
#include "tests/support/loopback_server.h"

namespace ornivel {
namespace {

constexpr int kRequests = 1000;

// The loopback server of the tests, answering a 1 KiB body.
test::LoopbackServer& TheServer() {
  static test::LoopbackServer* server = [] {
    auto* made = new test::LoopbackServer();
    made->server().Get("/kib", [](const httplib::Request&, httplib::Response& res) {
      res.set_content(std::string(1024, 'x'), "text/plain");
    });
    return made;
  }();
  return *server;
}

void BM_HttpRequest1000Gets(benchmark::State& state) {
  const std::string url = TheServer().url("/kib");
  for (auto _ : state) {
    for (int i = 0; i < kRequests; ++i) {
      const std::string body = HttpRequest(url);
      if (body.size() != 1024) state.SkipWithError("short body");
    }
  }
}
BENCHMARK(BM_HttpRequest1000Gets)->Unit(benchmark::kMillisecond)->Iterations(5);

std::size_t Collect(char* data, std::size_t size, std::size_t count, void* user) {
  static_cast<std::string*>(user)->append(data, size * count);
  return size * count;
}

void BM_BareCurlEasy1000Gets(benchmark::State& state) {
  curl_global_init(CURL_GLOBAL_DEFAULT);
  const std::string url = TheServer().url("/kib");
  for (auto _ : state) {
    for (int i = 0; i < kRequests; ++i) {
      std::string body;
      CURL* easy = curl_easy_init();
      curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
      curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &Collect);
      curl_easy_setopt(easy, CURLOPT_WRITEDATA, &body);
      curl_easy_setopt(easy, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
      curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
      curl_easy_perform(easy);
      curl_easy_cleanup(easy);
      if (body.size() != 1024) state.SkipWithError("short body");
    }
  }
}
BENCHMARK(BM_BareCurlEasy1000Gets)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace
}  // namespace ornivel

BENCHMARK_MAIN();
