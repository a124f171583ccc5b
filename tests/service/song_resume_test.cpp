// SaveSong over the platform's transfer (libcurl on Linux, WinINet on Windows) against file
// servers that misbehave on purpose, the same tests on both: answers that are no song, statuses
// worth a second try, transfers that break off and go on with Range and If-Range, servers that
// cannot give the rest, a trickle, a stop; and the partial files a later try finds.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "service/part_file.h"
#include "service/song_download.h"
#include "tests/support/gbk.h"
#include "tests/support/gbk_path.h"
#include "tests/support/song_bytes.h"
#include "tests/support/song_server.h"
#include "tests/support/temp_dir.h"
#include "text/ascii.h"

namespace ornivel {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using test::SongReply;
using test::SongServer;

constexpr char kTag[] = "\"5f3-1a2b\"";

// Tries that do not keep a test waiting.
SaveRules QuickRules(int tries = kDownloadTries) {
  SaveRules rules;
  rules.tries = tries;
  rules.firstRetryWait = 10ms;
  return rules;
}

// A header's value in a request as received; nullopt when it is not there.
std::optional<std::string> HeaderOf(const std::string& request, std::string_view name) {
  std::size_t at = request.find("\r\n");
  while (at != std::string::npos && at + 2 < request.size()) {
    const std::size_t end = request.find("\r\n", at + 2);
    const std::string_view line(request.data() + at + 2,
                                (end == std::string::npos ? request.size() : end) - at - 2);
    const auto colon = line.find(':');
    if (colon != std::string_view::npos && AsciiEqualIgnoringCase(line.substr(0, colon), name)) {
      std::string_view value = line.substr(colon + 1);
      while (!value.empty() && value.front() == ' ') value.remove_prefix(1);
      return std::string(value);
    }
    at = end;
  }
  return std::nullopt;
}

constexpr std::size_t kNoRange = std::string::npos;

// The first byte a Range header asks for ("bytes=N-"); kNoRange without one.
std::size_t RangeStart(const std::string& request) {
  const auto range = HeaderOf(request, "Range");
  if (!range || !range->starts_with("bytes=") || !range->ends_with("-")) return kNoRange;
  return static_cast<std::size_t>(std::stoull(range->substr(6)));
}

std::string SongHead(const std::string& status, std::size_t length, const std::string& extra) {
  return "HTTP/1.1 " + status +
         "\r\nContent-Type: audio/mpeg\r\nContent-Length: " + std::to_string(length) + "\r\n" +
         extra + "\r\n";
}

// The whole song with its validator, in uneven pieces; only its first `sent` bytes when given
// (the connection then ends short of the length announced).
SongReply Whole(const std::string& song, std::size_t sent = std::string::npos,
                const std::string& validators = std::string("ETag: ") + kTag + "\r\n") {
  SongReply reply;
  reply.head = SongHead("200 OK", song.size(), validators);
  reply.body = song.substr(0, sent);
  reply.pieces = test::UnevenPieces(reply.body.size(), 3);
  return reply;
}

// From byte `from` on, as a 206 names it (or as `contentRange` names it).
SongReply Rest(const std::string& song, std::size_t from, std::string contentRange = {},
               const std::string& tag = kTag) {
  if (contentRange.empty()) {
    contentRange = "bytes " + std::to_string(from) + "-" + std::to_string(song.size() - 1) + "/" +
                   std::to_string(song.size());
  }
  SongReply reply;
  reply.head = SongHead("206 Partial Content", song.size() - from,
                        "Content-Range: " + contentRange + "\r\nETag: " + tag + "\r\n");
  reply.body = song.substr(from);
  reply.pieces = test::UnevenPieces(reply.body.size(), 5);
  return reply;
}

SongReply Page(const std::string& status, const std::string& headers, const std::string& body) {
  SongReply reply;
  reply.head = "HTTP/1.1 " + status + "\r\n" + headers +
               "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n";
  reply.body = body;
  return reply;
}

class SongResumeTest : public ::testing::Test {
 protected:
  void SetUp() override { folder_ = test::FreshTestFolder("song-resume"); }
  void TearDown() override { fs::remove_all(folder_); }

