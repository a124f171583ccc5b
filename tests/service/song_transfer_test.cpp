// Song-sized downloads against loopback servers: every byte kept through the write buffer, the
// progress shown in column 5, a disk that refuses more bytes in mid-transfer, downloads that
// race for one name, links planted at the temporary names, and redirects to other schemes.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <mutex>
#include <regex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "service/file_fetch.h"
#include "service/file_system.h"
#include "service/song_download.h"
#include "tests/support/gbk.h"
#include "tests/support/loopback_server.h"
#include "tests/support/memory_front_end.h"
#include "tests/support/raw_http_server.h"
#include "tests/support/song_bytes.h"
#include "tests/support/song_server.h"
#include "tests/support/temp_dir.h"

namespace ornivel {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using test::Gbk;
using test::Holds;
using test::kSongSize;
using test::RandomBytes;
using test::UnevenPieces;

// Whether the two files hold the two songs, in either order.
::testing::AssertionResult HoldBoth(const fs::path& one, const fs::path& other,
                                    const std::string& song, const std::string& otherSong) {
  if ((Holds(one, song) && Holds(other, otherSong)) ||
      (Holds(one, otherSong) && Holds(other, song))) {
    return ::testing::AssertionSuccess();
  }
  const auto size = [](const fs::path& path) {
    return fs::is_regular_file(path) ? std::to_string(fs::file_size(path)) + " bytes" : "no file";
  };
  return ::testing::AssertionFailure()
         << one << " (" << size(one) << ") and " << other << " (" << size(other)
         << ") are not the songs of " << song.size() << " and " << otherSong.size() << " bytes";
}

std::set<std::string> FileNames(const fs::path& folder) {
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) {
    names.insert(entry.path().filename().string());
  }
  return names;
}

enum class Length { kAnnounced, kChunked };

// Serves one song in uneven pieces, with a Content-Length or chunked, spread over `spread`.
class SongServer {
 public:
  SongServer(std::string song, Length length, std::chrono::milliseconds spread = 0ms)
      : reply_(test::UnevenSong(song, length == Length::kChunked, spread)),
        server_([this](const std::string&) { return reply_; }) {}

  std::string url() const { return server_.url("/resource/song.mp3"); }

 private:
  const test::SongReply reply_;
  test::SongServer server_;  // last: stopped before the reply it sends goes
};

class SongTransferTest : public ::testing::Test {
 protected:
  void SetUp() override {
    base_ = test::FreshTestFolder("song-transfer");
    save_ = base_ / "save";
    fs::create_directories(save_);
  }
  void TearDown() override {
    ui_.WaitForWorkers();
    fs::remove_all(base_);
  }

  // A row as a search and a lookup leave it. Names are UTF-8 here, GBK in the row.
  int AddRow(const std::string& identifier, const std::string& singer, const std::string& title,
             const std::string& address) {
    const int row = ui_.AppendRow();
    ui_.SetCellText(row, kColumnNumber, std::to_string(row + 1));
    ui_.SetCellText(row, kColumnTitle, Gbk(title));
    ui_.SetCellText(row, kColumnSinger, Gbk(singer));
    ui_.SetCellText(row, kColumnIdentifier, identifier);
    ui_.SetCellText(row, kColumnAddress, address);
    return row;
  }

  // "下载此歌曲" on `row`; the worker runs on.
  void ExpectArrivesWithRisingProgress(const std::string& song, const SongServer& server,
                                       const std::string& identifier, const std::string& singer,
                                       const std::string& title, const std::regex& figure,
                                       double most);

  void StartDownloadOf(int row) {
    ui_.Select(row);
    StartDownload(ui_, ui_, ui_, Gbk(save_.string()));
  }

  // The texts that landed in column 5 of `row` since RecordCellWrites, in order.
  std::vector<std::string> StatusTexts(int row) {
    std::vector<std::string> texts;
    for (const auto& write : ui_.CellWrites()) {
      if (write.row == row && write.column == kColumnAddress) texts.push_back(write.text);
    }
    return texts;
  }

  fs::path base_, save_;
  MemoryFrontEnd ui_;
};

