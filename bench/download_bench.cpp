// Downloads that break and downloads that wait, timed and counted on loopback:
//   resume   a 20 MiB song from a file server that cuts the connection after every 1 MiB it
//            sends: the bytes sent on the wire over the song's size, once with tries enough for
//            one save and once as repeated saves of the usual three tries (a user clicking again,
//            or running the same command again);
//   jobs     40 songs of 2 MiB from a service that waits 200 ms before each answer, saved by
//            ornivel-dl with -j 1, -j 3 and -j 8 in the same run: the wall times and their
//            ratios to -j 1.
// Usage: ornivel_download_bench [resume|jobs]...   (both without an argument)
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "service/song_download.h"
#include "tests/support/child_process.h"
#include "tests/support/raw_http_server.h"
#include "tests/support/search_reply.h"

namespace ornivel {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

std::string RandomSong(std::size_t size, unsigned seed) {
  std::mt19937 generator(seed);
  std::string bytes(size, '\0');
  for (char& byte : bytes) byte = static_cast<char>(generator() & 0xFF);
  bytes[0] = static_cast<char>(0xFF);  // as an MP3 frame begins
  return bytes;
}

fs::path FreshFolder(const std::string& name) {
  const fs::path folder =
      fs::temp_directory_path() / ("ornivel-bench-" + name + "-" + std::to_string(::getpid()));
  fs::remove_all(folder);
  fs::create_directories(folder);
  return folder;
}

std::string FileBytes(const fs::path& path) {
  std::string bytes;
  if (FILE* file = std::fopen(path.c_str(), "rb")) {
    char buffer[1 << 16];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) bytes.append(buffer, n);
    std::fclose(file);
  }
  return bytes;
}

int Resume() {
  constexpr std::size_t kSize = 20 << 20;
  constexpr std::size_t kCut = 1 << 20;
  const std::string song = RandomSong(kSize, 1);
  std::atomic<std::size_t> sent{0};
  std::atomic<int> requests{0};
  test::RawHttpServer server([&](const std::string& request) {
    ++requests;
    std::size_t from = 0;
    const auto range = request.find("\r\nRange: bytes=");
    if (range != std::string::npos) from = std::stoul(request.substr(range + 15));
    const std::size_t piece = std::min(kCut, kSize - from);
    sent += piece;
    std::string head = from > 0 ? "HTTP/1.1 206 Partial Content\r\nContent-Range: bytes " +
                                      std::to_string(from) + "-" + std::to_string(kSize - 1) + "/" +
                                      std::to_string(kSize) + "\r\n"
                                : std::string("HTTP/1.1 200 OK\r\n");
    head += "Content-Type: audio/mpeg\r\nETag: \"big-1\"\r\nContent-Length: " +
            std::to_string(kSize - from) + "\r\nConnection: close\r\n\r\n";
    return test::RawReply{head + song.substr(from, piece)};
  });
  const SongToSave wanted{"BIG_1", "bench", "cut", false};
  for (const bool oneSave : {true, false}) {
    const fs::path folder = FreshFolder("resume");
    sent = 0;
    requests = 0;
    SaveRules rules;
    rules.firstRetryWait = std::chrono::milliseconds(oneSave ? 0 : 1);
    if (oneSave) rules.tries = 40;
    int saves = 0;
    SaveResult result;
    const auto start = Clock::now();
    do {
      ++saves;
      result = SaveSong(server.url("/resource/big.mp3"), wanted, folder.string(), {}, rules);
    } while (result.outcome != SaveOutcome::kSaved && result.kept && saves < 40);
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    const bool whole = result.outcome == SaveOutcome::kSaved && FileBytes(result.path) == song;
    std::printf(
        "resume (%s): %s after %d save(s), %d requests, %.3f s; wire bytes / song = "
        "%zu / %zu = %.4f\n",
        oneSave ? "one save, 40 tries" : "saves of 3 tries each",
        whole ? "saved whole" : "NOT SAVED", saves, requests.load(), seconds, sent.load(), kSize,
        static_cast<double>(sent.load()) / static_cast<double>(kSize));
    fs::remove_all(folder);
    if (!whole) return 1;
  }
  return 0;
}

int Jobs(const char* program) {
  constexpr int kSongs = 40;
  constexpr std::size_t kSongSize = 2 << 20;
  const auto latency = std::chrono::milliseconds(200);
  std::vector<std::string> songs;
  for (int n = 1; n <= kSongs; ++n) songs.push_back(RandomSong(kSongSize, 100 + n));
  std::string host;
  test::RawHttpServer server([&](const std::string& request) {
    const std::string target = request.substr(4, request.find(' ', 4) - 4);
    std::string body;
    if (target.starts_with("/webmusic/getsjplayinfo?")) {
      body = test::OneLineSearchReply(kSongs);
    } else if (target.starts_with("/webmusic/st/getNewMuiseByRid?rid=")) {
      body = "<mp3dl>" + host + "</mp3dl><mp3path>" + target.substr(target.find('=') + 1) +
             "</mp3path>";
    } else if (target.starts_with("/resource/MUSIC_")) {
      body = songs.at(static_cast<std::size_t>(std::stoi(target.substr(16)) - 100001));
    }
    return test::RawReply{"HTTP/1.1 200 OK\r\nContent-Type: audio/mpeg\r\nContent-Length: " +
                              std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body,
                          latency};
  });
  host = "127.0.0.1:" + std::to_string(server.port());
  double one = 0;
  for (const int jobs : {1, 3, 8}) {
    const fs::path folder = FreshFolder("jobs");
    test::ChildOptions options;
    options.limit = std::chrono::seconds(300);
    const auto start = Clock::now();
    const test::ChildRun run =
        test::RunChild(program,
                       {"--service", host, "download", "--search", "x", "--all", "--to",
                        folder.string(), "-j", std::to_string(jobs)},
                       options);
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    std::size_t saved = 0;
    for (const auto& entry : fs::directory_iterator(folder))
      saved += entry.path().extension() == ".mp3";
    if (jobs == 1) one = seconds;
    std::printf("jobs: -j %d: %.3f s, exit %d, %zu of %d songs saved; -j 1 / -j %d = %.2f\n", jobs,
                seconds, run.exitCode, saved, kSongs, jobs, one / seconds);
    fs::remove_all(folder);
    if (run.exitCode != 0 || saved != kSongs) return 1;
  }
  return 0;
}

}  // namespace
}  // namespace ornivel

int main(int argc, char** argv) {
  std::vector<std::string> what(argv + 1, argv + argc);
  if (what.empty()) what = {"resume", "jobs"};
  int status = 0;
  for (const std::string& name : what) {
    if (name == "resume") {
      status |= ornivel::Resume();
    } else if (name == "jobs") {
      status |= ornivel::Jobs(ORNIVEL_DL);
    } else {
      std::fprintf(stderr, "usage: ornivel_download_bench [resume|jobs]...\n");
      return 2;
    }
  }
  return status;
}