  SaveResult Save(const std::string& address, const SaveRules& rules = QuickRules(),
                  const SaveEvents& events = {}) {
    return SaveSong(address, {"MUSIC_1", test::Gbk("周杰伦"), test::Gbk("晴天"), false},
                    test::GbkPath(folder_), events, rules);
  }

  std::set<std::string> FileNames() const {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder_)) {
      names.insert(test::PathUtf8(entry.path().filename()));
    }
    return names;
  }

  fs::path Saved() const { return folder_ / test::Utf8Path("周杰伦 - 晴天.mp3"); }

  fs::path folder_;
  const std::string song_ = test::RandomBytes((3 << 20) + 4321, 41);
};

TEST_F(SongResumeTest, AnswersThatAreNoSongSaveNothingLeaveNoPartAndAreNotTriedAgain) {
  struct Case {
    const char* what;
    SongReply reply;
    SaveOutcome outcome;
    int status;
  };
  const std::string song = song_;
  const std::vector<Case> cases = {
      {"an HTML page", Page("200 OK", "Content-Type: text/html\r\n", "<html>404</html>"),
       SaveOutcome::kNotASong, 200},
      {"an XML error",
       Page("200 OK", "Content-Type: application/xml\r\n",
            "<?xml version=\"1.0\"?><Error><Code>AccessDenied</Code></Error>"),
       SaveOutcome::kNotASong, 200},
      {"a +xml type",
       Page("200 OK", "Content-Type: Application/Problem+XML; charset=utf-8\r\n",
            std::string(1000, 'x')),
       SaveOutcome::kNotASong, 200},
      {"JSON", Page("200 OK", "Content-Type: application/json\r\n", "[1]"), SaveOutcome::kNotASong,
       200},
      {"a page called a song",
       Page("200 OK", "Content-Type: audio/mpeg\r\n", " \r\n\t<!DOCTYPE html><p>login</p>"),
       SaveOutcome::kNotASong, 200},
      {"a JSON body untyped", Page("200 OK", "", "{\"error\":\"quota\"}"), SaveOutcome::kNotASong,
       200},
      {"blanks alone", Page("200 OK", "Content-Type: audio/mpeg\r\n", "  \r\n"),
       SaveOutcome::kNotASong, 200},
      {"an empty body", Page("200 OK", "Content-Type: audio/mpeg\r\n", ""), SaveOutcome::kNotASong,
       200},
      {"a gzip body",
       Page("200 OK", "Content-Type: audio/mpeg\r\nContent-Encoding: gzip\r\n",
            song.substr(0, 5000)),
       SaveOutcome::kNotASong, 200},
      {"a part to a plain request",
       Page("206 Partial Content",
            "Content-Type: audio/mpeg\r\nContent-Range: bytes 0-999/16690\r\n",
            song.substr(0, 1000)),
       SaveOutcome::kServerError, 206},
      {"404", Page("404 Not Found", "Content-Type: audio/mpeg\r\n", song.substr(0, 3000)),
       SaveOutcome::kServerError, 404},
      {"403", Page("403 Forbidden", "", ""), SaveOutcome::kServerError, 403},
  };
  for (const Case& c : cases) {
    SongServer server([&](const std::string&) { return c.reply; });
    const SaveResult result = Save(server.url("/resource/a.mp3"));
    EXPECT_EQ(result.outcome, c.outcome) << c.what;
    EXPECT_EQ(result.status, c.status) << c.what;
    EXPECT_EQ(server.requests().size(), 1u) << c.what;
    EXPECT_FALSE(result.kept) << c.what;
    EXPECT_TRUE(FileNames().empty()) << c.what;
  }
}

TEST_F(SongResumeTest, ARedirectToALoginPageIsNoSong) {
  SongServer server([&](const std::string& request) {
    if (request.starts_with("GET /login")) {
      return Page("200 OK", "Content-Type: text/html; charset=utf-8\r\n",
                  "<html><form>Wi-Fi login</form></html>");
    }
    return Page("302 Found", "Location: /login?from=song\r\n", "");
  });
  EXPECT_EQ(Save(server.url("/resource/a.mp3")).outcome, SaveOutcome::kNotASong);
  EXPECT_EQ(server.requests().size(), 2u);
  EXPECT_TRUE(FileNames().empty());
}