// The progress figures of column 5, in order: what follows "歌曲下载中... " in each progress
// text, matched against `form`. The first status must be the bare "歌曲下载中..." and the last
// "下载成功", with nothing but progress texts between them.
std::vector<double> ProgressFigures(const std::vector<std::string>& texts, const std::regex& form) {
  const std::string prefix = Gbk("歌曲下载中... ");
  std::vector<double> figures;
  EXPECT_GE(texts.size(), 2u);
  if (texts.size() < 2) return figures;
  EXPECT_EQ(texts.front(), Gbk("歌曲下载中..."));
  EXPECT_EQ(texts.back(), Gbk("下载成功"));
  for (std::size_t i = 1; i + 1 < texts.size(); ++i) {
    std::smatch match;
    const std::string figure =
        texts[i].rfind(prefix, 0) == 0 ? texts[i].substr(prefix.size()) : std::string();
    EXPECT_TRUE(std::regex_match(figure, match, form)) << "status " << i << ": " << texts[i];
    if (!match.empty()) figures.push_back(std::stod(match[1].str()));
  }
  return figures;
}

// At most four progress texts a second: the n-th comes at least n quarter-seconds after the
// download started, so no more than `elapsed` / 250 ms of them fit in the download.
void ExpectAtMostFourASecond(std::size_t progressTexts,
                             std::chrono::steady_clock::duration elapsed) {
  EXPECT_LE(static_cast<double>(progressTexts), static_cast<double>(elapsed / 1ms) / 250.0)
      << "progress texts in " << elapsed / 1ms << " ms";
}

// Downloads `song` from `server` into a new row (`identifier`, `singer`, `title`), and checks that
// it arrived whole while its progress, the figures `figure` finds in the row's status texts, rose
// and stayed at most `most`.
void SongTransferTest::ExpectArrivesWithRisingProgress(
    const std::string& song, const SongServer& server, const std::string& identifier,
    const std::string& singer, const std::string& title, const std::regex& figure, double most) {
  const int row = AddRow(identifier, singer, title, server.url());
  ui_.RecordCellWrites();
  const auto start = std::chrono::steady_clock::now();
  StartDownloadOf(row);
  ui_.WaitForWorkers();
  const auto elapsed = std::chrono::steady_clock::now() - start;

  const std::string fileName = singer + " - " + title + ".mp3";
  EXPECT_EQ(ui_.GetCellText(row, kColumnAddress), Gbk("下载成功"));
  EXPECT_EQ(FileNames(save_), std::set<std::string>{fileName});
  EXPECT_TRUE(Holds(save_ / fileName, song));

  const std::vector<double> figures = ProgressFigures(StatusTexts(row), figure);
  EXPECT_GE(figures.size(), 2u);
  EXPECT_TRUE(std::is_sorted(figures.begin(), figures.end()));
  for (double value : figures) EXPECT_LE(value, most);
  ExpectAtMostFourASecond(figures.size(), elapsed);
}

TEST_F(SongTransferTest, SongWithALengthArrivesWholeWhileItsShareIsShown) {
  // Spread over 1.2 s: the transfer takes that long however fast the machine is, so several
  // progress texts are due.
  const std::string song = RandomBytes(kSongSize, 1);
  SongServer server(song, Length::kAnnounced, 1200ms);
  ExpectArrivesWithRisingProgress(song, server, "MUSIC_1", "周杰伦", "告白气球",
                                  std::regex(R"(([0-9]{1,3})%)"), 100);
}

TEST_F(SongTransferTest, SongWithoutALengthArrivesWholeWhileItsMegabytesAreShown) {
  const std::string song = RandomBytes(kSongSize, 2);
  SongServer server(song, Length::kChunked, 1200ms);
  ExpectArrivesWithRisingProgress(song, server, "MUSIC_2", "陈奕迅", "十年",
                                  std::regex(R"(([0-9]+\.[0-9]) MB)"), 9.1);

  // An HTTP/1.0 reply without a length, ended by closing the connection.
  const std::string other = RandomBytes(kSongSize, 3);
  test::RawHttpServer closing([&](const std::string&) {
    return test::RawReply{"HTTP/1.0 200 OK\r\nContent-Type: audio/mpeg\r\n\r\n" + other};
  });
  const int second = AddRow("MUSIC_3", "陈奕迅", "浮夸", closing.url("/resource/x.mp3"));
  StartDownloadOf(second);
  ui_.WaitForWorkers();
  EXPECT_EQ(ui_.GetCellText(second, kColumnAddress), Gbk("下载成功"));
  EXPECT_TRUE(Holds(save_ / "陈奕迅 - 浮夸.mp3", other));
}

