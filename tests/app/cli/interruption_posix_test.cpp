// ornivel-dl interrupted by a signal in the middle of a batch of slow songs, then run again:
// each interruption ends the run with 128 and the signal's number, names the songs left
// unfinished and keeps their partial files; the next run goes on from them with Range requests
// and saves each song once, byte for byte.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/child_process.h"
#include "tests/support/gbk_path.h"
#include "tests/support/search_reply.h"
#include "tests/support/song_bytes.h"
#include "tests/support/song_server.h"
#include "tests/support/temp_dir.h"

extern char** environ;

namespace ornivel {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using test::SongReply;

constexpr int kSongs = 6;

std::string SongOf(int n) {
  return test::RandomBytes((600 << 10) + 77 * n, static_cast<unsigned>(n));
}

int NumberOf(const std::string& target) {
  const auto digits = target.find("MUSIC_");
  return digits == std::string::npos ? 0 : std::stoi(target.substr(digits + 6)) - 100000;
}

// A music service whose song files come slowly (about three seconds each, in uneven pieces),
// with an ETag, and whose file server gives the rest of a file that a request asks for.
class SlowService {
 public:
  std::string host() const {
    const std::string url = server_.url("/");
    return url.substr(7, url.size() - 8);  // "http://" and the last "/"
  }
  std::vector<std::string> requests() const { return server_.requests(); }

 private:
  SongReply Answer(const std::string& request) {
    const std::string target = request.substr(4, request.find(' ', 4) - 4);
    SongReply reply;
    std::string body;
    if (target.starts_with("/webmusic/getsjplayinfo?")) {
      body = test::OneLineSearchReply(kSongs);
    } else if (target.starts_with("/webmusic/st/getNewMuiseByRid?rid=")) {
      body = "<mp3dl>" + host() + "</mp3dl><mp3path>" + target.substr(target.find('=') + 1) +
             "</mp3path>";
    } else if (target.starts_with("/resource/")) {
      const std::string song = SongOf(NumberOf(target));
      std::size_t from = 0;
      const auto range = request.find("\r\nRange: bytes=");
      if (range != std::string::npos && request.find("\r\nIf-Range: \"v1\"") != std::string::npos) {
        from = std::stoul(request.substr(range + 15));
      }
      reply.head =
          std::string(from > 0 ? "HTTP/1.1 206 Partial Content\r\n" : "HTTP/1.1 200 OK\r\n") +
          "Content-Type: audio/mpeg\r\nETag: \"v1\"\r\nContent-Length: " +
          std::to_string(song.size() - from) + "\r\n" +
          (from > 0
               ? "Content-Range: bytes " + std::to_string(from) + "-" +
                     std::to_string(song.size() - 1) + "/" + std::to_string(song.size()) + "\r\n"
               : std::string()) +
          "\r\n";
      reply.body = song.substr(from);
      reply.pieces = test::UnevenPieces(reply.body.size(), 9);
      // Small pieces, so that a signal finds every song on its way.
      std::vector<std::size_t> small;
      for (std::size_t piece : reply.pieces) {
        for (; piece > 16384; piece -= 16384) small.push_back(16384);
        if (piece > 0) small.push_back(piece);
      }
      reply.pieces = small;
      reply.pause = 3000ms / static_cast<int>(small.size());
      return reply;
    } else {
      reply.head = "HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n";
      return reply;
    }
    reply.head = "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n";
    reply.body = body;
    return reply;
  }

  test::SongServer server_{[this](const std::string& request) { return Answer(request); }};
};

struct Stopped {
  int status = -1;  // the exit status; -1 when it did not exit by itself
  std::string err;
};

// The song files the service was asked for so far.
std::size_t SongRequests(const SlowService& service) {
  std::size_t count = 0;
  for (const std::string& request : service.requests()) {
    if (request.starts_with("GET /resource/")) ++count;
  }
  return count;
}

// Runs ornivel-dl, sends it `signal` a second after its first song file was asked for (a third
// of the way through the songs on their way), and waits for it.
Stopped RunAndInterrupt(const SlowService& service, const std::vector<std::string>& arguments,
                        const fs::path& save, int signal) {
  const fs::path err = save.parent_path() / (save.filename().string() + ".err");
  const std::size_t before = SongRequests(service);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  std::vector<std::string> words{ORNIVEL_DL};
  words.insert(words.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  pid_t pid = 0;
  Stopped stopped;
  if (posix_spawn(&pid, ORNIVEL_DL, &actions, nullptr, argv.data(), environ) != 0) {
    ADD_FAILURE() << "cannot start " << ORNIVEL_DL;
    return stopped;
  }
  posix_spawn_file_actions_destroy(&actions);
  const auto deadline = std::chrono::steady_clock::now() + 30s;
  bool started = false;
  while (!started && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(20ms);
    started = SongRequests(service) > before;
  }
  EXPECT_TRUE(started) << "no song was asked for";
  std::this_thread::sleep_for(1s);
  ::kill(pid, signal);
  int status = 0;
  ::waitpid(pid, &status, 0);
  if (WIFEXITED(status)) stopped.status = WEXITSTATUS(status);
  stopped.err = test::FileText(err);
  fs::remove(err);
  return stopped;
}

TEST(OrnivelDlInterruptionTest, EachSignalKeepsWhatArrivedAndTheNextRunEndsEverySongOnce) {
  const SlowService service;
  const fs::path save = test::FreshTestFolder("ornivel-dl-interrupted");
  const std::vector<std::string> arguments = {
      "--service", service.host(), "download",           "--search", "x",
      "--all",     "--to",         test::PathUtf8(save), "-j",       "3"};

  for (const auto& [signal, status] :
       {std::pair{SIGINT, 130}, std::pair{SIGTERM, 143}, std::pair{SIGHUP, 129}}) {
    const Stopped run = RunAndInterrupt(service, arguments, save, signal);

    EXPECT_EQ(run.status, status) << run.err;
    EXPECT_NE(run.err.find("已中断"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find(test::RecordIdentifier(kSongs)), std::string::npos)
        << "the last song is named among the unfinished: " << run.err;
    // Each partial file has its record beside it.
    for (const auto& entry : fs::directory_iterator(save)) {
      if (entry.path().extension() == ".part") {
        EXPECT_TRUE(fs::exists(entry.path().string() + ".resume")) << entry.path();
      }
    }
  }

  test::ChildOptions options;
  options.limit = 60s;
  const test::ChildRun last = test::RunChild(ORNIVEL_DL, arguments, options);
  ASSERT_EQ(last.exitCode, 0) << last.err;
  std::vector<fs::path> files;
  for (const auto& entry : fs::directory_iterator(save)) files.push_back(entry.path().filename());
  EXPECT_EQ(files.size(), static_cast<std::size_t>(kSongs)) << "no partial file or copy is left";
  for (int n = 1; n <= kSongs; ++n) {
    const fs::path file =
        save / test::Utf8Path(test::RecordSinger(n) + " - " + test::RecordSongName(n) + ".mp3");
    EXPECT_TRUE(test::Holds(file, SongOf(n))) << n;
  }
  int resumed = 0;
  for (const std::string& request : service.requests()) {
    if (request.find("\r\nRange: bytes=") != std::string::npos) ++resumed;
  }
  EXPECT_GE(resumed, 3) << "the runs after an interruption went on from the partial files";
  fs::remove_all(save);
}

}  // namespace
}  // namespace ornivel
