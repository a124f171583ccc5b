#include <gtest/gtest.h>
#include <httplib.h>

#include <filesystem>
#include <fstream>

#include "catalog/catalog_replies.h"
#include "catalog/library.h"
#include "tests/catalog/music_folder.h"
#include "tests/support/catalog_process.h"
#include "tests/support/mp3_files.h"
#include "tests/support/temp_dir.h"

namespace ornivel::catalog {
namespace {

namespace fs = std::filesystem;
using test::TagStyle;
using test::WriteMp3;

using CatalogTest = MusicFolderTest;

TEST_F(CatalogTest, ReadsUnicodeTagsGbkInLatin1FieldsAndFileNames) {
  WriteMp3(root_ / "a/unicode.mp3", TagStyle::kId3v2Unicode, "告白气球", "周杰伦", "床边故事");
  // "十年" and "陈奕迅" in GBK, marked Latin-1.
  WriteMp3(root_ / "b/gbk-v2.mp3", TagStyle::kId3v2Latin1, "\xCA\xAE\xC4\xEA",
           "\xB3\xC2\xDE\xC8\xD1\xB8", "");
  WriteMp3(root_ / "b/gbk-v1.mp3", TagStyle::kId3v1, "\xBA\xEC\xB6\xB9", "\xCD\xF5\xB7\xC6", "");
  // Real Latin-1: "Café" is no GBK text (é alone is no double-byte character).
  WriteMp3(root_ / "c/latin1.mp3", TagStyle::kId3v2Latin1, "Caf\xE9", "Ed", "");
  WriteMp3(root_ / "d/林俊杰 - 江南.mp3", TagStyle::kNone, "", "", "");
  const Library library = Library::Scan(root_);
  ASSERT_EQ(library.songs().size(), 5u);
  const auto& songs = library.songs();  // in path order
  EXPECT_EQ(songs[0].relativePath, "a/unicode.mp3");
  EXPECT_EQ(songs[0].title, "告白气球");
  EXPECT_EQ(songs[0].singer, "周杰伦");
  EXPECT_EQ(songs[0].album, "床边故事");
  EXPECT_EQ(songs[1].title, "红豆");
  EXPECT_EQ(songs[1].singer, "王菲");
  EXPECT_EQ(songs[2].title, "十年");
  EXPECT_EQ(songs[2].singer, "陈奕迅");
  EXPECT_EQ(songs[3].title, "Café");
  EXPECT_EQ(songs[4].title, "江南");
  EXPECT_EQ(songs[4].singer, "林俊杰");
}

TEST_F(CatalogTest, IdentifiersAreStableAcrossScans) {
  WriteMp3(root_ / "x.mp3", TagStyle::kId3v2Unicode, "X", "Y", "Z");
  WriteMp3(root_ / "y.mp3", TagStyle::kId3v2Unicode, "X", "Y", "Z");
  const Library first = Library::Scan(root_);
  const Library second = Library::Scan(root_);
  ASSERT_EQ(first.songs().size(), 2u);
  EXPECT_EQ(first.songs()[0].identifier, second.songs()[0].identifier);
  EXPECT_NE(first.songs()[0].identifier, first.songs()[1].identifier);
  EXPECT_EQ(first.songs()[0].identifier, SongIdentifier("x.mp3"));
  EXPECT_EQ(first.songs()[0].identifier.rfind("MUSIC_", 0), 0u);
}

TEST_F(CatalogTest, SearchIgnoresCaseAndPagesWithA500Cap) {
  for (int i = 0; i < 620; ++i) {
    const std::string name = std::to_string(1000 + i) + ".mp3";
    WriteMp3(root_ / name, TagStyle::kId3v2Unicode, "Song " + std::to_string(i),
             i % 2 ? "Blue Band" : "Red Band", "Album", 1);
  }
  const Library library = Library::Scan(root_);
  auto records = [](const std::string& reply) {
    std::size_t n = 0;
    for (std::size_t at = reply.find("{'rid'"); at != std::string::npos;
         at = reply.find("{'rid'", at + 1))
      ++n;
    return n;
  };
  EXPECT_EQ(records(SearchReply(library, "bLUE", 1, 500)), 310u);
  EXPECT_EQ(records(SearchReply(library, "band", 1, 500)), 500u);
  EXPECT_EQ(records(SearchReply(library, "band", 2, 500)), 120u);
  EXPECT_EQ(records(SearchReply(library, "band", 1, 100000)), 500u);  // the cap
  EXPECT_EQ(records(SearchReply(library, "band", 3, 300)), 20u);
  EXPECT_EQ(records(SearchReply(library, "song 7", 1, 500)), 11u);  // 7, 70..79
  EXPECT_EQ(records(SearchReply(library, "nothing like it", 1, 500)), 0u);
  EXPECT_NE(SearchReply(library, "band", 1, 500).find("'TOTAL':'620'"), std::string::npos);
}

TEST(CatalogRepliesTest, QuotesAndLineBreaksCannotBreakARecord) {
  EXPECT_EQ(QuoteValue("Don't\r\nStop"), "Don’t  Stop");
  EXPECT_EQ(EncodePath("华/a b&c.mp3"), "%E5%8D%8E/a%20b%26c.mp3");
}

TEST(CatalogRepliesTest, RangesAreAPartTheWholeOrUnsatisfiable) {
  using Kind = ByteRange::Kind;
  struct Case {
    const char* header;
    std::uint64_t size;
    Kind kind;
    std::uint64_t first, length;
  } cases[] = {
      {"bytes=100-199", 1000, Kind::kPart, 100, 100},
      {"bytes=900-", 1000, Kind::kPart, 900, 100},
      {"bytes=900-5000", 1000, Kind::kPart, 900, 100},  // clipped to the end
      {"bytes=-300", 1000, Kind::kPart, 700, 300},
      {"bytes=-5000", 1000, Kind::kPart, 0, 1000},
      {"bytes=1000-", 1000, Kind::kUnsatisfiable, 0, 0},
      {"bytes=999999999-", 1000, Kind::kUnsatisfiable, 0, 0},
      {"bytes=-0", 1000, Kind::kUnsatisfiable, 0, 0},
      {"bytes=0-", 0, Kind::kUnsatisfiable, 0, 0},
      {"", 1000, Kind::kWhole, 0, 0},
      {"bytes=0-1,5-6", 1000, Kind::kWhole, 0, 0},  // several ranges: the whole file
      {"bytes=5-4", 1000, Kind::kWhole, 0, 0},
      {"bytes= 5-", 1000, Kind::kWhole, 0, 0},
      {"items=0-5", 1000, Kind::kWhole, 0, 0},
      {"bytes=99999999999999999999-", 1000, Kind::kWhole, 0, 0},
  };
  for (const Case& c : cases) {
    const ByteRange range = ParseByteRange(c.header, c.size);
    EXPECT_EQ(range.kind, c.kind) << c.header;
    if (c.kind == Kind::kPart) {
      EXPECT_EQ(range.first, c.first) << c.header;
      EXPECT_EQ(range.length, c.length) << c.header;
    }
  }
}

TEST(CatalogRepliesTest, TheLogEscapesEverythingButPrintableAscii) {
  EXPECT_EQ(EscapeForLog("/a?b=%1b&c=d e"), "/a?b=%1b&c=d e");
  EXPECT_EQ(EscapeForLog("\x1b[2J\x1b]0;t\a\r\n\x7f\\\xc2\x9b"),
            "\\x1b[2J\\x1b]0;t\\x07\\x0d\\x0a\\x7f\\x5c\\xc2\\x9b");
  EXPECT_EQ(EscapeForLog(std::string("a\0b", 3)), "a\\x00b");
}

TEST_F(CatalogTest, RecordsMatchTheProgramsPatternInTheServicesOrder) {
  WriteMp3(root_ / "q.mp3", TagStyle::kId3v2Unicode, "It's", "O'Brien\nBand", "Al'bum");
  const std::string reply = SearchReply(Library::Scan(root_), "", 1, 500);
  const std::string id = SongIdentifier("q.mp3");
  EXPECT_NE(reply.find("{'rid':'" + id +
                       "','songName':'It’s','album':'Al’bum','duration':'1','format':'mp3',"
                       "'artist':'O’Brien Band'},\n"),
            std::string::npos)
      << reply;
}

TEST_F(CatalogTest, LookupNamesThePublicHostAndThePath) {
  WriteMp3(root_ / "华语/a b.mp3", TagStyle::kId3v2Unicode, "T", "A", "");
  const Library library = Library::Scan(root_);
  const std::string id = library.songs().at(0).identifier;
  EXPECT_EQ(LookupReply(library, id, "files.local:81"),
            "<result><mp3dl>files.local:81</mp3dl><mp3path>%E5%8D%8E%E8%AF%AD/a%20b.mp3"
            "</mp3path></result>\n");
  const std::string unknown = LookupReply(library, "MUSIC_nope", "h");
  EXPECT_EQ(unknown.find("mp3dl"), std::string::npos);
  EXPECT_EQ(unknown.find("mp3path"), std::string::npos);
}

TEST_F(CatalogTest, LinksOutOfTheFolderAreNotIndexed) {
  const fs::path outside = base_ / "outside.mp3";
  WriteMp3(outside, TagStyle::kId3v2Unicode, "Secret", "S", "");
  WriteMp3(root_ / "in.mp3", TagStyle::kId3v2Unicode, "In", "I", "");
  fs::create_symlink(outside, root_ / "link.mp3");
  fs::create_symlink("in.mp3", root_ / "inner-link.mp3");
  // Inside, but by an absolute path or through "..": the service refuses them, so they are
  // not listed either.
  fs::create_symlink(root_ / "in.mp3", root_ / "absolute-link.mp3");
  fs::create_symlink("../music/in.mp3", root_ / "dotdot-link.mp3");
  const Library library = Library::Scan(root_);
  EXPECT_EQ(library.songs().size(), 2u);
  EXPECT_EQ(library.FindByPath("link.mp3"), nullptr);
  EXPECT_NE(library.FindByPath("inner-link.mp3"), nullptr);
  EXPECT_EQ(library.FindByPath("absolute-link.mp3"), nullptr);
  EXPECT_EQ(library.FindByPath("dotdot-link.mp3"), nullptr);
}

TEST_F(CatalogTest, ServesFilesWithRangesAndNothingOutsideTheFolder) {
  WriteMp3(root_ / "华语/one.mp3", TagStyle::kId3v2Unicode, "告白气球", "周杰伦", "");
  std::ofstream(root_ / "notes.txt") << "not a song";
  std::ofstream(base_ / "catalog-secret.txt") << "secret";
  test::CatalogProcess catalog(root_);
  ASSERT_FALSE(catalog.host().empty());
  httplib::Client client("http://" + catalog.host());

  const std::string bytes = FileBytes(root_ / "华语/one.mp3");
  auto whole = client.Get("/resource/%E5%8D%8E%E8%AF%AD/one.mp3");
  ASSERT_TRUE(whole);
  EXPECT_EQ(whole->status, 200);
  EXPECT_EQ(whole->body, bytes);
  EXPECT_EQ(whole->get_header_value("Content-Length"), std::to_string(bytes.size()));

  auto part = client.Get("/resource/%E5%8D%8E%E8%AF%AD/one.mp3", {{"Range", "bytes=100-199"}});
  ASSERT_TRUE(part);
  EXPECT_EQ(part->status, 206);
  EXPECT_EQ(part->body, bytes.substr(100, 100));

  // The rest of the same copy for the ETag or the date it was sent with; the whole file for a
  // validator of another copy (the file changed since), and a new ETag once it has.
  const std::string tag = whole->get_header_value("ETag");
  const std::string date = whole->get_header_value("Last-Modified");
  EXPECT_EQ(tag.front(), '"');
  EXPECT_TRUE(date.ends_with(" GMT")) << date;
  for (const std::string& validator : {tag, date}) {
    auto rest = client.Get("/resource/%E5%8D%8E%E8%AF%AD/one.mp3",
                           {{"Range", "bytes=1000-"}, {"If-Range", validator}});
    ASSERT_TRUE(rest);
    EXPECT_EQ(rest->status, 206) << validator;
    EXPECT_EQ(rest->body, bytes.substr(1000)) << validator;
  }
  auto other = client.Get("/resource/%E5%8D%8E%E8%AF%AD/one.mp3",
                          {{"Range", "bytes=1000-"}, {"If-Range", "\"other\""}});
  ASSERT_TRUE(other);
  EXPECT_EQ(other->status, 200);
  EXPECT_EQ(other->body, bytes);
  std::ofstream(root_ / "华语/one.mp3", std::ios::app | std::ios::binary) << "more";
  auto changed = client.Get("/resource/%E5%8D%8E%E8%AF%AD/one.mp3",
                            {{"Range", "bytes=1000-"}, {"If-Range", tag}});
  ASSERT_TRUE(changed);
  EXPECT_EQ(changed->status, 200);
  EXPECT_EQ(changed->body, bytes + "more");
  EXPECT_NE(changed->get_header_value("ETag"), tag);

  for (const char* path :
       {"/resource/../catalog-secret.txt", "/resource/%2E%2E/catalog-secret.txt",
        "/resource/notes.txt", "/resource//etc/passwd", "/resource/华语/../华语/one.mp3"}) {
    auto refused = client.Get(path);
    ASSERT_TRUE(refused) << path;
    EXPECT_EQ(refused->status, 404) << path;
    EXPECT_EQ(refused->body.find("secret"), std::string::npos) << path;
  }
}

TEST_F(CatalogTest, AnswersSearchAndLookupOverHttp) {
  WriteMp3(root_ / "one.mp3", TagStyle::kId3v2Unicode, "Blue Moon", "Ella", "Songs");
  test::CatalogProcess catalog(root_, "files.example:9000");
  ASSERT_FALSE(catalog.host().empty());
  httplib::Client client("http://" + catalog.host());
  auto search =
      client.Get("/webmusic/getsjplayinfo?flag=6&pn=1&pr=500&type=music&key=%62%4C%55%45");
  ASSERT_TRUE(search);
  EXPECT_NE(search->body.find("'songName':'Blue Moon'"), std::string::npos);
  auto lookup = client.Get("/webmusic/st/getNewMuiseByRid?rid=" + SongIdentifier("one.mp3"));
  ASSERT_TRUE(lookup);
  EXPECT_NE(lookup->body.find("<mp3dl>files.example:9000</mp3dl><mp3path>one.mp3</mp3path>"),
            std::string::npos);
}

}  // namespace
}  // namespace ornivel::catalog