// The file code on its own, with pieces larger than its write buffer as well.
TEST(DownloadFileTest, NewFileKeepsEveryByteWhateverThePieces) {
  const fs::path folder = test::FreshTestFolder("download-file");
  const std::string song = RandomBytes(kSongSize, 4);
  std::vector<std::size_t> pieces = UnevenPieces(song.size() - (3 << 20), 5);
  pieces.insert(pieces.begin() + 3, (2 << 20) + 17);  // more than the buffer holds, in one go
  pieces.insert(pieces.begin() + 5, (1 << 20) - 17);
  const std::string path = (folder / "MUSIC_1.1.part").string();
  auto file = CreateNewFile(path);
  ASSERT_NE(file, nullptr);
  std::size_t offset = 0;
  for (std::size_t piece : pieces) {
    ASSERT_TRUE(
        file->Write(std::span(reinterpret_cast<const std::uint8_t*>(song.data()) + offset, piece)));
    offset += piece;
  }
  ASSERT_EQ(offset, song.size());
  ASSERT_TRUE(file->Finish());
  EXPECT_TRUE(Holds(path, song));
  // The name exists now: a second file of that name is never opened.
  EXPECT_TRUE(CreateNewFile(path) == nullptr);
  fs::remove_all(folder);
}

TEST(DownloadFileTest, RenameNeverReplacesAFileOrALink) {
  const fs::path folder = test::FreshTestFolder("download-rename");
  std::ofstream(folder / "new") << "new";
  std::ofstream(folder / "kept") << "kept";
  fs::create_symlink(folder / "nowhere", folder / "dangling");
  EXPECT_FALSE(RenameNoReplace((folder / "new").string(), (folder / "kept").string()));
  EXPECT_FALSE(RenameNoReplace((folder / "new").string(), (folder / "dangling").string()));
  EXPECT_TRUE(Holds(folder / "kept", "kept"));
  EXPECT_TRUE(fs::is_symlink(folder / "dangling"));
  EXPECT_FALSE(fs::exists(folder / "nowhere"));
  EXPECT_TRUE(RenameNoReplace((folder / "new").string(), (folder / "free").string()));
  EXPECT_EQ(FileNames(folder), (std::set<std::string>{"dangling", "free", "kept"}));
  EXPECT_TRUE(Holds(folder / "free", "new"));
  fs::remove_all(folder);
}

volatile sig_atomic_t g_fileTooLarge = 0;

// A small file system of the test's own at `folder`, where the test may mount one (as root).
class SmallDisk {
 public:
  explicit SmallDisk(const fs::path& folder) : folder_(folder.string()) {
    fs::create_directories(folder);
    mounted_ = ::geteuid() == 0 &&
               Run("mount -t tmpfs -o size=64k tmpfs '" + folder_ + "' 2>/dev/null") == 0;
  }
  ~SmallDisk() {
    if (mounted_) (void)Run("umount '" + folder_ + "'");
  }
  SmallDisk(const SmallDisk&) = delete;
  SmallDisk& operator=(const SmallDisk&) = delete;

  bool mounted() const { return mounted_; }
  bool MakeReadOnly() { return Run("mount -o remount,ro '" + folder_ + "'") == 0; }

 private:
  static int Run(const std::string& command) { return std::system(command.c_str()); }

  std::string folder_;
  bool mounted_ = false;
};

TEST_F(SongTransferTest, AFullDiskAndAReadOnlyFolderSayWhatHappened) {
  const fs::path disk = base_ / "disk";
  SmallDisk small(disk);
  if (!small.mounted()) GTEST_SKIP() << "no tmpfs can be mounted here";
  // A song four times the size of the disk: the disk fills in mid-transfer.
  const std::string song = RandomBytes(256 << 10, 8);
  SongServer server(song, Length::kAnnounced);
  const int row = AddRow("MUSIC_1", "A", "T", server.url());
  ui_.Select(row);
  StartDownload(ui_, ui_, ui_, Gbk(disk.string()));
  ui_.WaitForWorkers();
  EXPECT_EQ(ui_.GetCellText(row, kColumnAddress), Gbk("下载失败：磁盘已满"));
  EXPECT_TRUE(FileNames(disk).empty());  // neither the partial file nor its record is left

  // The same through the saving code alone, as ornivel-dl calls it.
  SongToSave wanted{"MUSIC_2", Gbk("A"), Gbk("T"), false};
  const SaveResult full = SaveSong(server.url(), wanted, Gbk(disk.string()));
  EXPECT_EQ(full.outcome, SaveOutcome::kWriteFailed);
  EXPECT_EQ(full.fileError, FileError::kDiskFull);
  EXPECT_EQ(SaveFailureStatus(full), Gbk("下载失败：磁盘已满"));

  ASSERT_TRUE(small.MakeReadOnly());
  ui_.SetCellText(row, kColumnAddress, server.url());
  StartDownload(ui_, ui_, ui_, Gbk(disk.string()));
  ui_.WaitForWorkers();
  EXPECT_EQ(ui_.GetCellText(row, kColumnAddress), Gbk("下载失败：保存目录无法写入"));
  const SaveResult readOnly = SaveSong(server.url(), wanted, Gbk(disk.string()));
  EXPECT_EQ(readOnly.outcome, SaveOutcome::kCannotCreate);
  EXPECT_EQ(readOnly.fileError, FileError::kNoPermission);
}

