// The search from end to end: a 500-record reply served from loopback, parsed and written into
// the in-memory song list, against the bare HTTP exchange of the same reply.
//   build/linux-release/bench/ornivel_service_bench
#include <benchmark/benchmark.h>
#include <httplib.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include "http/http_request.h"
#include "service/memory_front_end.h"
#include "service/service_host.h"
#include "service/song_search.h"
#include "text/text_convert.h"

namespace ornivel {
namespace {

std::string Reply(int records) {
  static const char* const kTitles[] = {"月亮代表我的心", "甜蜜蜜", "后来", "晴天", "Yesterday Once More"};
  static const char* const kArtists[] = {"邓丽君", "刘若英", "周杰伦", "Carpenters & Co"};
  std::string reply = "try{var jsondata={'TOTAL':'500','abslist':[\n";
  for (int i = 0; i < records; ++i) {
    reply += "{'rid':'MUSIC_" + std::to_string(100000 + i) + "','songName':'" + kTitles[i % 5] +
             " " + std::to_string(i) + "','album':'专辑?" + std::to_string(i % 40) +
             "','duration':'215','format':'mp3','artist':'" + kArtists[i % 4] + "'},\n";
  }
  return reply + "]}}";
}

class Service {
 public:
  Service() : reply_(Reply(500)) {
    server_.Get("/webmusic/getsjplayinfo", [this](const httplib::Request&, httplib::Response& res) {
      res.set_content(reply_, "text/plain; charset=utf-8");
    });
    port_ = server_.bind_to_any_port("127.0.0.1");
    thread_ = std::thread([this] { server_.listen_after_bind(); });
    while (!server_.is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    const std::string host = "127.0.0.1:" + std::to_string(port_);
    ::setenv("ORNIVEL_SERVICE_HOST", host.c_str(), 1);
  }
  ~Service() {
    server_.stop();
    thread_.join();
  }

 private:
  std::string reply_;
  httplib::Server server_;
  int port_ = 0;
  std::thread thread_;
};

Service& TheService() {
  static Service service;
  return service;
}

void BM_SearchSongs500Records(benchmark::State& state) {
  TheService();
  MemoryFrontEnd ui;
  ui.SetSearchText(Utf8ToGbk("邓丽君"));
  for (auto _ : state) {
    SearchSongs(ui);
    if (ui.RowCount() != 500) state.SkipWithError("expected 500 rows");
  }
}
BENCHMARK(BM_SearchSongs500Records)->Unit(benchmark::kMillisecond)->Repetitions(15)->ReportAggregatesOnly(true);

void BM_HttpExchangeOf500Records(benchmark::State& state) {
  TheService();
  const std::string url = SearchAddress(UrlEncode(Utf8ToGbk("邓丽君"), false, true));
  for (auto _ : state) benchmark::DoNotOptimize(HttpRequest(url));
}
BENCHMARK(BM_HttpExchangeOf500Records)->Unit(benchmark::kMillisecond)->Repetitions(15)->ReportAggregatesOnly(true);

}  // namespace
}  // namespace ornivel

BENCHMARK_MAIN();
