// The song transfer of each platform's backend (libcurl on Linux, WinINet on Windows) against
// loopback servers, the same tests on both: song-sized bodies in uneven pieces from slow
// servers, with a length, chunked, or ended by the close; error pages, short and empty bodies;
// servers that fall silent; redirects, followed only to http addresses; and the download that
// streams the transfer into its temporary file and reports in column 5.
#include "service/file_fetch.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <future>
#include <list>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "service/song_download.h"
#include "service/song_list.h"
#include "tests/support/closed_port.h"
#include "tests/support/gbk.h"
#include "tests/support/gbk_path.h"
#include "tests/support/memory_front_end.h"
#include "tests/support/platform.h"
#include "tests/support/raw_http_server.h"
#include "tests/support/song_bytes.h"
#include "tests/support/song_server.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_socket.h"

namespace ornivel {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using test::FtpGreeter;
using test::Gbk;
using test::HttpResponse;
using test::RawHttpServer;
using test::RawReply;
using test::SongReply;
using test::SongServer;
using test::TestSocket;

// A stall limit that a test can wait for.
constexpr FetchLimits kShortStall{.lowSpeedBytes = 1, .lowSpeedWindow = 1s};

std::string OkHead(const std::string& extra) {
  return "HTTP/1.1 200 OK\r\nContent-Type: audio/mpeg\r\n" + extra + "\r\n";
}

std::string LengthHead(std::size_t length) {
  return OkHead("Content-Length: " + std::to_string(length) + "\r\n");
}

// What a fetch handed to its two sinks, in order.
struct Received {
  std::string bytes;
  int pieces = 0;
  std::vector<std::int64_t> lengths;  // every call of the length sink
  int piecesBeforeLength = 0;         // pieces that reached the sink before the length did
  bool ok = false;
};

Received Fetch(const std::string& url, const FetchLimits& limits = {},
               std::size_t refuseAfter = std::string::npos) {
  Received received;
  received.ok = FetchUrl(
      url,
      [&](std::span<const std::uint8_t> piece) {
        if (received.lengths.empty()) ++received.piecesBeforeLength;
        if (received.bytes.size() >= refuseAfter) return false;
        received.bytes.append(reinterpret_cast<const char*>(piece.data()), piece.size());
        ++received.pieces;
        return true;
      },
      [&](std::int64_t announced) { received.lengths.push_back(announced); }, limits);
  return received;
}

std::string FetchBytes(const std::string& url, const FetchLimits& limits = {}) {
  const std::vector<std::uint8_t> bytes = FetchUrlBytes(url, limits);
  return std::string(bytes.begin(), bytes.end());
}

TEST(FileFetchTest, SongWithALengthArrivesWholeFromASlowServer) {
  const std::string song = test::RandomBytes(test::kSongSize, 1);
  SongServer server([&](const std::string&) {
    return SongReply{LengthHead(song.size()), song, test::UnevenPieces(song.size(), 7), 20ms};
  });
  // The address as the lookup writes it, in GBK, with Chinese characters and a space.
  const Received received = Fetch(Gbk(server.url("/resource/周杰伦 - 晴天.mp3")));
  EXPECT_TRUE(received.ok);
  EXPECT_TRUE(received.bytes == song) << received.bytes.size() << " of " << song.size();
  EXPECT_GT(received.pieces, 1);
  EXPECT_EQ(received.lengths, std::vector<std::int64_t>{static_cast<std::int64_t>(song.size())});
  EXPECT_EQ(received.piecesBeforeLength, 0);

  // One GET over HTTP/1.0, the path on the wire as UTF-8 percent-encoded, and the two headers.
  const std::vector<std::string> requests = server.requests();
  ASSERT_EQ(requests.size(), 1u);
  const std::string& request = requests[0];
  EXPECT_EQ(request.substr(0, request.find("\r\n")),
            "GET /resource/%E5%91%A8%E6%9D%B0%E4%BC%A6%20-%20%E6%99%B4%E5%A4%A9.mp3 HTTP/1.0");
  EXPECT_EQ(test::RequestHeader(request, "User-Agent"),
            "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.0)");
  EXPECT_EQ(test::RequestHeader(request, "Accept"), "*/*");
  EXPECT_EQ(test::RequestHeader(request, "Cookie"), "");
}

TEST(FileFetchTest, BodyOfItsLengthEndsTheTransferOnAConnectionLeftOpen) {
  // The server keeps the connection after the last byte: the length, not the close, ends it.
  const std::string song = test::RandomBytes(3 << 20, 2);
  SongServer server([&](const std::string&) {
    SongReply reply{LengthHead(song.size()), song, test::UnevenPieces(song.size(), 8)};
    reply.silentAfter = true;
    return reply;
  });
  const Received received = Fetch(server.url("/resource/a.mp3"), kShortStall);
  EXPECT_TRUE(received.ok);
  EXPECT_TRUE(received.bytes == song) << received.bytes.size() << " of " << song.size();
}

TEST(FileFetchTest, SongWithoutALengthArrivesWhole) {
  // Chunked, in uneven chunks from a slow server.
  const std::string song = test::RandomBytes(test::kSongSize, 3);
  SongServer chunked([&](const std::string&) {
    SongReply reply{OkHead("Transfer-Encoding: chunked\r\n"), song,
                    test::UnevenPieces(song.size(), 9), 20ms};
    reply.chunked = true;
    return reply;
  });
  const Received first = Fetch(chunked.url("/resource/a.mp3"));
  EXPECT_TRUE(first.ok);
  EXPECT_TRUE(first.bytes == song) << first.bytes.size() << " of " << song.size();
  EXPECT_EQ(first.lengths, std::vector<std::int64_t>{-1});
  EXPECT_EQ(first.piecesBeforeLength, 0);

  // An HTTP/1.0 reply without a length, ended by the close.
  const std::string other = test::RandomBytes(test::kSongSize, 4);
  SongServer closing([&](const std::string&) {
    return SongReply{"HTTP/1.0 200 OK\r\nContent-Type: audio/mpeg\r\n\r\n", other,
                     test::UnevenPieces(other.size(), 10)};
  });
  const Received second = Fetch(closing.url("/resource/b.mp3"));
  EXPECT_TRUE(second.ok);
  EXPECT_TRUE(second.bytes == other) << second.bytes.size() << " of " << other.size();
  EXPECT_EQ(second.lengths, std::vector<std::int64_t>{-1});
  EXPECT_EQ(FetchBytes(closing.url("/resource/b.mp3")), other);
}

TEST(FileFetchTest, ErrorPagesShortBodiesAndEmptyBodiesAreNoSong) {
  // An error page reaches no sink; in memory it is whatever arrived.
  RawHttpServer notFound([](const std::string&) {
    return RawReply{HttpResponse("404 Not Found", "", "<html>no such file</html>")};
  });
  const Received page = Fetch(notFound.url("/resource/a.mp3"));
  EXPECT_FALSE(page.ok);
  EXPECT_EQ(page.bytes, "");
  EXPECT_EQ(page.piecesBeforeLength, 0);
  EXPECT_TRUE(page.lengths.empty());
  EXPECT_EQ(FetchBytes(notFound.url("/resource/a.mp3")), "<html>no such file</html>");

  // A body cut short of its length: the bytes received are no song, though they were passed on.
  const std::string song = test::RandomBytes(2 << 20, 5);
  SongServer cut([&](const std::string&) {
    return SongReply{LengthHead(song.size()), song, {1 << 19, 1 << 19}, 20ms};
  });
  const Received shortBody = Fetch(cut.url("/resource/a.mp3"));
  EXPECT_FALSE(shortBody.ok);
  EXPECT_EQ(shortBody.bytes, song.substr(0, 1 << 20));
  EXPECT_EQ(FetchBytes(cut.url("/resource/a.mp3")), song.substr(0, 1 << 20));

  // A chunked body whose connection ends before the last chunk: libcurl sees the missing chunk.
  // WinINet (Wine's, which the Windows tests run on) ends such a body quietly, as it ends one
  // without a length at the close, so on Windows it passes for whole, like that one does on both
  // (a server answers an HTTP/1.0 request with a length or without one, chunked only by mistake).
  SongServer cutChunks([&](const std::string&) {
    SongReply reply{OkHead("Transfer-Encoding: chunked\r\n"), song, {1 << 19, 1 << 19}, 20ms};
    reply.chunked = true;
    reply.lastChunk = false;
    return reply;
  });
  const Received cutChunked = Fetch(cutChunks.url("/resource/a.mp3"));
  EXPECT_EQ(cutChunked.ok, test::kWindowsBackends);
  EXPECT_EQ(cutChunked.bytes, song.substr(0, 1 << 20));

  // Success with no byte at all, with a length of 0 and without one.
  RawHttpServer empty([](const std::string&) { return RawReply{HttpResponse("200 OK", "", "")}; });
  EXPECT_FALSE(Fetch(empty.url("/resource/a.mp3")).ok);
  EXPECT_EQ(FetchBytes(empty.url("/resource/a.mp3")), "");
  RawHttpServer closedAtOnce(
      [](const std::string&) { return RawReply{"HTTP/1.0 200 OK\r\n\r\n"}; });
  EXPECT_FALSE(Fetch(closedAtOnce.url("/resource/a.mp3")).ok);
}

TEST(FileFetchTest, SinkThatRefusesAPieceStopsTheTransfer) {
  const std::string song = test::RandomBytes(test::kSongSize, 6);
  SongServer server([&](const std::string&) {
    return SongReply{LengthHead(song.size()), song, test::UnevenPieces(song.size(), 11), 5ms};
  });
  const Received received = Fetch(server.url("/resource/a.mp3"), {}, 1 << 20);
  EXPECT_FALSE(received.ok);
  EXPECT_GE(received.bytes.size(), 1u << 20);
  EXPECT_LT(received.bytes.size(), song.size());
  EXPECT_TRUE(received.bytes == song.substr(0, received.bytes.size()));
}

TEST(FileFetchTest, SilentServerFailsAfterTheStallLimit) {
  // Nothing at all after the request; then half a song, and nothing more. The server holds each
  // connection until it goes, after the fetch has returned: only the stall limit can end it.
  SongServer mute([](const std::string&) {
    SongReply reply;
    reply.silentAfter = true;
    return reply;
  });
  const Received nothing = Fetch(mute.url("/resource/a.mp3"), kShortStall);
  EXPECT_FALSE(nothing.ok);
  EXPECT_EQ(nothing.bytes, "");

  const std::string song = test::RandomBytes(2 << 20, 7);
  SongServer stalling([&](const std::string&) {
    SongReply reply{LengthHead(song.size()), song, {1 << 20}};
    reply.silentAfter = true;
    return reply;
  });
  // Both at once: libcurl averages the speed over a few seconds, so a stall after a burst of
  // bytes takes it longer to see than one from the start.
  auto inMemory = std::async(
      std::launch::async, [&] { return FetchBytes(stalling.url("/resource/a.mp3"), kShortStall); });
  const Received half = Fetch(stalling.url("/resource/a.mp3"), kShortStall);
  EXPECT_FALSE(half.ok);
  EXPECT_TRUE(half.bytes == song.substr(0, 1 << 20)) << half.bytes.size() << " bytes";
  EXPECT_TRUE(inMemory.get() == song.substr(0, 1 << 20));
}

TEST(FileFetchTest, RedirectsAreFollowedOnlyToHttpAddresses) {
  FtpGreeter ftp;
  ASSERT_NE(ftp.port(), 0);
  const std::string song = test::RandomBytes(1 << 20, 8);
  RawHttpServer elsewhere(
      [&](const std::string&) { return RawReply{HttpResponse("200 OK", "", "from elsewhere")}; });
  RawHttpServer server([&](const std::string& request) {
    const std::string target = test::RequestTarget(request);
    const auto redirect = [](const std::string& status, const std::string& location) {
      return RawReply{HttpResponse(status, "Location: " + location + "\r\n", "moved")};
    };
    if (target == "/ftp.mp3") {
      return redirect("302 Found", "ftp://127.0.0.1:" + std::to_string(ftp.port()) + "/x.mp3");
    }
    if (target == "/file.mp3") return redirect("301 Moved Permanently", "file:///etc/passwd");
    if (target == "/relative.mp3") return redirect("302 Found", "song.mp3?from=relative");
    if (target == "/absolute.mp3") return redirect("307 Temporary Redirect", elsewhere.url("/x"));
    if (target.starts_with("/hop/")) {
      // /hop/N leads to /hop/N-1, and /hop/0 to the song.
      const int n = std::stoi(target.substr(5));
      return redirect("302 Found", n == 0 ? "/song.mp3" : "/hop/" + std::to_string(n - 1));
    }
    return RawReply{HttpResponse("200 OK", "", song)};
  });

  for (const std::string path : {"/ftp.mp3", "/file.mp3"}) {
    const Received received = Fetch(server.url(path));
    EXPECT_FALSE(received.ok) << path;
    EXPECT_EQ(received.bytes, "") << path;
    // Not even the redirect's own page in memory.
    EXPECT_EQ(FetchBytes(server.url(path)), "") << path;
  }
  EXPECT_EQ(ftp.connections(), 0);

  const Received relative = Fetch(server.url("/relative.mp3"));
  EXPECT_TRUE(relative.ok);
  EXPECT_TRUE(relative.bytes == song);
  EXPECT_EQ(test::RequestTarget(server.requests().back()), "/song.mp3?from=relative");
  EXPECT_EQ(FetchBytes(server.url("/absolute.mp3")), "from elsewhere");

  // Ten redirects are followed; the eleventh is one too many, and fetches nothing.
  EXPECT_TRUE(Fetch(server.url("/hop/9")).ok);
  const std::size_t before = server.requests().size();
  EXPECT_FALSE(Fetch(server.url("/hop/10")).ok);
  EXPECT_EQ(server.requests().size() - before, 11u);
  EXPECT_EQ(FetchBytes(server.url("/hop/10")), "");
}

TEST(FileFetchTest, AddressesThatCannotBeFetchedGiveNothing) {
  const test::ClosedPort closed;
  ASSERT_NE(closed.port(), 0);
  EXPECT_FALSE(Fetch("http://" + closed.host() + "/resource/a.mp3").ok);
  EXPECT_EQ(FetchBytes("http://" + closed.host() + "/resource/a.mp3"), "");

  // Nothing is asked of a server for an address that is no http address.
  RawHttpServer server(
      [](const std::string&) { return RawReply{HttpResponse("200 OK", "", "x")}; });
  const std::string port = std::to_string(server.port());
  for (const std::string& address :
       {std::string("http:///resource/"), "ftp://127.0.0.1:" + port + "/a.mp3",
        "127.0.0.1:" + port + "/a.mp3", std::string(""),
        "http://127.0.0.1:" + port + "/a.mp3\r\nX-Injected: 1",
        "http://127.0.0.1:" + port + "/a\n.mp3"}) {
    EXPECT_FALSE(Fetch(address).ok) << address;
    EXPECT_EQ(FetchBytes(address), "") << address;
  }
  EXPECT_TRUE(server.requests().empty());  // not even a connection: it would record one
}

// DownloadSong over the platform's transfer and file system: the song streams into the
// temporary file and is renamed after its singer and title; a failed transfer leaves no file.
class FetchedSongTest : public ::testing::Test {
 protected:
  void SetUp() override { folder_ = test::FreshTestFolder("fetched-song"); }
  void TearDown() override {
    ui_.WaitForWorkers();
    fs::remove_all(folder_);
  }