TEST_F(SongResumeTest, StatusesASecondTryMayMendAreTriedAgainAfterTheirWaits) {
  std::atomic<int> answered{0};
  SongServer server([&](const std::string&) {
    return ++answered <= 2 ? Page("503 Service Unavailable", "", "busy") : Whole(song_);
  });
  std::vector<std::pair<int, std::chrono::milliseconds>> retries;
  SaveEvents events;
  events.retrying = [&](int next, int tries, std::chrono::milliseconds wait) {
    EXPECT_EQ(tries, 3);
    retries.emplace_back(next, wait);
  };
  const SaveResult result = Save(server.url("/resource/a.mp3"), QuickRules(), events);
  EXPECT_EQ(result.outcome, SaveOutcome::kSaved);
  EXPECT_EQ(result.tries, 3);
  EXPECT_EQ(server.requests().size(), 3u);
  EXPECT_EQ(retries,
            (std::vector<std::pair<int, std::chrono::milliseconds>>{{2, 10ms}, {3, 20ms}}));
  EXPECT_TRUE(test::Holds(Saved(), song_));
  EXPECT_EQ(FileNames(), std::set<std::string>{"周杰伦 - 晴天.mp3"});

  // Many tries: the doubled wait stops at the longest one (and never overflows).
  {
    SongServer down([&](const std::string&) { return Page("502 Bad Gateway", "", ""); });
    SaveRules many = QuickRules(40);
    many.firstRetryWait = 1ms;
    many.longestRetryAfter = 8ms;
    std::chrono::milliseconds longest{0};
    SaveEvents waits;
    waits.retrying = [&](int, int, std::chrono::milliseconds wait) {
      longest = std::max(longest, wait);
    };
    const SaveResult failed = Save(down.url("/resource/a.mp3"), many, waits);
    EXPECT_EQ(failed.outcome, SaveOutcome::kServerError);
    EXPECT_EQ(failed.status, 502);
    EXPECT_EQ(down.requests().size(), 40u);
    EXPECT_EQ(longest, 8ms);
  }

  // A Retry-After is waited for; one longer than the longest wait ends the tries at once.
  for (const auto& [seconds, requests] : {std::pair{"1", 2u}, std::pair{"120", 1u}}) {
    const std::string after = seconds;
    fs::remove(Saved());
    std::atomic<int> count{0};
    SongServer busy([&](const std::string&) {
      return ++count == 1
                 ? Page("429 Too Many Requests", std::string("Retry-After: ") + after + "\r\n", "")
                 : Whole(song_);
    });
    retries.clear();
    const SaveResult again = Save(busy.url("/resource/a.mp3"), QuickRules(), events);
    EXPECT_EQ(busy.requests().size(), requests) << after;
    if (requests == 2u) {
      EXPECT_EQ(again.outcome, SaveOutcome::kSaved);
      EXPECT_EQ(retries, (std::vector<std::pair<int, std::chrono::milliseconds>>{{2, 1000ms}}));
    } else {
      EXPECT_EQ(again.outcome, SaveOutcome::kServerError);
      EXPECT_EQ(again.status, 429);
      EXPECT_TRUE(retries.empty());
    }
  }
}

TEST_F(SongResumeTest, ACutSongGoesOnWithRangeAndIfRangeAndEndsByteForByte) {
  const std::size_t half = song_.size() / 2 + 17;
  std::atomic<std::size_t> sent{0};
  SongServer server([&](const std::string& request) {
    const std::size_t from = RangeStart(request);
    const SongReply reply = from == kNoRange ? Whole(song_, half) : Rest(song_, from);
    sent += reply.body.size();
    return reply;
  });
  const SaveResult result = Save(server.url("/resource/a.mp3"));
  EXPECT_EQ(result.outcome, SaveOutcome::kSaved);
  EXPECT_TRUE(test::Holds(Saved(), song_));
  EXPECT_EQ(FileNames(), std::set<std::string>{"周杰伦 - 晴天.mp3"});
  const std::vector<std::string> requests = server.requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(HeaderOf(requests[0], "Range"), std::nullopt);
  EXPECT_EQ(HeaderOf(requests[0], "Accept-Encoding"), "identity");
  EXPECT_EQ(HeaderOf(requests[1], "Range"), "bytes=" + std::to_string(half) + "-");
  EXPECT_EQ(HeaderOf(requests[1], "If-Range"), kTag);
  EXPECT_EQ(sent.load(), song_.size());  // not a byte sent twice
}

