// ornivel-dl as people and scripts run it: the program itself as a child process, against
// ornivel-catalog over a small music folder and against loopback servers. The same expectations
// hold for the Linux program and for ornivel-dl.exe under Wine.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <functional>
#ifndef _WIN32
#include <sys/stat.h>
#endif
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/settings.h"
#include "service/song_search.h"
#include "tests/support/catalog_process.h"
#include "tests/support/child_process.h"
#include "tests/support/closed_port.h"
#include "tests/support/environment.h"
#include "tests/support/gbk_path.h"
#include "tests/support/library_test.h"
#include "tests/support/mp3_files.h"
#include "tests/support/platform.h"
#include "tests/support/raw_http_server.h"
#include "tests/support/search_reply.h"
#include "tests/support/song_bytes.h"
#include "tests/support/temp_dir.h"

namespace ornivel {
namespace {

namespace fs = std::filesystem;
using test::ChildRun;
using test::FileText;
using test::Utf8Path;

const fs::path kProgram = ORNIVEL_DL;

ChildRun Dl(const std::vector<std::string>& arguments, const test::ChildOptions& options = {}) {
  return test::RunChild(kProgram, arguments, options);
}

using test::OutputLines;

// One line of `--json`, read back: a flat object of strings and numbers.
std::map<std::string, std::string> ParseJsonLine(const std::string& line) {
  std::map<std::string, std::string> object;
  std::size_t at = 0;
  const auto fail = [&] {
    ADD_FAILURE() << "not a JSON object line: " << line;
    return std::map<std::string, std::string>();
  };
  const auto string = [&](std::string& out) {
    if (at >= line.size() || line[at] != '"') return false;
    for (++at; at < line.size() && line[at] != '"'; ++at) {
      if (line[at] != '\\') {
        out += line[at];
        continue;
      }
      const char c = line[++at];
      if (c == 'u') {
        out += static_cast<char>(std::stoi(line.substr(at + 1, 4), nullptr, 16));
        at += 4;
      } else {
        out += c == 'n' ? '\n' : c == 't' ? '\t' : c == 'r' ? '\r' : c;
      }
    }
    return at++ < line.size();
  };
  if (line.empty() || line[at++] != '{') return fail();
  while (at < line.size() && line[at] != '}') {
    std::string key, value;
    if (!string(key) || at >= line.size() || line[at++] != ':') return fail();
    if (line[at] == '"') {
      if (!string(value)) return fail();
    } else {
      while (at < line.size() && line[at] != ',' && line[at] != '}') value += line[at++];
    }
    object[key] = value;
    if (at < line.size() && line[at] == ',') ++at;
  }
  if (at + 1 != line.size()) return fail();
  return object;
}

std::string Utf8(const fs::path& path) {
  return test::PathUtf8(path);
}

std::vector<fs::path> FilesIn(const fs::path& folder) {
  std::vector<fs::path> files;
  for (const auto& entry : fs::directory_iterator(folder)) files.push_back(entry.path().filename());
  std::sort(files.begin(), files.end());
  return files;
}

// A music service on loopback: `records` songs on one reply line, every lookup answered with
// this server and the identifier as the path, and each song's file answered by `song`.
class LoopbackMusicService {
 public:
  using SongReply = std::function<test::RawReply(const std::string& identifier)>;

  explicit LoopbackMusicService(int records, SongReply song = WholeSong)
      : searchReply_(test::OneLineSearchReply(records)),
        song_(std::move(song)),
        server_([this](const std::string& request) { return Answer(request); }) {}

  std::string host() const { return "127.0.0.1:" + std::to_string(server_.port()); }
  // Every request so far.
  std::vector<std::string> requests() const { return server_.requests(); }

  // Before the program runs: another search reply (UTF-8), and another file path for a song's
  // lookup reply than its identifier.
  void SetSearchReply(std::string utf8) { searchReply_ = std::move(utf8); }
  void SetPath(const std::string& identifier, std::string path) {
    paths_[identifier] = std::move(path);
  }

  // Each song's bytes: its own, a few kilobytes.
  static std::string Song(const std::string& identifier) {
    return test::RandomBytes(3000 + identifier.size() * 7,
                             static_cast<unsigned>(std::hash<std::string>()(identifier)));
  }
  static test::RawReply Reply(const std::string& body, const std::string& status = "200 OK") {
    return {"HTTP/1.1 " + status + "\r\nContent-Length: " + std::to_string(body.size()) +
            "\r\nConnection: close\r\n\r\n" + body};
  }
  static test::RawReply WholeSong(const std::string& identifier) { return Reply(Song(identifier)); }