  // A row as a search and a lookup leave it, downloaded into the test's folder on this thread.
  // Returns the texts that landed in column 5, in order.
  std::vector<std::string> Download(const std::string& address, const SaveRules& rules = {}) {
    ui_.DeleteAllRows();
    const int row = ui_.AppendRow();
    ui_.SetCellText(row, kColumnTitle, Gbk("東風破"));
    ui_.SetCellText(row, kColumnSinger, Gbk("周杰伦"));
    ui_.SetCellText(row, kColumnIdentifier, "MUSIC_1");
    ui_.SetCellText(row, kColumnAddress, address);
    ui_.RecordCellWrites();
    DownloadSong(ui_, ui_, row, address, test::GbkPath(folder_), rules);
    std::vector<std::string> texts;
    for (const auto& write : ui_.CellWrites()) {
      if (write.row == row && write.column == kColumnAddress) texts.push_back(write.text);
    }
    return texts;
  }

  std::set<std::string> FileNames() const {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder_)) {
      names.insert(test::PathUtf8(entry.path().filename()));
    }
    return names;
  }

  fs::path folder_;
  MemoryFrontEnd ui_;
};

TEST_F(FetchedSongTest, SongIsSavedUnderItsSingerAndTitle) {
  const std::string song = test::RandomBytes(test::kSongSize, 12);
  // Spread over a second: several progress texts are due on the way.
  SongServer server([&](const std::string&) {
    return SongReply{LengthHead(song.size()), song, test::UnevenPieces(song.size(), 13), 40ms};
  });
  const std::vector<std::string> texts = Download(server.url("/resource/song.mp3"));
  ASSERT_GE(texts.size(), 2u);
  EXPECT_EQ(texts.front(), Gbk("歌曲下载中..."));
  EXPECT_EQ(texts.back(), Gbk("下载成功"));
  for (std::size_t i = 1; i + 1 < texts.size(); ++i) {
    EXPECT_EQ(texts[i].rfind(Gbk("歌曲下载中... "), 0), 0u) << i;
  }
  EXPECT_EQ(FileNames(), std::set<std::string>{"周杰伦 - 東風破.mp3"});
  EXPECT_TRUE(test::Holds(folder_ / test::Utf8Path("周杰伦 - 東風破.mp3"), song));
}