// The disk refuses more bytes when 2 MiB of a 9 MiB song are written. The download runs in a
// child process with that file size limit (the signal only noted, so writes fail with EFBIG),
// which reports column 5, whether the limit was hit, and the folder's names through a pipe.
TEST_F(SongTransferTest, WriteFailureInMidTransferFailsAndLeavesNothing) {
  const std::string song = RandomBytes(kSongSize, 6);
  SongServer server(song, Length::kAnnounced);
  const int row = AddRow("MUSIC_1", "A", "T", server.url());
  const std::string folder = Gbk(save_.string());
  int report[2];
  ASSERT_EQ(::pipe(report), 0);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::close(report[0]);
    struct sigaction noted {};
    noted.sa_handler = [](int) { g_fileTooLarge = 1; };
    const rlimit limit{2 << 20, 2 << 20};
    if (::sigaction(SIGXFSZ, &noted, nullptr) != 0 || ::setrlimit(RLIMIT_FSIZE, &limit) != 0) {
      ::_exit(3);
    }
    DownloadSong(ui_, ui_, row, server.url(), folder, SaveRules{});
    std::string text = ui_.GetCellText(row, kColumnAddress) + "\n" +
                       (g_fileTooLarge != 0 ? "limit hit" : "limit not hit") + "\n";
    for (const std::string& name : FileNames(save_)) text += name + "\n";
    const bool written =
        ::write(report[1], text.data(), text.size()) == static_cast<ssize_t>(text.size());
    ::_exit(written ? 0 : 4);
  }
  ::close(report[1]);
  std::string text;
  char buffer[4096];
  ssize_t n;
  while ((n = ::read(report[0], buffer, sizeof buffer)) > 0) {
    text.append(buffer, static_cast<std::size_t>(n));
  }
  ::close(report[0]);
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "child status " << status;
  EXPECT_EQ(text, Gbk("下载失败：写入文件失败") + "\nlimit hit\n");  // no file, no temporary file
  EXPECT_TRUE(FileNames(save_).empty());
}

// Holds every reply until `expected` requests have arrived, so the downloads really overlap;
// then answers each with body(arrival index, path).
class HeldRepliesServer {
 public:
  using Body = std::function<std::string(int arrival, const std::string& path)>;

  HeldRepliesServer(int expected, Body body) : expected_(expected), body_(std::move(body)) {
    server_.server().Get(
        R"(/resource/.+)", [this](const httplib::Request& req, httplib::Response& res) {
          std::unique_lock lock(mutex_);
          const int arrival = arrived_++;
          allArrived_.notify_all();
          if (!allArrived_.wait_for(lock, 20s, [this] { return arrived_ >= expected_; })) {
            overlapped_ = false;
          }
          lock.unlock();
          res.set_content(body_(arrival, req.path), "audio/mpeg");
        });
  }

  std::string url(const std::string& path) const { return server_.url(path); }
  // Whether every reply waited for the others' requests.
  bool overlapped() {
    std::lock_guard lock(mutex_);
    return overlapped_ && arrived_ == expected_;
  }
  int arrived() {
    std::lock_guard lock(mutex_);
    return arrived_;
  }

 private:
  const int expected_;
  Body body_;
  std::mutex mutex_;
  std::condition_variable allArrived_;
  int arrived_ = 0;
  bool overlapped_ = true;
  test::LoopbackServer server_;  // last: stopped before what its handlers use goes
};

