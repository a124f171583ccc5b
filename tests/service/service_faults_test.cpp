// The service code against servers that misbehave on purpose.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "service/song_address.h"
#include "service/song_download.h"
#include "service/song_search.h"
#include "tests/support/closed_port.h"
#include "tests/support/environment.h"
#include "tests/support/gbk.h"
#include "tests/support/memory_front_end.h"
#include "tests/support/raw_http_server.h"
#include "tests/support/search_reply.h"
#include "tests/support/song_bytes.h"
#include "tests/support/temp_dir.h"
#include "tests/support/thread_messages.h"
#include "tests/support/wait.h"
#include "text/message_pump.h"

namespace ornivel {
namespace {

namespace fs = std::filesystem;
using test::FileText;
using test::Gbk;
using test::HttpResponse;
using test::RawHttpServer;
using test::RawReply;
using test::RequestTarget;

std::string Host(const RawHttpServer& server) {
  return "127.0.0.1:" + std::to_string(server.port());
}

std::size_t FileCount(const fs::path& folder) {
  return static_cast<std::size_t>(
      std::distance(fs::directory_iterator(folder), fs::directory_iterator()));
}

class ServiceFaultsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    save_ = test::FreshTestFolder("service-faults");
    ui_.SetSaveFolder(save_.string());
  }
  void TearDown() override {
    ui_.WaitForWorkers();
    fs::remove_all(save_);
  }

  // One row as a search leaves it, with `address` in column 5.
  void OneRow(const std::string& identifier, const std::string& address) {
    ui_.DeleteAllRows();
    const int row = ui_.AppendRow();
    ui_.SetCellText(row, kColumnTitle, "Title");
    ui_.SetCellText(row, kColumnSinger, "Artist");
    ui_.SetCellText(row, kColumnIdentifier, identifier);
    ui_.SetCellText(row, kColumnAddress, address);
    ui_.Select(row);
  }

  void Download() {
    StartDownload(ui_, ui_, ui_, ui_.SaveFolder());
    ui_.WaitForWorkers();
  }

  fs::path save_;
  MemoryFrontEnd ui_;
};

TEST_F(ServiceFaultsTest, ServiceDown) {
  const test::ClosedPort closed;
  ASSERT_NE(closed.port(), 0);
  const std::string host = closed.host();
  test::SetEnvironment("ORNIVEL_SERVICE_HOST", host);
  ui_.AppendRow();
  ui_.SetSearchText("abc");
  SearchSongs(ui_, ui_);
  EXPECT_EQ(ui_.RowCount(), 0);
  ASSERT_EQ(ui_.Messages().size(), 1u);
  EXPECT_EQ(ui_.Messages()[0].text, NoSongMessage());

  OneRow("MUSIC_1", "");
  StartAddressLookup(ui_, ui_);
  ui_.WaitForWorkers();
  // No useless http:///resource/: the row says the lookup failed, and is no address.
  EXPECT_EQ(ui_.GetCellText(0, kColumnAddress), LookupFailedStatus());
  CopySongAddress(ui_, ui_);
  Download();
  ASSERT_EQ(ui_.Messages().size(), 3u);
  EXPECT_EQ(ui_.Messages()[1].text, AddressFirstMessage());
  EXPECT_EQ(ui_.Messages()[2].text, AddressFirstMessage());
  EXPECT_EQ(ui_.Clipboard(), "");

  OneRow("MUSIC_1", "http://" + host + "/resource/a.mp3");
  Download();
  EXPECT_EQ(ui_.GetCellText(0, kColumnAddress), Gbk("下载失败：无法连接服务器"));
  EXPECT_EQ(FileCount(save_), 0u);
}

TEST_F(ServiceFaultsTest, NotFoundPageIsNoSong) {
  RawHttpServer server([](const std::string&) {
    return RawReply{HttpResponse("404 Not Found", "", "<html>no such file</html>")};
  });
  OneRow("MUSIC_1", "http://" + Host(server) + "/resource/a.mp3");
  Download();
  EXPECT_EQ(ui_.GetCellText(0, kColumnAddress), Gbk("下载失败：服务器错误 404"));
  EXPECT_EQ(FileCount(save_), 0u);
}

TEST_F(ServiceFaultsTest, BodyCutShortOfItsLengthOrEmptyIsNoSong) {
  RawHttpServer shortBody([](const std::string&) {
    return RawReply{"HTTP/1.0 200 OK\r\nContent-Length: 1000\r\n\r\nonly a part"};
  });
  OneRow("MUSIC_1", "http://" + Host(shortBody) + "/resource/a.mp3");
  Download();
  EXPECT_EQ(ui_.GetCellText(0, kColumnAddress), Gbk("下载失败：歌曲没有下载完整"));
  EXPECT_EQ(FileCount(save_), 0u);

  RawHttpServer empty([](const std::string&) { return RawReply{HttpResponse("200 OK", "", "")}; });
  OneRow("MUSIC_1", "http://" + Host(empty) + "/resource/a.mp3");
  Download();
  EXPECT_EQ(ui_.GetCellText(0, kColumnAddress), Gbk("下载失败：服务器的回答不是歌曲"));
  EXPECT_EQ(FileCount(save_), 0u);
}