 private:
  test::RawReply Answer(const std::string& request) {
    const std::string target = request.substr(4, request.find(' ', 4) - 4);
    if (target.rfind("/webmusic/getsjplayinfo?", 0) == 0) {
      return Reply(searchReply_);
    }
    const std::string lookup = "/webmusic/st/getNewMuiseByRid?rid=";
    if (target.rfind(lookup, 0) == 0) {
      const std::string identifier = target.substr(lookup.size());
      const auto path = paths_.find(identifier);
      return Reply("<mp3dl>" + host() + "</mp3dl><mp3path>" +
                   (path == paths_.end() ? identifier : path->second) + "</mp3path>");
    }
    if (target.rfind("/resource/", 0) == 0) return song_(target.substr(10));
    return Reply("", "404 Not Found");
  }

  std::string searchReply_;
  std::map<std::string, std::string> paths_;
  SongReply song_;
  test::RawHttpServer server_;
};

class OrnivelDlTest : public test::SmallLibraryTest {
 protected:
  OrnivelDlTest() : SmallLibraryTest("ornivel-dl") {}

  void SetUp() override {
    SmallLibraryTest::SetUp();
    if (catalog_) service_ = "--service=" + catalog_->host();
  }

  // The identifiers of a search, in the list's order.
  std::vector<std::string> Identifiers(const std::string& keyword) {
    std::vector<std::string> identifiers;
    const ChildRun run = Dl({service_, "search", keyword, "--json"});
    for (const std::string& line : OutputLines(run.out))
      identifiers.push_back(ParseJsonLine(line)["id"]);
    return identifiers;
  }

