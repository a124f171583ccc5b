// The search from end to end: a 500-record reply served from loopback, parsed and written into
// the in-memory song list, against the bare HTTP exchange of the same reply.
//   build/linux-release/bench/ornivel_service_bench
#include <benchmark/benchmark.h>
#include <httplib.h>

#include <cstdlib>
#include <string>

#include "http/http_request.h"
#include "service/service_host.h"
#include "service/song_search.h"
#include "tests/support/loopback_server.h"
#include "tests/support/memory_front_end.h"
#include "text/never_freed.h"
#include "text/text_convert.h"

namespace ornivel {
namespace {

std::string Reply(int records) {
  static const char* const kTitles[] = {"月亮代表我的心", "甜蜜蜜", "后来", "晴天",
                                        "Yesterday Once More"};
  static const char* const kSingers[] = {"邓丽君", "刘若英", "周杰伦", "Carpenters & Co"};
  std::string reply = "try{var jsondata={'TOTAL':'500','abslist':[\n";
  for (int i = 0; i < records; ++i) {
    reply += "{'rid':'MUSIC_" + std::to_string(100000 + i) + "','songName':'" + kTitles[i % 5] +
             " " + std::to_string(i) + "','album':'专辑?" + std::to_string(i % 40) +
             "','duration':'215','format':'mp3','artist':'" + kSingers[i % 4] + "'},\n";
  }
  return reply + "]}}";
}

// The loopback server of the tests, answering every search with the 500-record reply; the
// service host points at it.
void StartService() {
  static NeverFreed<test::LoopbackServer> server;
  static const bool started = [] {
    server->server().Get("/webmusic/getsjplayinfo",
                         [](const httplib::Request&, httplib::Response& res) {
                           static const std::string reply = Reply(500);
                           res.set_content(reply, "text/plain; charset=utf-8");
                         });
    ::setenv("ORNIVEL_SERVICE_HOST", server->host().c_str(), 1);
    return true;
  }();
  (void)started;
}

void BM_SearchSongs500Records(benchmark::State& state) {
  StartService();
  MemoryFrontEnd ui;
  ui.SetSearchText(Utf8ToGbk("邓丽君"));
  for (auto _ : state) {
    SearchSongs(ui, ui);
    if (ui.RowCount() != 500) state.SkipWithError("expected 500 rows");
  }
}
BENCHMARK(BM_SearchSongs500Records)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(15)
    ->ReportAggregatesOnly(true);

void BM_HttpExchangeOf500Records(benchmark::State& state) {
  StartService();
  const std::string url = SearchAddress(UrlEncode(Utf8ToGbk("邓丽君"), {.toUtf8 = true}));
  for (auto _ : state) benchmark::DoNotOptimize(HttpRequest(url));
}
BENCHMARK(BM_HttpExchangeOf500Records)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(15)
    ->ReportAggregatesOnly(true);

}  // namespace
}  // namespace ornivel

BENCHMARK_MAIN();