TEST_F(FetchedSongTest, FailedTransfersSayDownloadFailedAndLeaveNoFile) {
  RawHttpServer notFound([](const std::string&) {
    return RawReply{HttpResponse("404 Not Found", "", "<html>no such file</html>")};
  });
  RawHttpServer shortBody([](const std::string&) {
    return RawReply{"HTTP/1.0 200 OK\r\nContent-Length: 1000\r\n\r\nonly a part"};
  });
  RawHttpServer empty([](const std::string&) { return RawReply{HttpResponse("200 OK", "", "")}; });
  SaveRules quick;
  quick.firstRetryWait = 1ms;
  for (const auto& [address, status] : std::vector<std::pair<std::string, std::string>>{
           {notFound.url("/resource/a.mp3"), "下载失败：服务器错误 404"},
           {empty.url("/resource/a.mp3"), "下载失败：服务器的回答不是歌曲"}}) {
    const std::vector<std::string> texts = Download(address, quick);
    EXPECT_EQ(texts, (std::vector<std::string>{Gbk("歌曲下载中..."), Gbk(status)})) << address;
    EXPECT_TRUE(FileNames().empty()) << address;
  }
  // A body cut short is tried again, each next try shown in the row; without a validator the
  // bytes cannot be gone on from, and nothing is kept.
  std::vector<std::string> texts = Download(shortBody.url("/resource/a.mp3"), quick);
  texts.erase(std::remove_if(texts.begin(), texts.end(),
                             [](const std::string& text) {
                               return text.rfind(Gbk("歌曲下载中... "), 0) == 0;
                             }),
              texts.end());
  EXPECT_EQ(texts, (std::vector<std::string>{Gbk("歌曲下载中..."), Gbk("下载失败，重试中 (2/3)"),
                                             Gbk("下载失败，重试中 (3/3)"),
                                             Gbk("下载失败：歌曲没有下载完整")}));
  EXPECT_EQ(shortBody.requests().size(), 3u);
  EXPECT_TRUE(FileNames().empty());
}

}  // namespace
}  // namespace ornivel