TEST_F(ServiceFaultsTest, SongRequestCarriesTheFetchHeaders) {
  RawHttpServer server(
      [](const std::string&) { return RawReply{HttpResponse("200 OK", "", "ID3song")}; });
  OneRow("MUSIC_1", "http://" + Host(server) + "/resource/a b.mp3");
  Download();
  EXPECT_EQ(ui_.GetCellText(0, kColumnAddress), DownloadedStatus());
  const std::string request = server.requests().at(0);
  EXPECT_EQ(request.substr(0, request.find("\r\n")), "GET /resource/a%20b.mp3 HTTP/1.0");
  EXPECT_NE(request.find("User-Agent: Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.0)\r\n"),
            std::string::npos);
  EXPECT_NE(request.find("Accept: */*\r\n"), std::string::npos);
}

TEST_F(ServiceFaultsTest, ReplyWithoutRecordsAndLookupWithoutMarkers) {
  RawHttpServer server([](const std::string& request) {
    if (request.find("getsjplayinfo") != std::string::npos) {
      return RawReply{HttpResponse("200 OK", "", "{'status':'busy'}")};
    }
    return RawReply{HttpResponse("200 OK", "", "<result><error>none</error></result>")};
  });
  test::SetEnvironment("ORNIVEL_SERVICE_HOST", Host(server));
  ui_.SetSearchText("abc");
  SearchSongs(ui_, ui_);
  EXPECT_EQ(ui_.Messages().back().text, NoSongMessage());

  OneRow("MUSIC_1", "");
  StartAddressLookup(ui_, ui_);
  ui_.WaitForWorkers();
  EXPECT_EQ(ui_.GetCellText(0, kColumnAddress), LookupFailedStatus());
  EXPECT_NE(server.requests().back().find("GET /webmusic/st/getNewMuiseByRid?rid=MUSIC_1 HTTP/1.1"),
            std::string::npos);
  CopySongAddress(ui_, ui_);
  EXPECT_EQ(ui_.Messages().back().text, AddressFirstMessage());
}

TEST_F(ServiceFaultsTest, LookupOfARowThatANewSearchReplacedWritesNothing) {
  std::atomic<bool> asked{false};
  RawHttpServer server([&](const std::string&) {
    asked = true;
    RawReply reply{HttpResponse("200 OK", "", "<mp3dl>h</mp3dl><mp3path>p</mp3path>")};
    reply.delay = std::chrono::milliseconds(300);
    return reply;
  });
  test::SetEnvironment("ORNIVEL_SERVICE_HOST", Host(server));
  OneRow("MUSIC_OLD", "");
  StartAddressLookup(ui_, ui_);
  ASSERT_TRUE(test::WaitUntil([&] { return asked.load(); })) << "the lookup asked nothing";
  OneRow("MUSIC_NEW", "");  // a new search refilled the list while the service answered
  ui_.WaitForWorkers();
  EXPECT_EQ(ui_.GetCellText(0, kColumnAddress), "");
}

TEST_F(ServiceFaultsTest, HostileIdentifiersWriteNothing) {
  RawHttpServer server(
      [](const std::string&) { return RawReply{HttpResponse("200 OK", "", "ID3")}; });
  const fs::path inner = save_ / "inner";
  fs::create_directories(inner);
  ui_.SetSaveFolder(inner.string());
  for (const std::string identifier : {"../evil", "a/b", "a\\b", "..", "x\r\ny"}) {
    OneRow(identifier, "http://" + Host(server) + "/resource/a.mp3");
    Download();
    EXPECT_EQ(ui_.GetCellText(0, kColumnAddress), Gbk("下载失败：无法建立文件名")) << identifier;
  }
  EXPECT_EQ(FileCount(inner), 0u);
  EXPECT_EQ(FileCount(save_), 1u);  // just "inner"
  EXPECT_TRUE(server.requests().empty());
}