TEST_F(SongTransferTest, TwoDownloadsOfOneRowAtOnceKeepBothSongs) {
  // Each request gets a song of its own, so a file mixed of both would show.
  const std::vector<std::string> songs = {RandomBytes(3 << 20, 11), RandomBytes((3 << 20) + 1, 12)};
  HeldRepliesServer server(2, [&](int arrival, const std::string&) { return songs.at(arrival); });
  const std::string address = server.url("/resource/1.mp3");
  const int row = AddRow("MUSIC_1", "A", "T", address);
  ui_.RecordCellWrites();
  // "下载此歌曲" twice, both times before the first worker wrote its status over the address
  // (StartDownload would take that status for no address): two workers with the address.
  const std::string folder = Gbk(save_.string());
  for (int click = 0; click < 2; ++click) {
    ui_.StartWorker([&] { DownloadSong(ui_, ui_, row, address, folder, SaveRules{}); });
  }
  ui_.WaitForWorkers();
  ASSERT_TRUE(server.overlapped()) << server.arrived() << " requests arrived";

  EXPECT_EQ(FileNames(save_), (std::set<std::string>{"A - T(1).mp3", "A - T.mp3"}));
  EXPECT_TRUE(HoldBoth(save_ / "A - T.mp3", save_ / "A - T(1).mp3", songs[0], songs[1]));
  const std::vector<std::string> texts = StatusTexts(row);
  EXPECT_EQ(std::count(texts.begin(), texts.end(), Gbk("下载成功")), 2);
  EXPECT_EQ(ui_.GetCellText(row, kColumnAddress), Gbk("下载成功"));
  EXPECT_TRUE(ui_.Questions().empty());
}

TEST_F(SongTransferTest, TwoRowsWithOneNameAtOnceKeepBothSongs) {
  const std::map<std::string, std::string> songs = {{"/resource/1.mp3", RandomBytes(3 << 20, 21)},
                                                    {"/resource/2.mp3", RandomBytes(3 << 20, 22)}};
  const auto run = [&](int round) {
    HeldRepliesServer server(2, [&](int, const std::string& path) { return songs.at(path); });
    ui_.DeleteAllRows();
    const int first = AddRow("MUSIC_1", "A", "T", server.url("/resource/1.mp3"));
    const int second = AddRow("MUSIC_2", "A", "T", server.url("/resource/2.mp3"));
    StartDownloadOf(first);
    StartDownloadOf(second);
    ui_.WaitForWorkers();
    EXPECT_TRUE(server.overlapped())
        << "round " << round << ": " << server.arrived() << " requests";
    EXPECT_EQ(ui_.GetCellText(first, kColumnAddress), Gbk("下载成功")) << "round " << round;
    EXPECT_EQ(ui_.GetCellText(second, kColumnAddress), Gbk("下载成功")) << "round " << round;
  };

  run(1);
  EXPECT_EQ(FileNames(save_), (std::set<std::string>{"A - T(1).mp3", "A - T.mp3"}));
  EXPECT_TRUE(HoldBoth(save_ / "A - T.mp3", save_ / "A - T(1).mp3", songs.at("/resource/1.mp3"),
                       songs.at("/resource/2.mp3")));
  EXPECT_TRUE(ui_.Questions().empty());

  // Again, now that the name is taken: both ask, both are told Yes, and both are numbered on.
  std::ofstream(save_ / "A - T.mp3", std::ios::trunc) << "kept";
  ui_.QueueAnswer(true);
  ui_.QueueAnswer(true);
  run(2);
  EXPECT_EQ(ui_.Questions(), (std::vector<std::string>{Gbk("文件已经存在，是否继续下载？"),
                                                       Gbk("文件已经存在，是否继续下载？")}));
  EXPECT_EQ(FileNames(save_),
            (std::set<std::string>{"A - T(1).mp3", "A - T(2).mp3", "A - T(3).mp3", "A - T.mp3"}));
  EXPECT_TRUE(Holds(save_ / "A - T.mp3", "kept"));
  EXPECT_TRUE(HoldBoth(save_ / "A - T(2).mp3", save_ / "A - T(3).mp3", songs.at("/resource/1.mp3"),
                       songs.at("/resource/2.mp3")));
}