TEST_F(SongResumeTest, ALaterDownloadGoesOnFromTheKeptPartWithTheDateWhenThereIsNoTag) {
  const std::string date = "Wed, 09 Dec 2026 10:00:00 GMT";
  const std::size_t cut = song_.size() / 3;
  std::atomic<bool> broken{true};
  SongServer server([&](const std::string& request) {
    const std::size_t from = RangeStart(request);
    if (from == kNoRange)
      return Whole(song_, broken ? cut : std::string::npos, "Last-Modified: " + date + "\r\n");
    SongReply reply = Rest(song_, from);
    reply.head = SongHead("206 Partial Content", song_.size() - from,
                          "Content-Range: bytes " + std::to_string(from) + "-" +
                              std::to_string(song_.size() - 1) + "/" +
                              std::to_string(song_.size()) + "\r\n");
    return reply;
  });
  const SaveResult first = Save(server.url("/resource/a.mp3"), QuickRules(1));
  EXPECT_EQ(first.outcome, SaveOutcome::kTransferFailed);
  EXPECT_TRUE(first.kept);
  EXPECT_EQ(FileNames(), (std::set<std::string>{"MUSIC_1.1.part", "MUSIC_1.1.part.resume"}));
  EXPECT_EQ(fs::file_size(folder_ / "MUSIC_1.1.part"), cut);

  broken = false;
  const SaveResult second = Save(server.url("/resource/a.mp3"), QuickRules(1));
  EXPECT_EQ(second.outcome, SaveOutcome::kSaved);
  EXPECT_TRUE(test::Holds(Saved(), song_));
  EXPECT_EQ(FileNames(), std::set<std::string>{"周杰伦 - 晴天.mp3"});
  const std::vector<std::string> requests = server.requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(HeaderOf(requests[1], "Range"), "bytes=" + std::to_string(cut) + "-");
  EXPECT_EQ(HeaderOf(requests[1], "If-Range"), date);

  // Another address of the same song finds nothing it can go on from: the part it left is
  // removed when the next download of the song starts, and a part without a record is not
  // touched.
  broken = true;
  EXPECT_TRUE(Save(server.url("/resource/a.mp3"), QuickRules(1)).kept);
  std::ofstream(folder_ / "MUSIC_1.7.part") << "not ours";
  fs::remove(Saved());
  broken = false;
  EXPECT_EQ(Save(server.url("/resource/b.mp3"), QuickRules(1)).outcome, SaveOutcome::kSaved);
  EXPECT_EQ(FileNames(), (std::set<std::string>{"MUSIC_1.7.part", "周杰伦 - 晴天.mp3"}));
}

