// ornivel-dl's command line read into a request, and the lines it writes about songs.
#include "app/cli/command_line.h"

#include <gtest/gtest.h>

#include "app/cli/song_lines.h"
#include "service/song_search.h"
#include "tests/support/gbk.h"
#include "text/text_convert.h"

namespace ornivel {
namespace {

using test::Gbk;

TEST(CommandLineTest, ReadsEachCommandWithItsOptionsInAnyOrder) {
  CliParse parse = ParseCommandLine({"search", "周杰伦", "晴天", "--json"});
  ASSERT_EQ(parse.problem, "");
  EXPECT_EQ(parse.request.command, CliCommand::kSearch);
  EXPECT_EQ(parse.request.keyword, Gbk("周杰伦 晴天"));
  EXPECT_TRUE(parse.request.json);

  parse = ParseCommandLine(
      {"--service=[::1]:8089", "download", "--to", "/tmp/音乐", "a", "-", "--again", "--", "--b"});
  ASSERT_EQ(parse.problem, "");
  EXPECT_EQ(parse.request.command, CliCommand::kDownload);
  EXPECT_EQ(parse.request.serviceHost, "[::1]:8089");
  EXPECT_EQ(parse.request.folder, Gbk("/tmp/音乐"));
  EXPECT_EQ(parse.request.identifiers, (std::vector<std::string>{"a", "--b"}));
  EXPECT_TRUE(parse.request.identifiersFromInput);
  EXPECT_TRUE(parse.request.again);

  parse = ParseCommandLine({"download", "--first=3", "--search", "   "});
  ASSERT_EQ(parse.problem, "");
  EXPECT_EQ(parse.request.keyword, "   ");                // spaces are a keyword, as in the window
  EXPECT_EQ(parse.request.first, std::optional<int>(3));  // the first 3, not --all

  EXPECT_EQ(ParseCommandLine({"url", "x", "--help"}).request.command, CliCommand::kHelp);
  EXPECT_EQ(ParseCommandLine({"--version"}).request.command, CliCommand::kVersion);
}

TEST(CommandLineTest, RefusesWhatItCannotDoWithTheReason) {
  const struct {
    std::vector<std::string> arguments;
    std::string problem;
  } cases[] = {
      {{}, "no command given"},
      {{"play", "x"}, "unknown command \"play\""},
      {{"search"}, "no keyword given"},
      {{"search", "x", "--loud"}, "unknown option --loud"},
      {{"url"}, "no song identifier given"},
      {{"url", "a", ""}, "an empty song identifier"},
      {{"download", "--search", "x"}, "download --search needs either --first N or --all"},
      {{"download", "--search", "x", "--first", "2", "--all"},
       "download --search needs either --first N or --all"},
      {{"download", "--search", "x", "--first", "0"},
       "--first needs a whole number of 1 or more, not \"0\""},
      {{"download", "--search", "x", "--first", "-1"},
       "--first needs a whole number of 1 or more, not \"-1\""},
      {{"download", "--search", "x", "--first"}, "--first needs a value"},
      {{"download", "--first", "2", "x"}, "--first and --all go with download --search"},
      {{"url", "x", "--json"}, "--json goes with search only"},
      {{"search", "x", "--to", "/tmp"},
       "--to, --again, --search, --first, --all and --jobs go with download only"},
      {{"search", "x", "--json=yes"}, "--json takes no value"},
      {{"search", "x", "--loud=yes"}, "--loud takes no value"},  // said before it is unknown
      {{"--service", "http://h/", "search", "x"},
       "--service needs HOST or HOST:PORT (port 1 to 65535), not \"http://h/\""},
      {{"--service", "h:70000", "search", "x"},
       "--service needs HOST or HOST:PORT (port 1 to 65535), not \"h:70000\""},
      {{"search", "Bj\xC3\xB6rk"}, "an argument holds characters GBK cannot hold: Bj\xC3\xB6rk"},
      {{"download", "x", "--to", "/m/\xC3\xB6"},
       "the folder's name holds characters GBK cannot hold: /m/\xC3\xB6"},
      {{"search", "\xFF\xFE"}, "an argument holds characters GBK cannot hold: \xFF\xFE"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ParseCommandLine(c.arguments).problem, c.problem)
        << "arguments: " << ::testing::PrintToString(c.arguments);
  }
}

TEST(CommandLineTest, IdentifierLinesSkipBlankLinesAndTrimLineEndsAndRefuseOnlyWhatGbkLacks) {
  const IdentifierLines lines = ReadIdentifierLines(
      "\xEF\xBB\xBF"
      "a\r\n\n  b c \t\r\nBj\xC3\xB6rk\r\n\r\n中\n\xFF\n");
  std::vector<std::string> identifiers;
  for (const InputSong& song : lines.songs) {
    identifiers.push_back(song.identifier);
    EXPECT_FALSE(song.named);
  }
  EXPECT_EQ(identifiers, (std::vector<std::string>{"a", "b c", Gbk("中")}));
  EXPECT_EQ(lines.refused, (std::vector<std::string>{"Bj\xC3\xB6rk", "\xFF"}));
  EXPECT_TRUE(ReadIdentifierLines("\xEF\xBB\xBF\r\n  \n").songs.empty());
}

TEST(CommandLineTest, SearchJsonLinesComeBackAsNamedSongsInOrderAmongPlainOnes) {
  // 500 lines as search --json writes them, with quotes, backslashes, a slash and "\u"
  // escapes, between plain identifier lines and lines that are no song.
  std::string input;
  std::vector<std::pair<std::string, std::string>> expected;  // identifier, title (GBK)
  for (int n = 1; n <= 500; ++n) {
    const std::string id = "MUSIC_" + std::to_string(n);
    const std::string title = Gbk("晴天 \"" + std::to_string(n) + "\" a\\b/c");
    input += SongJsonLine({n, title, Gbk("周杰伦"), Gbk("叶惠美"), id});
    // What a search's download names the file: the cleaned title, as the search shows it.
    expected.emplace_back(id, CleanSongName(title));
    if (n % 100 == 0) {
      input += "PLAIN_" + std::to_string(n) + "\r\n";
      expected.emplace_back("PLAIN_" + std::to_string(n), "");
    }
  }
  input += "{\"id\":\"X\",\"title\":\"\\u6674\\u5929\\u0007\",\"singer\":\"s\"}\n";
  expected.emplace_back("X", Gbk("晴天 "));  // the bell made a space, as a search does
  input += "{\"id\":\"ALONE\"}\n";           // no title: named after the identifier
  expected.emplace_back("ALONE", "");
  input += "{\"title\":\"no id\"}\n{\"id\":\"cut\n{\"id\":\"\\ud83c\\udfb5\"}\n";

  const IdentifierLines lines = ReadIdentifierLines(input);
  ASSERT_EQ(lines.songs.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    const InputSong& song = lines.songs[i];
    EXPECT_EQ(song.identifier, expected[i].first) << i;
    EXPECT_EQ(song.named, !expected[i].second.empty()) << i;
    if (song.named) {
      EXPECT_EQ(song.title, expected[i].second) << i;
    }
  }
  EXPECT_EQ(lines.songs.front().singer, Gbk("周杰伦"));
  EXPECT_EQ(lines.songs[lines.songs.size() - 2].singer, "s");
  // No id, a line cut short, an identifier GBK cannot hold (U+1F3B5): each refused as given.
  EXPECT_EQ(lines.refused, (std::vector<std::string>{"{\"title\":\"no id\"}", "{\"id\":\"cut",
                                                     "{\"id\":\"\\ud83c\\udfb5\"}"}));
}

// The column at which `needle` starts in a UTF-8 line, as a terminal shows it.
std::size_t ColumnOf(const std::string& utf8Line, const std::string& utf8Needle) {
  const std::string gbk = Gbk(utf8Line);
  const auto at = gbk.find(Gbk(utf8Needle));
  return at == std::string::npos ? std::string::npos : DisplayWidth(gbk.substr(0, at));
}

TEST(SongLinesTest, FiveHundredRowsAlignEveryColumnWithWideCharactersAsTwo) {
  std::vector<SongLine> songs;
  for (int n = 1; n <= 500; ++n) {
    // Titles of 1 to 9 Chinese characters, singers mixing Latin letters and Chinese ones.
    std::string title;
    for (int k = 0; k <= n % 9; ++k) title += Gbk("晴");
    songs.push_back({n, title, n % 2 ? Gbk("周杰伦") : std::string("Jay"), Gbk("专辑") + "x",
                     "MUSIC_" + std::to_string(n)});
  }
  songs[7].title = Gbk("a\tb\nc");  // control characters of a reply are shown as spaces
  const std::string text = SongTableLines(songs);
  std::vector<std::string> lines;
  for (std::size_t at = 0; at < text.size();) {
    const auto end = text.find('\n', at);
    ASSERT_NE(end, std::string::npos);
    lines.push_back(text.substr(at, end - at));
    at = end + 1;
  }
  ASSERT_EQ(lines.size(), 500u);
  EXPECT_EQ(lines[0].rfind("  1  ", 0), 0u);
  EXPECT_EQ(lines[499].rfind("500  ", 0), 0u);
  EXPECT_NE(lines[7].find("a b c"), std::string::npos);
  const std::size_t singer = ColumnOf(lines[0], "周杰伦");
  const std::size_t album = ColumnOf(lines[0], "专辑x");
  const std::size_t identifier = ColumnOf(lines[0], "MUSIC_1");
  EXPECT_EQ(singer, 3 + 2 + 18 + 2);  // the number, the widest title (9 wide characters)
  EXPECT_EQ(album, singer + 6 + 2);
  EXPECT_EQ(identifier, album + 5 + 2);
  for (int i = 0; i < 500; ++i) {
    EXPECT_EQ(ColumnOf(lines[i], i % 2 ? "Jay" : "周杰伦"), singer) << lines[i];
    EXPECT_EQ(ColumnOf(lines[i], "专辑x"), album) << lines[i];
    EXPECT_EQ(ColumnOf(lines[i], "MUSIC_" + std::to_string(i + 1)), identifier) << lines[i];
    EXPECT_NE(lines[i].back(), ' ');
  }
}

TEST(SongLinesTest, LettersGbkWritesWithTwoBytesTakeOneColumn) {
  // Accented Latin letters, Greek, Cyrillic and the middle dot are double-byte in GBK but one
  // column wide on a terminal; Chinese characters and full-width forms are two.
  EXPECT_EQ(DisplayWidth(Gbk("Déjà vu")), 7u);
  EXPECT_EQ(DisplayWidth(Gbk("Любэ·αβ")), 7u);
  EXPECT_EQ(DisplayWidth(Gbk("晴天ＡＢ")), 8u);
  const std::string text = SongTableLines(
      {{1, Gbk("Déjà vu"), "x", "y", "MUSIC_1"}, {2, Gbk("晴天"), "x", "y", "MUSIC_2"}});
  EXPECT_EQ(text, "1  Déjà vu  x  y  MUSIC_1\n2  晴天     x  y  MUSIC_2\n");
}

TEST(SongLinesTest, JsonLinesEscapeWhatJsonMustAndKeepChineseAsUtf8) {
  EXPECT_EQ(SongJsonLine({12, Gbk("晴天 \"Live\""), Gbk("周杰伦、A\\B"), "a\x01\tb", "MUSIC_1"}),
            "{\"index\":12,\"id\":\"MUSIC_1\",\"title\":\"晴天 \\\"Live\\\"\","
            "\"singer\":\"周杰伦、A\\\\B\",\"album\":\"a\\u0001\\tb\"}\n");
}

TEST(SongLinesTest, ProgressShowsTheShareOrTheAmountAndTheSpeedWithinTheLine) {
  using std::chrono::milliseconds;
  EXPECT_EQ(ProgressText(512 << 10, 2 << 20, milliseconds(500), Gbk("周杰伦 - 晴天")),
            " 25%  1.0 MB/s  周杰伦 - 晴天");
  EXPECT_EQ(ProgressText(3 << 20, -1, milliseconds(2000), "x"), "3.0 MB  1.5 MB/s  x");
  EXPECT_EQ(ProgressText(100, 100, milliseconds(0), "x").rfind("100%  ", 0), 0u);
  // A long label is cut to the line, never half a character.
  const std::string line =
      ProgressText(1, 10, milliseconds(1000), Gbk(std::string(60, 'a') + "晴晴晴"), 79);
  EXPECT_LE(DisplayWidth(Utf8ToGbk(line)), 79u);
  EXPECT_EQ(Utf8ToGbkExactly(line).has_value(), true);
}

}  // namespace
}  // namespace ornivel