TEST_F(ServiceFaultsTest, AMissingSaveFolderOrAnUnmakeableNameSaysSo) {
  RawHttpServer server(
      [](const std::string&) { return RawReply{HttpResponse("200 OK", "", "ID3")}; });
  // The folder went after the program started: each download looks, before asking the server.
  ui_.SetSaveFolder((save_ / "gone").string());
  OneRow("MUSIC_1", "http://" + Host(server) + "/resource/a.mp3");
  Download();
  EXPECT_EQ(ui_.GetCellText(0, kColumnAddress), Gbk("下载失败：保存目录不存在"));
  // A file standing where the folder should be.
  std::ofstream(save_ / "file") << "x";
  ui_.SetSaveFolder((save_ / "file").string());
  OneRow("MUSIC_1", "http://" + Host(server) + "/resource/a.mp3");
  Download();
  EXPECT_EQ(ui_.GetCellText(0, kColumnAddress), Gbk("下载失败：保存目录不存在"));
  EXPECT_TRUE(server.requests().empty());
  // An identifier too long for a file name: the partial file cannot be made.
  ui_.SetSaveFolder(save_.string());
  OneRow(std::string(300, 'M'), "http://" + Host(server) + "/resource/a.mp3");
  Download();
  EXPECT_EQ(ui_.GetCellText(0, kColumnAddress), Gbk("下载失败：无法建立文件名"));
  EXPECT_EQ(FileCount(save_), 1u);  // just "file"
}

TEST_F(ServiceFaultsTest, LeftoversNeverBlockTheSongAndAreNeverTouched) {
  RawHttpServer server(
      [](const std::string&) { return RawReply{HttpResponse("200 OK", "", "new bytes")}; });
  // A song kept under its identifier by an earlier download, and the partial file of one
  // interrupted by closing the program.
  std::ofstream(save_ / "MUSIC_1.mp3") << "kept song";
  std::ofstream(save_ / "MUSIC_1.1.part") << "partial";
  OneRow("MUSIC_1", "http://" + Host(server) + "/resource/a.mp3");
  Download();
  EXPECT_EQ(ui_.GetCellText(0, kColumnAddress), DownloadedStatus());
  EXPECT_EQ(FileText(save_ / "Artist - Title.mp3"), "new bytes");
  EXPECT_EQ(FileText(save_ / "MUSIC_1.mp3"), "kept song");
  EXPECT_EQ(FileText(save_ / "MUSIC_1.1.part"), "partial");
  EXPECT_EQ(FileCount(save_), 3u);  // no temporary file of this download is left
}

TEST_F(ServiceFaultsTest, RenameRefusedLeavesTheSongUnderItsIdentifier) {
  RawHttpServer server(
      [](const std::string&) { return RawReply{HttpResponse("200 OK", "", "bytes")}; });
  OneRow("MUSIC_1", "http://" + Host(server) + "/resource/a.mp3");
  ui_.SetCellText(0, kColumnTitle, std::string(300, 'x'));  // longer than a file name may be
  Download();
  EXPECT_EQ(ui_.GetCellText(0, kColumnAddress), RenameFailedStatus());
  EXPECT_EQ(FileText(save_ / "MUSIC_1.mp3"), "bytes");
  // Downloaded again: the kept song is not replaced; the new one is numbered like final names.
  ui_.SetCellText(0, kColumnAddress, "http://" + Host(server) + "/resource/a.mp3");
  Download();
  EXPECT_EQ(ui_.GetCellText(0, kColumnAddress), RenameFailedStatus());
  EXPECT_EQ(FileText(save_ / "MUSIC_1(1).mp3"), "bytes");
  EXPECT_EQ(FileCount(save_), 2u);
}

TEST_F(ServiceFaultsTest, StatusTextInColumnFiveIsNoAddress) {
  OneRow("MUSIC_1", DownloadedStatus());
  Download();
  ASSERT_EQ(ui_.Messages().size(), 1u);
  EXPECT_EQ(ui_.Messages()[0].text, AddressFirstMessage());
  EXPECT_EQ(FileCount(save_), 0u);
}

// The latest search's results stand: a search started from inside the first one's wait (the
// message pump lets the user press the button again) wins over the first.
MemoryFrontEnd* g_ui = nullptr;
bool g_nested = false;
int g_pumpCalls = 0;
int g_nestAt = 0;
const char* g_secondKeyword = "";

// Runs the search for `keyword` in `ui`, with a second search for `secondKeyword` started by
// the message pump at its `nestAt`-th call (as a click of the button during the first one's
// wait); whether the second one started.
bool SearchWithASecondInside(MemoryFrontEnd& ui, const char* keyword, const char* secondKeyword,
                             int nestAt) {
  g_ui = &ui;
  g_pumpCalls = 0;
  g_nestAt = nestAt;
  g_nested = false;
  g_secondKeyword = secondKeyword;
  SetMessagePump([] {
    if (g_nested) return;
    test::KeepAMessageWaiting();  // so that every wait calls the pump again
    if (++g_pumpCalls < g_nestAt) return;
    g_nested = true;
    g_ui->SetSearchText(g_secondKeyword);
    SearchSongs(*g_ui, *g_ui);
  });
  ui.SetSearchText(keyword);
  SearchSongs(ui, ui);
  SetMessagePump(nullptr);
  return g_nested;
}