TEST_F(SongResumeTest, WhenTheRestCannotBeHadTheSongStartsOverWithoutDoubledBytes) {
  struct Case {
    const char* what;
    std::function<SongReply(std::size_t from)> rest;
    std::size_t requests;  // the cut one, the resume, and a plain one when it starts over
  };
  const std::size_t size = song_.size();
  const std::vector<Case> cases = {
      {"Range ignored", [&](std::size_t) { return Whole(song_); }, 2},
      {"a range from 0",
       [&](std::size_t from) {
         return Rest(song_, from,
                     "bytes 0-" + std::to_string(size - 1) + "/" + std::to_string(size));
       },
       3},
      {"another total",
       [&](std::size_t from) {
         return Rest(song_, from,
                     "bytes " + std::to_string(from) + "-" + std::to_string(size) + "/" +
                         std::to_string(size + 1));
       },
       3},
      {"a changed ETag", [&](std::size_t from) { return Rest(song_, from, {}, "\"other\""); }, 3},
      {"416", [&](std::size_t) { return Page("416 Range Not Satisfiable", "", ""); }, 3},
  };
  for (const Case& c : cases) {
    fs::remove_all(folder_);
    fs::create_directories(folder_);
    std::atomic<int> plain{0};
    SongServer server([&](const std::string& request) {
      const std::size_t from = RangeStart(request);
      if (from != kNoRange) return c.rest(from);
      return ++plain == 1 ? Whole(song_, size / 2) : Whole(song_);
    });
    const SaveResult result = Save(server.url("/resource/a.mp3"));
    EXPECT_EQ(result.outcome, SaveOutcome::kSaved) << c.what;
    EXPECT_TRUE(test::Holds(Saved(), song_)) << c.what;
    EXPECT_EQ(server.requests().size(), c.requests) << c.what;
    EXPECT_EQ(FileNames(), std::set<std::string>{"周杰伦 - 晴天.mp3"}) << c.what;
  }
}

TEST_F(SongResumeTest, ATrickleGivesUpWhileASlowSongThatMovesArrives) {
  SaveRules rules = QuickRules(1);
  rules.lowSpeedBytes = 1024;
  rules.lowSpeedWindow = 1s;
  // 200 bytes every 300 ms: under 1 KiB/s from the start.
  SongServer trickle([&](const std::string&) {
    SongReply reply = Whole(song_);
    reply.pieces.assign(song_.size() / 200, 200);
    reply.pause = 300ms;
    return reply;
  });
  const auto start = std::chrono::steady_clock::now();
  const SaveResult stalled = Save(trickle.url("/resource/a.mp3"), rules);
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(stalled.outcome, SaveOutcome::kTransferFailed);
  EXPECT_LT(took, 20s);  // given up on, not waited out (the whole would take 80 minutes)
  // What arrived is kept for a later try.
  EXPECT_TRUE(stalled.kept);

  // 48 KiB/s for about two seconds, past several windows: never cut off.
  fs::remove_all(folder_);
  fs::create_directories(folder_);
  const std::string small = song_.substr(0, 96 << 10);
  SongServer slow([&](const std::string&) {
    SongReply reply = Whole(small);
    reply.pieces.assign(small.size() / 4096, 4096);
    reply.pause = 80ms;
    return reply;
  });
  EXPECT_EQ(Save(slow.url("/resource/a.mp3"), rules).outcome, SaveOutcome::kSaved);
  EXPECT_TRUE(test::Holds(Saved(), small));
}

TEST_F(SongResumeTest, AStoppedSaveKeepsItsPartAndALaterOneEndsIt) {
  std::atomic<bool> stop{false};
  SaveRules rules = QuickRules();
  rules.stop = &stop;
  SongServer server([&](const std::string& request) {
    const std::size_t from = RangeStart(request);
    SongReply reply = from == kNoRange ? Whole(song_) : Rest(song_, from);
    reply.pause = 100ms;
    return reply;
  });
  SaveEvents events;
  events.progress = [&](std::int64_t received, std::int64_t) {
    if (received > 0) stop = true;
  };
  const SaveResult stopped = Save(server.url("/resource/a.mp3"), rules, events);
  EXPECT_EQ(stopped.outcome, SaveOutcome::kInterrupted);
  EXPECT_TRUE(stopped.kept);
  EXPECT_EQ(server.requests().size(), 1u);  // no retry after a stop
  EXPECT_EQ(FileNames(), (std::set<std::string>{"MUSIC_1.1.part", "MUSIC_1.1.part.resume"}));
  const auto held = fs::file_size(folder_ / "MUSIC_1.1.part");
  EXPECT_GT(held, 0u);

  stop = false;
  const SaveResult resumed = Save(server.url("/resource/a.mp3"), rules);
  EXPECT_EQ(resumed.outcome, SaveOutcome::kSaved);
  EXPECT_TRUE(test::Holds(Saved(), song_));
  EXPECT_EQ(HeaderOf(server.requests().back(), "Range"), "bytes=" + std::to_string(held) + "-");
}

