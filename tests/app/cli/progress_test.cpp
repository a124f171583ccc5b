// ornivel-dl's progress as a person at a terminal sees it: standard error on a pseudo-terminal
// (Linux; a Windows console is written through the console's own calls, which no test here can
// watch), a song arriving slowly from a loopback server.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/child_process.h"
#include "tests/support/gbk_path.h"
#include "tests/support/loopback_server.h"
#include "tests/support/search_reply.h"
#include "tests/support/song_bytes.h"
#include "tests/support/temp_dir.h"

namespace ornivel {
namespace {

namespace fs = std::filesystem;
using test::ChildRun;
using test::Utf8Path;

using test::OutputLines;

// Forty songs: thirty-nine small ones sent at once, then one of 1 MiB sent in pieces over about
// two seconds, with its length announced.
class SongsServer {
 public:
  static constexpr int kSongs = 40;
  static constexpr std::size_t kSize = 1 << 20;

  SongsServer() {
    httplib::Server& server = loopback_.server();
    server.Get("/webmusic/getsjplayinfo", [](const httplib::Request&, httplib::Response& response) {
      response.set_content(test::OneLineSearchReply(kSongs), "text/plain");
    });
    server.Get("/webmusic/st/getNewMuiseByRid",
               [this](const httplib::Request& request, httplib::Response& response) {
                 const bool slow = request.get_param_value("rid") == test::RecordIdentifier(kSongs);
                 response.set_content("<mp3dl>" + loopback_.host() + "</mp3dl><mp3path>" +
                                          (slow ? "slow.mp3" : "small.mp3") + "</mp3path>",
                                      "text/plain");
               });
    server.Get("/resource/small.mp3", [this](const httplib::Request&, httplib::Response& response) {
      response.set_content(small_, "audio/mpeg");
    });
    server.Get("/resource/slow.mp3", [this](const httplib::Request&, httplib::Response& response) {
      response.set_content_provider(
          kSize, "audio/mpeg", [this](std::size_t offset, std::size_t, httplib::DataSink& sink) {
            std::this_thread::sleep_for(std::chrono::milliseconds(60));
            sink.write(song_.data() + offset, std::min<std::size_t>(32 << 10, kSize - offset));
            return true;
          });
    });
  }

  std::string host() const { return loopback_.host(); }
  const std::string& song() const { return song_; }
  const std::string& small() const { return small_; }

 private:
  std::string song_ = test::RandomBytes(kSize, 7);
  std::string small_ = test::RandomBytes(20000, 8);
  test::LoopbackServer loopback_;
};

// The share of a progress line (" 37%  1.2 MB/s  [3/40] label"), or -1 when it shows none.
int ShareOf(const std::string& draw, const std::string& label) {
  const auto percent = draw.find("%  ");
  if (percent == std::string::npos) return -1;
  const std::string front = draw.substr(0, percent);
  const auto digits = front.find_first_not_of(' ');
  if (digits == std::string::npos ||
      front.find_first_not_of("0123456789", digits) != std::string::npos) {
    return -1;
  }
  const auto speed = draw.find("B/s  ", percent);
  if (speed == std::string::npos) return -1;
  std::size_t at = speed + 5;
  if (draw.compare(at, 1, "[") == 0) {  // the batch's count: the songs ended and all
    const auto end = draw.find("] ", at);
    if (end == std::string::npos) return -1;
    at = end + 2;
  }
  if (draw.compare(at, label.size(), label) != 0) return -1;
  return std::stoi(front.substr(digits));
}

TEST(OrnivelDlProgressTest, ATerminalSeesTheShareAndSpeedRedrawnAtMostFourTimesASecond) {
  const SongsServer service;
  const fs::path save = test::FreshTestFolder("ornivel-dl-progress");
  test::ChildOptions options;
  options.errOnTerminal = true;
  const ChildRun run = test::RunChild(ORNIVEL_DL,
                                      {"--service", service.host(), "download", "--search", "x",
                                       "--all", "--to", test::PathUtf8(save)},
                                      options);
  ASSERT_EQ(run.exitCode, 0) << run.err;
  const int last = SongsServer::kSongs;
  const fs::path file =
      save / Utf8Path(test::RecordSinger(last) + " - " + test::RecordSongName(last) + ".mp3");
  ASSERT_EQ(OutputLines(run.out).size(), static_cast<std::size_t>(last));
  EXPECT_EQ(OutputLines(run.out).back(), test::PathUtf8(file));
  EXPECT_TRUE(test::Holds(file, service.song()));
  EXPECT_TRUE(
      test::Holds(save / Utf8Path(test::RecordSinger(1) + " - " + test::RecordSongName(1) + ".mp3"),
                  service.small()));

  // Each redraw starts with a carriage return; a cleared line is spaces between two of them.
  std::vector<std::string> draws;
  for (std::size_t at = run.err.find('\r'); at != std::string::npos;) {
    const auto next = run.err.find('\r', at + 1);
    const std::string draw =
        run.err.substr(at + 1, next == std::string::npos ? next : next - at - 1);
    if (draw.find_first_not_of(' ') != std::string::npos) draws.push_back(draw);
    at = next;
  }
  // The slow song's share, rising; the whole run's redraws, however many songs, at most four a
  // second (and one at the start).
  int shares = 0;
  int previous = -1;
  for (const std::string& draw : draws) {
    const int share = ShareOf(draw, test::RecordSinger(last));
    if (share < 0) continue;
    EXPECT_GE(share, previous);
    previous = share;
    ++shares;
  }
  EXPECT_GE(shares, 3) << run.err;
  const double seconds = static_cast<double>(run.elapsed.count()) / 1000.0;
  EXPECT_LE(static_cast<double>(draws.size()), 4.0 * seconds + 1.0) << run.err;
  // The line is cleared at the end: after the last redraw only spaces and carriage returns.
  const auto lastText = run.err.rfind(draws.back());
  EXPECT_EQ(run.err.find_first_not_of(" \r", lastText + draws.back().size()), std::string::npos);
  fs::remove_all(save);
}

}  // namespace
}  // namespace ornivel