TEST_F(ServiceFaultsTest, LatestSearchWins) {
  // Each connection is served on its own thread: the fast reply comes while the slow one waits.
  RawHttpServer server([](const std::string& request) {
    const bool slow = RequestTarget(request).ends_with("&key=%73%6C%6F%77");  // "slow"
    RawReply reply{HttpResponse("200 OK", "Content-Type: text/plain\r\n",
                                std::string("{'rid':'") + (slow ? "SLOW" : "FAST") +
                                    "','songName':'s','album':'a','artist':'b'}\n")};
    if (slow) reply.delay = std::chrono::milliseconds(400);
    return reply;
  });
  test::SetEnvironment("ORNIVEL_SERVICE_HOST", Host(server));
  ASSERT_TRUE(SearchWithASecondInside(ui_, "slow", "fast", 1));
  ASSERT_EQ(ui_.RowCount(), 1);
  EXPECT_EQ(ui_.GetCellText(0, kColumnIdentifier), "FAST");
  EXPECT_TRUE(ui_.Messages().empty());
}

// Wherever the second search starts inside the first one's waits, the list ends with the second
// search's 500 rows alone, numbered from 1: never both sets mixed. (On Windows the parse's wait
// takes no input, so a click starts nothing there; the list is filled after the parse anyway.)
TEST_F(ServiceFaultsTest, LatestSearchWinsWhereverTheSecondOneStarts) {
  std::string firstRecords, secondRecords;
  for (int n = 1; n <= 500; ++n) {
    firstRecords += test::SearchRecord(n);
    secondRecords += test::SearchRecord(1000 + n);
  }
  const std::string first = test::OneLineSearchReply(firstRecords, 500);
  const std::string second = test::OneLineSearchReply(secondRecords, 500);
  RawHttpServer server([&](const std::string& request) {
    const bool isFirst = RequestTarget(request).ends_with("&key=%66%69%72%73%74");  // "first"
    return RawReply{
        HttpResponse("200 OK", "Content-Type: text/plain\r\n", isFirst ? first : second)};
  });
  test::SetEnvironment("ORNIVEL_SERVICE_HOST", Host(server));
  int nestAt = 1;
  for (;; nestAt *= 2) {
    SCOPED_TRACE(testing::Message() << "second search at pump call " << nestAt);
    const bool nested = SearchWithASecondInside(ui_, "first", "second", nestAt);
    const int expectedFirst = nested ? 1001 : 1;
    ASSERT_EQ(ui_.RowCount(), 500);
    for (const int row : {0, 1, 250, 499}) {
      EXPECT_EQ(ui_.GetCellText(row, kColumnNumber), std::to_string(row + 1));
      EXPECT_EQ(ui_.GetCellText(row, kColumnIdentifier),
                test::RecordIdentifier(expectedFirst + row));
    }
    if (!nested) break;  // the first search ended before the pump was called that often
  }
  EXPECT_GE(nestAt, 4);  // the second search started at several places of the first
  EXPECT_TRUE(ui_.Messages().empty());
}

TEST_F(ServiceFaultsTest, OneLineReplyWhoseLaterRecordsCannotBeReadStillFillsTheList) {
  // The reply on one line, as services send it: 300 records, then 300 whose singer key is
  // "artistName".
  const std::string reply = test::OneLineSearchReply(300, 300);
  RawHttpServer server([&reply](const std::string& request) {
    return RequestTarget(request).starts_with("/webmusic/getsjplayinfo?")
               ? RawReply{HttpResponse("200 OK", "Content-Type: text/plain\r\n", reply)}
               : RawReply{HttpResponse("404 Not Found", "", "")};
  });
  test::SetEnvironment("ORNIVEL_SERVICE_HOST", Host(server));
  ui_.SetSearchText(Gbk("月亮"));
  SearchSongs(ui_, ui_);
  EXPECT_TRUE(ui_.Messages().empty());
  ASSERT_EQ(ui_.RowCount(), 300);
  for (const int n : {1, 299, 300}) {
    SCOPED_TRACE(n);
    EXPECT_EQ(ui_.Row(n - 1),
              (std::vector<std::string>{std::to_string(n), Gbk(test::RecordSongName(n)),
                                        Gbk(test::RecordSinger(n)), Gbk(test::RecordAlbum()),
                                        test::RecordIdentifier(n), ""}));
  }
}

}  // namespace
}  // namespace ornivel