// Another download finishes into the name while this one is still transferring.
TEST_F(SongTransferTest, NameTakenDuringTheTransferIsNotReplaced) {
  const std::string song = RandomBytes(1 << 20, 31);
  test::LoopbackServer server;
  server.server().Get("/resource/1.mp3", [&](const httplib::Request&, httplib::Response& res) {
    std::ofstream(save_ / "A - T.mp3") << "the other download's song";
    res.set_content(song, "audio/mpeg");
  });
  const int row = AddRow("MUSIC_1", "A", "T", server.url("/resource/1.mp3"));
  StartDownloadOf(row);
  ui_.WaitForWorkers();
  EXPECT_EQ(ui_.GetCellText(row, kColumnAddress), Gbk("下载成功"));
  EXPECT_TRUE(Holds(save_ / "A - T.mp3", "the other download's song"));
  EXPECT_TRUE(Holds(save_ / "A - T(1).mp3", song));
  EXPECT_EQ(FileNames(save_).size(), 2u);
  EXPECT_TRUE(ui_.Questions().empty());
}

TEST_F(SongTransferTest, LinksPlantedAtTheTemporaryNamesAreNeverWrittenThrough) {
  const std::string song = RandomBytes(2 << 20, 41);
  SongServer server(song, Length::kAnnounced);
  // One link to a file outside the folder, one to a name outside it where nothing is yet.
  std::ofstream(base_ / "outside.txt") << "outside bytes";
  fs::create_symlink(base_ / "outside.txt", save_ / "MUSIC_1.1.part");
  fs::create_symlink(base_ / "not-yet", save_ / "MUSIC_1.2.part");
  const int row = AddRow("MUSIC_1", "A", "T", server.url());
  StartDownloadOf(row);
  ui_.WaitForWorkers();
  EXPECT_EQ(ui_.GetCellText(row, kColumnAddress), Gbk("下载成功"));
  EXPECT_TRUE(Holds(save_ / "A - T.mp3", song));
  EXPECT_TRUE(Holds(base_ / "outside.txt", "outside bytes"));
  EXPECT_FALSE(fs::exists(base_ / "not-yet"));
  EXPECT_EQ(FileNames(save_),
            (std::set<std::string>{"A - T.mp3", "MUSIC_1.1.part", "MUSIC_1.2.part"}));
  EXPECT_TRUE(fs::is_symlink(save_ / "MUSIC_1.1.part"));
  EXPECT_TRUE(fs::is_symlink(save_ / "MUSIC_1.2.part"));
}

TEST_F(SongTransferTest, RedirectsToOtherSchemesSaveNothing) {
  test::FtpGreeter ftp;
  ASSERT_NE(ftp.port(), 0);
  const std::string song = RandomBytes(1 << 20, 51);
  const std::string ftpUrl = "ftp://127.0.0.1:" + std::to_string(ftp.port()) + "/x";
  std::atomic<int> port{0};
  test::RawHttpServer server([&](const std::string& request) {
    const std::string path = request.substr(4, request.find(' ', 4) - 4);
    if (path == "/file.mp3") {
      return test::RawReply{
          test::HttpResponse("302 Found", "Location: file:///etc/passwd\r\n", "")};
    }
    if (path == "/ftp.mp3") {
      return test::RawReply{test::HttpResponse("302 Found", "Location: " + ftpUrl + "\r\n", "")};
    }
    if (path == "/http.mp3") {
      return test::RawReply{test::HttpResponse(
          "302 Found",
          "Location: http://127.0.0.1:" + std::to_string(port.load()) + "/song.mp3\r\n", "")};
    }
    return test::RawReply{test::HttpResponse("200 OK", "", song)};
  });
  port = server.port();

  for (const std::string path : {"/file.mp3", "/ftp.mp3"}) {
    ui_.DeleteAllRows();
    const int row = AddRow("MUSIC_1", "A", "T", server.url(path));
    StartDownloadOf(row);
    ui_.WaitForWorkers();
    EXPECT_EQ(ui_.GetCellText(row, kColumnAddress), Gbk("下载失败：歌曲没有下载完整")) << path;
    EXPECT_TRUE(FileNames(save_).empty()) << path;
  }
  EXPECT_EQ(ftp.connections(), 0);
  // Not even the bytes in memory: a redirect to a local file gives nothing.
  EXPECT_TRUE(FetchUrlBytes(server.url("/file.mp3")).empty());

  // A redirect to another HTTP address is followed.
  ui_.DeleteAllRows();
  const int row = AddRow("MUSIC_1", "A", "T", server.url("/http.mp3"));
  StartDownloadOf(row);
  ui_.WaitForWorkers();
  EXPECT_EQ(ui_.GetCellText(row, kColumnAddress), Gbk("下载成功"));
  EXPECT_TRUE(Holds(save_ / "A - T.mp3", song));
}

}  // namespace
}  // namespace ornivel
