// Micro-benchmarks of the core: the search reply parse, the reply conversion and the keyword
// encoding. Run the release build: build/linux-release/bench/ornivel_bench
#include <benchmark/benchmark.h>

#include <string>

#include "regex/regex_object.h"
#include "service/song_record_pattern.h"
#include "text/text_convert.h"

namespace ornivel {
namespace {

// A search reply of `records` records, one per line, in the service's field order, with
// Chinese titles and field names in mixed case, as UTF-8.
std::string MakeReplyUtf8(int records) {
  static const char* const kTitles[] = {"月亮代表我的心",      "甜蜜蜜", "后来", "晴天",
                                        "Yesterday Once More", "小幸运", "稻香", "七里香"};
  static const char* const kSingers[] = {"邓丽君", "刘若英", "周杰伦", "The Carpenters", "田馥甄"};
  static const char* const kAlbums[] = {"经典金曲", "我等你", "叶惠美", "Now & Then",
                                        "我的少女时代"};
  std::string reply = "try{var jsondata={'total':'" + std::to_string(records) + "','abslist':[\n";
  for (int i = 0; i < records; ++i) {
    const bool upper = i % 3 == 0;
    reply += "{'";
    reply += upper ? "RID" : "rid";
    reply += "':'MUSIC_" + std::to_string(100000 + i * 37) + "','";
    reply += upper ? "SONGNAME" : "songName";
    reply += "':'" + std::string(kTitles[i % 8]) + " (Live " + std::to_string(i) + ")','";
    reply += upper ? "ALBUM" : "album";
    reply += "':'" + std::string(kAlbums[i % 5]) + "','";
    reply += "DURATION':'" + std::to_string(180 + i % 120) + "','";
    reply += upper ? "ARTIST" : "artist";
    reply += "':'" + std::string(kSingers[i % 5]) + "'},\n";
  }
  reply += "]}}";
  return reply;
}

const std::string& ReplyGbk() {
  static const std::string reply = Utf8ToGbk(MakeReplyUtf8(500));
  return reply;
}

void BM_RecordPatternOver500Records(benchmark::State& state) {
  const std::string& reply = ReplyGbk();
  std::size_t bytes = 0;
  for (auto _ : state) {
    RegexObject regex;
    if (!regex.Create(kSongRecordPattern, reply, kSongRecordOptions)) {
      state.SkipWithError("Create failed");
      break;
    }
    const int n = regex.MatchCount();
    for (int i = 1; i <= n; ++i) {
      for (const int g : {1, 2, 3, 5}) {
        const std::string text = regex.SubMatchText(i, g);
        bytes += text.size();
        benchmark::DoNotOptimize(text.data());
      }
    }
    if (n != 500) state.SkipWithError("expected 500 records");
  }
  state.counters["reply_bytes"] = static_cast<double>(reply.size());
  benchmark::DoNotOptimize(bytes);
}
BENCHMARK(BM_RecordPatternOver500Records)->Unit(benchmark::kMicrosecond);

void BM_Utf8ToGbk1MiB(benchmark::State& state) {
  std::string text;
  const std::string piece = "周杰伦 Jay Chou - 晴天 (Sunny Day) 2003 叶惠美\n";
  while (text.size() < (1u << 20)) text += piece;
  text.resize(1u << 20);
  for (auto _ : state) benchmark::DoNotOptimize(Utf8ToGbk(text));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * (1 << 20));
}
BENCHMARK(BM_Utf8ToGbk1MiB)->Unit(benchmark::kMillisecond);

void BM_UrlEncodeKeyword100Bytes(benchmark::State& state) {
  std::string keyword;
  const std::string piece = Utf8ToGbk("周杰伦 晴天 Jay ");
  while (keyword.size() < 100) keyword += piece;
  keyword.resize(100);
  for (auto _ : state) benchmark::DoNotOptimize(UrlEncode(keyword, {.toUtf8 = true}));
}
BENCHMARK(BM_UrlEncodeKeyword100Bytes);

}  // namespace
}  // namespace ornivel

BENCHMARK_MAIN();