  std::string service_;
};

TEST_F(OrnivelDlTest, SearchListsTheWindowsRowsInColumnsForPeople) {
  // The service host from the environment, as the window takes it.
  test::SetEnvironment("ORNIVEL_SERVICE_HOST", catalog_->host());
  const ChildRun run = Dl({"search", "周杰伦"});
  test::UnsetEnvironment("ORNIVEL_SERVICE_HOST");
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.err, "");
  const std::vector<std::string> lines = OutputLines(run.out);
  ASSERT_EQ(lines.size(), 2u) << run.out;
  EXPECT_EQ(lines[0].rfind("1  告白气球  周杰伦  床边故事  MUSIC_", 0), 0u) << lines[0];
  // 晴天 is two wide characters narrower than 告白气球: four spaces make up for it.
  EXPECT_EQ(lines[1].rfind("2  晴天      周杰伦  叶惠美    MUSIC_", 0), 0u) << lines[1];
}

TEST_F(OrnivelDlTest, SearchJsonGivesTheCleanedTextsOfTheListOneObjectALine) {
  ChildRun run = Dl({service_, "search", "--json", "周杰伦"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  std::vector<std::string> lines = OutputLines(run.out);
  ASSERT_EQ(lines.size(), 2u) << run.out;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    auto object = ParseJsonLine(lines[i]);
    EXPECT_EQ(object["index"], std::to_string(i + 1));
    EXPECT_EQ(object["id"].rfind("MUSIC_", 0), 0u);
    EXPECT_EQ(object["singer"], "周杰伦");
  }
  EXPECT_EQ(ParseJsonLine(lines[1])["title"], "晴天");
  EXPECT_EQ(ParseJsonLine(lines[1])["album"], "叶惠美");

  // The window's cleaning: / : * to spaces in titles, & to 、 in singers, ? to a space in albums.
  run = Dl({service_, "search", "Simon", "--json"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  lines = OutputLines(run.out);
  ASSERT_EQ(lines.size(), 1u) << run.out;
  auto object = ParseJsonLine(lines[0]);
  EXPECT_EQ(object["title"], "Either Or  Live ");
  EXPECT_EQ(object["singer"], "Simon 、 Garfunkel");
  EXPECT_EQ(object["album"], "What ");

  // No song: said on standard error, nothing on standard output, and a search done all the same.
  run = Dl({service_, "search", "nothing like it", "--json"});
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(OutputLines(run.err),
            std::vector<std::string>{"ornivel-dl: 没有找到歌曲，尝试减少或者换一个关键词吧"});
}

TEST_F(OrnivelDlTest, UrlWritesTheAddressOfEachSongAndTheServiceServesIt) {
  const std::vector<std::string> identifiers = Identifiers("周杰伦");
  ASSERT_EQ(identifiers.size(), 2u);
  const ChildRun run = Dl({service_, "url", identifiers[1], identifiers[0]});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  const std::vector<std::string> lines = OutputLines(run.out);
  ASSERT_EQ(lines.size(), 2u) << run.out;
  for (const std::string& line : lines) {
    EXPECT_EQ(line.rfind("http://" + catalog_->host() + "/resource/", 0), 0u) << line;
  }
  EXPECT_NE(lines[0], lines[1]);
  EXPECT_NE(lines[0].find("qingtian.mp3"), std::string::npos) << lines[0];
}

TEST_F(OrnivelDlTest, DownloadSavesASongOnceAndANumberedCopyOnlyWhenAskedAgain) {
  const std::vector<std::string> arguments = {service_,  "download", "--search", "晴天",
                                              "--first", "1",        "--to",     Utf8(save_)};
  const fs::path saved = save_ / Utf8Path("周杰伦 - 晴天.mp3");
  const std::string song = FileText(music_ / "jay/qingtian.mp3");

  ChildRun run = Dl(arguments);
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(OutputLines(run.out), std::vector<std::string>{Utf8(saved)});
  EXPECT_EQ(run.err, "");  // no progress where no terminal watches
  EXPECT_TRUE(test::Holds(saved, song));
  EXPECT_EQ(FilesIn(save_), std::vector<fs::path>{saved.filename()});

  // Saved already: skipped and said so, the file untouched.
  fs::last_write_time(saved, fs::last_write_time(saved) - std::chrono::hours(1));
  const auto written = fs::last_write_time(saved);
  run = Dl(arguments);
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.out, "");
  EXPECT_NE(run.err.find(Utf8(saved)), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("跳过"), std::string::npos) << run.err;
  EXPECT_EQ(fs::last_write_time(saved), written);
  EXPECT_EQ(FilesIn(save_).size(), 1u);

  // --again keeps a numbered copy beside it, as the window's "Yes" does.
  std::vector<std::string> again = arguments;
  again.push_back("--again");
  run = Dl(again);
  ASSERT_EQ(run.exitCode, 0) << run.err;
  const fs::path copy = save_ / Utf8Path("周杰伦 - 晴天(1).mp3");
  EXPECT_EQ(OutputLines(run.out), std::vector<std::string>{Utf8(copy)});
  EXPECT_TRUE(test::Holds(copy, song));
  EXPECT_EQ(fs::last_write_time(saved), written);
  EXPECT_EQ(FilesIn(save_).size(), 2u);
}

TEST_F(OrnivelDlTest, IdentifiersFromStandardInputAreSavedUnderTheirNames) {
  const std::vector<std::string> identifiers = Identifiers("周杰伦");
  ASSERT_EQ(identifiers.size(), 2u);
  test::ChildOptions options;
  options.input = identifiers[0] + "\r\n\n   " + identifiers[1] + "  \n";
  const ChildRun run = Dl({service_, "download", "-", "--to", Utf8(save_)}, options);
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(OutputLines(run.out),
            (std::vector<std::string>{Utf8(save_ / (identifiers[0] + ".mp3")),
                                      Utf8(save_ / (identifiers[1] + ".mp3"))}));
  EXPECT_TRUE(
      test::Holds(save_ / (identifiers[1] + ".mp3"), FileText(music_ / "jay/qingtian.mp3")));
}

TEST_F(OrnivelDlTest, ASongWithoutAnAddressFailsAloneWhileTheNextIsSaved) {
  const std::vector<std::string> identifiers = Identifiers("晴天");
  ASSERT_EQ(identifiers.size(), 1u);
  const ChildRun run =
      Dl({service_, "download", "MUSIC_NOSUCHSONG", identifiers[0], "--to", Utf8(save_)});
  EXPECT_EQ(run.exitCode, 1);
  const std::vector<std::string> errors = OutputLines(run.err);
  ASSERT_EQ(errors.size(), 1u) << run.err;
  EXPECT_EQ(errors[0].rfind("ornivel-dl: MUSIC_NOSUCHSONG：获取地址失败", 0), 0u) << errors[0];
  EXPECT_EQ(OutputLines(run.out),
            std::vector<std::string>{Utf8(save_ / (identifiers[0] + ".mp3"))});
  EXPECT_EQ(FilesIn(save_), std::vector<fs::path>{identifiers[0] + ".mp3"});
}

TEST_F(OrnivelDlTest, WithoutAFolderTheWindowsSaveFolderSettingIsUsed) {
  // A copy of the program in a folder of its own finds yyst.ini beside it, as the window does.
  const fs::path programFolder = base_ / "program";
  fs::create_directories(programFolder);
  const fs::path copy = programFolder / kProgram.filename();
  fs::copy_file(kProgram, copy);
  const fs::path chosen = base_ / Utf8Path("我的 音乐");
  fs::create_directories(chosen);
  ASSERT_TRUE(
      WriteSaveFolderSetting(test::GbkPath(programFolder / "yyst.ini"), test::GbkPath(chosen)));
  const std::vector<std::string> identifiers = Identifiers("晴天");
  ASSERT_EQ(identifiers.size(), 1u);
  const ChildRun run = test::RunChild(copy, {service_, "download", identifiers[0]});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(OutputLines(run.out),
            std::vector<std::string>{Utf8(chosen / (identifiers[0] + ".mp3"))});
  EXPECT_TRUE(fs::is_regular_file(chosen / (identifiers[0] + ".mp3")));

  // A save folder that is gone, or a file in its place: one clear line, nothing asked.
  const LoopbackMusicService service(3);
  fs::remove_all(chosen);
  ChildRun gone = test::RunChild(copy, {"--service", service.host(), "download", "MUSIC_1"});
  EXPECT_EQ(gone.exitCode, 1);
  EXPECT_EQ(OutputLines(gone.err),
            std::vector<std::string>{"ornivel-dl: 保存目录不存在：" + test::PathUtf8(chosen)});
  std::ofstream(chosen) << "a file";
  gone = test::RunChild(copy, {"--service", service.host(), "download", "--search", "x", "--all"});
  EXPECT_EQ(gone.exitCode, 1);
  EXPECT_EQ(OutputLines(gone.err),
            std::vector<std::string>{"ornivel-dl: 保存目录不是文件夹：" + test::PathUtf8(chosen)});
  EXPECT_TRUE(service.requests().empty());

  // A settings file that cannot be read is said, and no other folder is taken in its place;
  // --to still works. On Linux a pipe, which a plain read would wait on for ever, as well.
  fs::remove(programFolder / "yyst.ini");
  std::vector<std::function<void()>> unreadable = {
      [&] { fs::create_directory(programFolder / "yyst.ini"); }};
#ifndef _WIN32
  unreadable.push_back([&] {
    fs::remove(programFolder / "yyst.ini");
    ASSERT_EQ(::mkfifo((programFolder / "yyst.ini").c_str(), 0644), 0);
  });
#endif
  for (const auto& make : unreadable) {
    make();
    const std::size_t asked = service.requests().size();
    ChildRun refused = test::RunChild(copy, {"--service", service.host(), "download", "MUSIC_1"});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_EQ(OutputLines(refused.err),
              std::vector<std::string>{"ornivel-dl: 设置文件无法读取（不是普通文件）：" +
                                       test::PathUtf8(programFolder / "yyst.ini") +
                                       "（可用 --to 指定保存目录）"});
    EXPECT_EQ(service.requests().size(), asked);  // nothing asked of the service
    const ChildRun given = test::RunChild(
        copy, {"--service", service.host(), "download", "MUSIC_1", "--to", Utf8(save_)});
    EXPECT_EQ(given.exitCode, 0) << given.err;
    fs::remove_all(save_);
    fs::create_directories(save_);
  }
}

TEST(OrnivelDlLongReplyTest, AReplyOfMoreRecordsThanTheBoundListsTheBoundAndSaysSo) {
  const LoopbackMusicService service(kMostSongRecords + 2000);
  const ChildRun run =
      test::RunChild(kProgram, {"--service", service.host(), "search", "--json", "晴天"});
  EXPECT_EQ(run.exitCode, 0) << run.err;
  const std::vector<std::string> lines = OutputLines(run.out);
  ASSERT_EQ(lines.size(), static_cast<std::size_t>(kMostSongRecords));
  EXPECT_NE(lines.back().find(test::RecordIdentifier(kMostSongRecords)), std::string::npos);
  EXPECT_EQ(OutputLines(run.err),
            std::vector<std::string>{"ornivel-dl: 找到的歌曲太多，只列出了前 5000 首"});
}

TEST(OrnivelDlServiceDownTest, EachCommandFailsWithAReasonWithinTheTimeOuts) {
  const test::ClosedPort port;
  ASSERT_NE(port.port(), 0);
  const fs::path save = test::FreshTestFolder("ornivel-dl-down");
  const std::string service = "--service=" + port.host();
  for (const auto& arguments : std::vector<std::vector<std::string>>{
           {service, "search", "x"},
           {service, "url", "MUSIC_1"},
           {service, "download", "MUSIC_1", "--to", test::PathUtf8(save)},
           {service, "download", "--search", "x", "--all", "--to", test::PathUtf8(save)}}) {
    const ChildRun run = Dl(arguments);
    EXPECT_EQ(run.exitCode, 1) << run.err;
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(OutputLines(run.err).size(), 1u) << run.err;
    EXPECT_EQ(run.err.rfind("ornivel-dl: ", 0), 0u) << run.err;
    EXPECT_LT(run.elapsed, std::chrono::seconds(30));
  }
  EXPECT_TRUE(fs::is_empty(save));
  fs::remove_all(save);
}

TEST(OrnivelDlUsageTest, UsageErrorsExitWithTwoAndHelpAndVersionWithZero) {
  for (const auto& arguments :
       std::vector<std::vector<std::string>>{{},
                                             {"play"},
                                             {"search"},
                                             {"url", "--json", "x"},
                                             {"download", "--search", "x"},
                                             {"download", "--search", "x", "--first", "2", "--all"},
                                             {"--service", "a/b", "url", "x"},
                                             {"search", "Bj\xC3\xB6rk"}}) {
    const ChildRun run = Dl(arguments);
    EXPECT_EQ(run.exitCode, 2) << ::testing::PrintToString(arguments);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err.rfind("ornivel-dl: ", 0), 0u) << run.err;
    EXPECT_NE(run.err.find("--help"), std::string::npos) << run.err;
  }
  // "-" with nothing on standard input asks for nothing.
  EXPECT_EQ(Dl({"url", "-"}).exitCode, 2);

  const ChildRun help = Dl({"--help"});
  EXPECT_EQ(help.exitCode, 0);
  EXPECT_EQ(help.out.rfind("usage: ornivel-dl", 0), 0u) << help.out;
  const ChildRun version = Dl({"--version"});
  EXPECT_EQ(version.exitCode, 0);
  const std::string line = OutputLines(version.out).at(0);
  EXPECT_EQ(line.rfind("ornivel-dl ", 0), 0u) << line;
  EXPECT_EQ(line.find_first_not_of("0123456789.", 11), std::string::npos) << line;
  EXPECT_EQ(std::count(line.begin(), line.end(), '.'), 2) << line;
}

TEST(OrnivelDlTransferTest, ASongThatDoesNotArriveWholeIsNotKeptAndTheOthersAre) {
  const std::string cut = test::RecordIdentifier(2);
  const std::string missing = test::RecordIdentifier(3);
  const LoopbackMusicService service(4, [&](const std::string& identifier) {
    const std::string song = LoopbackMusicService::Song(identifier);
    if (identifier == cut) {  // a length announced, a third of it sent
      return test::RawReply{"HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(song.size()) +
                            "\r\nConnection: close\r\n\r\n" + song.substr(0, song.size() / 3)};
    }
    if (identifier == missing) return LoopbackMusicService::Reply("gone", "404 Not Found");
    return LoopbackMusicService::Reply(song);
  });
  const fs::path save = test::FreshTestFolder("ornivel-dl-cut");
  const ChildRun run = Dl({"--service", service.host(), "download", "--search", "x", "--all",
                           "--to", test::PathUtf8(save)});
  EXPECT_EQ(run.exitCode, 1);
  // The cut song is tried three times, each next try said as it starts; the missing one once.
  const std::vector<std::string> errors = OutputLines(run.err);
  ASSERT_EQ(errors.size(), 4u) << run.err;
  const std::string name2 = test::RecordIdentifier(2) + ")：";
  EXPECT_NE(errors[0].find(name2 + "下载失败，重试中 (2/3)"), std::string::npos) << errors[0];
  EXPECT_NE(errors[1].find(name2 + "下载失败，重试中 (3/3)"), std::string::npos) << errors[1];
  EXPECT_NE(errors[2].find(name2 + "下载失败：歌曲没有下载完整（"), std::string::npos) << errors[2];
  EXPECT_NE(errors[3].find(test::RecordIdentifier(3) + ")：下载失败：服务器错误 404（"),
            std::string::npos)
      << errors[3];
  std::vector<fs::path> expected;
  for (int n : {1, 4}) {
    const fs::path file =
        save / Utf8Path(test::RecordSinger(n) + " - " + test::RecordSongName(n) + ".mp3");
    EXPECT_TRUE(test::Holds(file, LoopbackMusicService::Song(test::RecordIdentifier(n))));
    expected.push_back(file.filename());
  }
  // No partial song and no temporary file stays behind.
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(FilesIn(save), expected);
  fs::remove_all(save);
}

// A search record as the service writes it, each field given (UTF-8).
std::string Record(const std::string& rid, const std::string& name, const std::string& album,
                   const std::string& singer) {
  return "{'rid':'" + rid + "','songName':'" + name + "','album':'" + album + "','artist':'" +
         singer + "'},";
}

TEST(OrnivelDlHostileTextTest, NoControlCharacterOfTheServiceReachesATerminalOrARequest) {
  LoopbackMusicService service(0);
  service.SetSearchReply(test::OneLineSearchReply(
      Record("MUSIC_1", "Song1", "Al\abum\x1B[2J", "Singer") +
          Record("MUSIC_2\x1B[2J", "Song2", "A", "Singer") +
          Record("MUSIC_3", "Song3", "A", "Singer") + Record("MUSIC_4", "Song4", "A", "Singer"),
      4));
  service.SetPath("MUSIC_3", "x\ny");  // a line break in the file's path: no address
  const auto hostile = [](const std::string& text) {
    return text.find_first_of("\x07\x1B") != std::string::npos;
  };

  ChildRun run = Dl({"--service", service.host(), "search", "x"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_FALSE(hostile(run.out)) << run.out;
  EXPECT_NE(run.out.find("Al bum [2J"), std::string::npos) << run.out;
  run = Dl({"--service", service.host(), "search", "x", "--json"});
  EXPECT_NE(run.out.find("\"album\":\"Al\\u0007bum\\u001b[2J\""), std::string::npos) << run.out;
  EXPECT_FALSE(hostile(run.out)) << run.out;

  const fs::path save = test::FreshTestFolder("ornivel-dl-hostile");
  run = Dl({"--service", service.host(), "download", "--search", "x", "--all", "--to",
            test::PathUtf8(save)});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_FALSE(hostile(run.err)) << run.err;
  const std::vector<std::string> errors = OutputLines(run.err);
  ASSERT_EQ(errors.size(), 2u) << run.err;
  EXPECT_NE(errors[0].find("(MUSIC_2?[2J)：下载失败：无法建立文件名（标识不能用作文件名）"),
            std::string::npos)
      << errors[0];
  EXPECT_NE(errors[1].find("(MUSIC_3)：获取地址失败"), std::string::npos) << errors[1];
  EXPECT_EQ(FilesIn(save), (std::vector<fs::path>{"Singer - Song1.mp3", "Singer - Song4.mp3"}));
  // An identifier that cannot be saved is not even looked up.
  for (const std::string& request : service.requests()) {
    EXPECT_EQ(request.find("MUSIC_2"), std::string::npos) << request;
  }
  run = Dl({"--service", service.host(), "url", "MUSIC_3", "MUSIC_4", "a#b", "a b"});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(OutputLines(run.out).size(), 1u) << run.out;
  EXPECT_EQ(OutputLines(run.err).size(), 3u) << run.err;
  fs::remove_all(save);
}

TEST(OrnivelDlStreamsTest, AGoneReaderStopsTheRunAndABadInputLineFailsAlone) {
  const LoopbackMusicService service(5);
  const fs::path save = test::FreshTestFolder("ornivel-dl-streams");
  test::ChildOptions closed;
  closed.closeOut = true;
  // One song at a time: the song whose path could not be told is saved, and at most the one
  // already on its way after it; of five, no more.
  ChildRun run = Dl({"--service", service.host(), "download", "--search", "x", "--all", "--to",
                     test::PathUtf8(save), "-j", "1"},
                    closed);
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_NE(run.err.find("标准输出已关闭"), std::string::npos) << run.err;
  EXPECT_GE(FilesIn(save).size(), 1u);
  EXPECT_LE(FilesIn(save).size(), 2u);

  fs::remove_all(save);
  fs::create_directories(save);
  test::ChildOptions input;
  input.input = "\xEF\xBB\xBF" + test::RecordIdentifier(1) + "\r\nBj\xC3\xB6rk\n" +
                test::RecordIdentifier(2) + "\n";
  run = Dl({"--service", service.host(), "download", "-", "--to", test::PathUtf8(save)}, input);
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(OutputLines(run.err),
            std::vector<std::string>{"ornivel-dl: Bj\xC3\xB6rk：标识中有 GBK 无法表示的字符"});
  EXPECT_EQ(FilesIn(save), (std::vector<fs::path>{test::RecordIdentifier(1) + ".mp3",
                                                  test::RecordIdentifier(2) + ".mp3"}));
  fs::remove_all(save);
}

TEST(OrnivelDlSilentServiceTest, AServiceThatNeverAnswersFailsAfterTheRequestTimeOut) {
  test::RawHttpServer silent([](const std::string&) {
    test::RawReply reply;
    reply.holdOpen = true;  // read the request, answer nothing
    return reply;
  });
  const ChildRun run =
      Dl({"--service", "127.0.0.1:" + std::to_string(silent.port()), "search", "x"});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.err.rfind("ornivel-dl: 搜索失败：", 0), 0u) << run.err;
  EXPECT_GE(run.elapsed, std::chrono::seconds(25));
  EXPECT_LT(run.elapsed, std::chrono::seconds(45));
  EXPECT_EQ(silent.requests().size(), 1u);
}

TEST(OrnivelDlManySongsTest, SearchAllSavesEveryOneOfFiveHundredSongs) {
  const LoopbackMusicService service(500);
  const fs::path save = test::FreshTestFolder("ornivel-dl-500");
  test::ChildOptions options;
  options.limit = std::chrono::seconds(170);
  const ChildRun run = Dl({"--service", service.host(), "download", "--search", "x", "--all",
                           "--to", test::PathUtf8(save)},
                          options);
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.err, "");
  const std::vector<std::string> lines = OutputLines(run.out);
  ASSERT_EQ(lines.size(), 500u);
  for (int n = 1; n <= 500; ++n) {
    const fs::path file =
        save / Utf8Path(test::RecordSinger(n) + " - " + test::RecordSongName(n) + ".mp3");
    ASSERT_EQ(lines[n - 1], test::PathUtf8(file));
    ASSERT_TRUE(test::Holds(file, LoopbackMusicService::Song(test::RecordIdentifier(n))));
  }
  EXPECT_EQ(FilesIn(save).size(), 500u);
  fs::remove_all(save);
}

TEST(OrnivelDlManySongsTest, EightAtOnceTellTheirPathsInTheInputOrderWhateverEndsFirst) {
  // The first songs are the slowest: with eight at once they end after later ones.
  std::atomic<int> running{0};
  std::atomic<int> most{0};
  const LoopbackMusicService service(40, [&](const std::string& identifier) {
    const int now = ++running;
    int seen = most.load();
    while (now > seen && !most.compare_exchange_weak(seen, now)) {
    }
    const int n = std::stoi(identifier.substr(identifier.find_first_of("0123456789"))) % 100;
    test::RawReply reply = LoopbackMusicService::WholeSong(identifier);
    reply.delay = std::chrono::milliseconds(n <= 8 ? 400 - 40 * n : 0);
    std::this_thread::sleep_for(reply.delay);
    reply.delay = {};
    --running;
    return reply;
  });
  const fs::path save = test::FreshTestFolder("ornivel-dl-jobs");
  const ChildRun run = Dl({"--service", service.host(), "download", "--search", "x", "--all",
                           "--to", test::PathUtf8(save), "-j8"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.err, "");
  const std::vector<std::string> lines = OutputLines(run.out);
  ASSERT_EQ(lines.size(), 40u) << run.out;
  for (int n = 1; n <= 40; ++n) {
    const fs::path file =
        save / Utf8Path(test::RecordSinger(n) + " - " + test::RecordSongName(n) + ".mp3");
    EXPECT_EQ(lines[n - 1], test::PathUtf8(file)) << n;
    EXPECT_TRUE(test::Holds(file, LoopbackMusicService::Song(test::RecordIdentifier(n))));
  }
  EXPECT_EQ(FilesIn(save).size(), 40u);  // each once, no numbered copy, no partial file
  EXPECT_GT(most.load(), 1);             // they did go at once
  EXPECT_LE(most.load(), 8);
  fs::remove_all(save);
}

TEST(OrnivelDlManySongsTest, ASongGivenTwiceIsSavedOnceAtOnceAsOneAfterTheOther) {
  const LoopbackMusicService service(3);
  const fs::path save = test::FreshTestFolder("ornivel-dl-twice");
  const std::string id = test::RecordIdentifier(2);
  const ChildRun run = Dl({"--service", service.host(), "download", id, test::RecordIdentifier(1),
                           id, id, "--to", test::PathUtf8(save), "-j", "4"});
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(
      OutputLines(run.out),
      (std::vector<std::string>{test::PathUtf8(save / (id + ".mp3")),
                                test::PathUtf8(save / (test::RecordIdentifier(1) + ".mp3"))}));
  const std::vector<std::string> skipped = OutputLines(run.err);
  EXPECT_EQ(skipped.size(), 2u) << run.err;
  for (const std::string& line : skipped) {
    EXPECT_NE(line.find("文件已经存在，跳过"), std::string::npos) << line;
  }
  EXPECT_EQ(FilesIn(save).size(), 2u);  // no numbered copy without --again
  fs::remove_all(save);
}

TEST(OrnivelDlPipelineTest, SearchJsonLinesPipedToDownloadKeepTheSearchsNames) {
  const LoopbackMusicService service(6);
  const ChildRun search = Dl({"--service", service.host(), "search", "x", "--json"});
  ASSERT_EQ(search.exitCode, 0) << search.err;
  const std::vector<std::string> found = OutputLines(search.out);
  ASSERT_EQ(found.size(), 6u);
  // Five lines as the search wrote them (the third one dropped, as a filter would) and a plain
  // identifier among them.
  test::ChildOptions input;
  for (std::size_t i = 0; i < found.size(); ++i) {
    if (i != 2) input.input += found[i] + "\n";
  }
  input.input += test::RecordIdentifier(3) + "\n";
  const fs::path save = test::FreshTestFolder("ornivel-dl-pipeline");
  const ChildRun run =
      Dl({"--service", service.host(), "download", "-", "--to", test::PathUtf8(save)}, input);
  ASSERT_EQ(run.exitCode, 0) << run.err;
  std::vector<std::string> expected;
  for (int n : {1, 2, 4, 5, 6}) {
    const fs::path file =
        save / Utf8Path(test::RecordSinger(n) + " - " + test::RecordSongName(n) + ".mp3");
    EXPECT_TRUE(test::Holds(file, LoopbackMusicService::Song(test::RecordIdentifier(n))));
    expected.push_back(test::PathUtf8(file));
  }
  const fs::path plain = save / (test::RecordIdentifier(3) + ".mp3");
  EXPECT_TRUE(test::Holds(plain, LoopbackMusicService::Song(test::RecordIdentifier(3))));
  expected.push_back(test::PathUtf8(plain));
  EXPECT_EQ(OutputLines(run.out), expected);

  // The same songs by a search and a download in one: the same names.
  const fs::path again = test::FreshTestFolder("ornivel-dl-pipeline-search");
  ASSERT_EQ(Dl({"--service", service.host(), "download", "--search", "x", "--all", "--to",
                test::PathUtf8(again)})
                .exitCode,
            0);
  std::vector<fs::path> names = FilesIn(save);
  names.erase(std::remove(names.begin(), names.end(), plain.filename()), names.end());
  std::vector<fs::path> searched = FilesIn(again);
  searched.erase(
      std::remove(searched.begin(), searched.end(),
                  Utf8Path(test::RecordSinger(3) + " - " + test::RecordSongName(3) + ".mp3")),
      searched.end());
  EXPECT_EQ(names, searched);
  fs::remove_all(save);
  fs::remove_all(again);
}

}  // namespace
}  // namespace ornivel