TEST(PartFileTest, RecordsReadBackAndOnlyLeftoversNothingCanUseAreRemoved) {
  const ResumeRecord record{"http://a.test/" + test::Gbk("晴天") + ".mp3", 123456789012, "\"abc\"",
                            "Wed, 09 Dec 2026 10:00:00 GMT"};
  const auto read = ReadResumeRecord(ResumeRecordText(record));
  ASSERT_TRUE(read);
  EXPECT_EQ(read->address, record.address);
  EXPECT_EQ(read->length, record.length);
  EXPECT_EQ(read->etag, record.etag);
  EXPECT_EQ(read->lastModified, record.lastModified);
  EXPECT_EQ(record.Validator(), "\"abc\"");
  EXPECT_EQ((ResumeRecord{"x", 1, "W/\"weak\"", "date"}).Validator(), "date");
  EXPECT_EQ((ResumeRecord{"x", 1, "W/\"weak\"", ""}).Validator(), "");
  for (const char* text : {"", "ornivel-resume 2\naddress x\n", "address x\nlength 1\n",
                           "ornivel-resume 1\nlength twelve\n"}) {
    EXPECT_FALSE(ReadResumeRecord(text)) << text;
  }

  const fs::path folder = test::FreshTestFolder("part-file");
  const std::string gbkFolder = test::GbkPath(folder);
  const auto leftover = [&](int number, const std::string& address) {
    const fs::path part = folder / ("MUSIC_9." + std::to_string(number) + ".part");
    std::ofstream(part, std::ios::binary) << "bytes of " << number;
    std::ofstream(folder / (part.filename().string() + ".resume"), std::ios::binary)
        << ResumeRecordText({address, 1000, kTag, ""});
  };
  leftover(1, "http://a.test/other.mp3");
  leftover(2, "http://a.test/song.mp3");
  std::ofstream(folder / "MUSIC_9.3.part") << "whose?";
  std::ofstream(folder / "MUSIC_90.1.part") << "another song";

  {
    std::optional<HeldPart> held = TakePartFile(gbkFolder, "MUSIC_9", "http://a.test/song.mp3");
    ASSERT_TRUE(held);
    EXPECT_EQ(held->path, JoinPath(gbkFolder, "MUSIC_9.2.part"));
    EXPECT_EQ(held->file->Size(), 10);  // "bytes of 2", kept to go on from
    EXPECT_EQ(held->record.length, 1000);
    EXPECT_FALSE(fs::exists(folder / "MUSIC_9.1.part"));  // another address's
    EXPECT_FALSE(fs::exists(folder / "MUSIC_9.1.part.resume"));
    EXPECT_TRUE(fs::exists(folder / "MUSIC_9.3.part"));  // no record: not known to be ours
    EXPECT_TRUE(fs::exists(folder / "MUSIC_90.1.part"));

    // Held: a second download of the song meanwhile gets a file of its own.
    std::optional<HeldPart> second = TakePartFile(gbkFolder, "MUSIC_9", "http://a.test/song.mp3");
    ASSERT_TRUE(second);
    EXPECT_NE(second->path, held->path);
    EXPECT_EQ(second->file->Size(), 0);
    DropPart(*second);
    KeepPart(*held);
  }
  // A week later the kept part is too old to trust, and goes.
  const auto later = std::chrono::system_clock::now() + kPartFileLifetime + 1h;
  std::optional<HeldPart> fresh =
      TakePartFile(gbkFolder, "MUSIC_9", "http://a.test/song.mp3", later);
  ASSERT_TRUE(fresh);
  EXPECT_EQ(fresh->file->Size(), 0);
  EXPECT_FALSE(fs::exists(folder / "MUSIC_9.2.part.resume"));
  DropPart(*fresh);
  std::set<std::string> left;
  for (const auto& entry : fs::directory_iterator(folder)) {
    left.insert(entry.path().filename().string());
  }
  EXPECT_EQ(left, (std::set<std::string>{"MUSIC_9.3.part", "MUSIC_90.1.part"}));
  fs::remove_all(folder);
}

}  // namespace
}  // namespace ornivel
