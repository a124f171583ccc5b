#include "service/song_search.h"

#include <gtest/gtest.h>

#include "service/service_host.h"
#include "tests/support/environment.h"
#include "tests/support/gbk.h"
#include "tests/support/memory_front_end.h"
#include "tests/support/search_reply.h"
#include "text/text_convert.h"

namespace ornivel {
namespace {

using test::Gbk;

TEST(CleaningTest, SongNamesLoseEveryCharacterAFileNameCannotHold) {
  EXPECT_EQ(CleanSongName("a/b:c*d"), "a b c d");
  EXPECT_EQ(CleanSongName("?\\/:*\"<>|"), "         ");
  EXPECT_EQ(CleanSongName("A&B"), "A&B");
  EXPECT_EQ(CleanSongName("  spaced  "), "  spaced  ");  // no trimming, no collapsing
}

TEST(CleaningTest, SingersGetTheEnumerationCommaForAmpersands) {
  EXPECT_EQ(CleanSinger("A&B"), Gbk("A、B"));
  EXPECT_EQ(CleanSinger("a?b\\c/d:e\"f<g>h|i*j"), "a b c d e f g h i j");
}

TEST(CleaningTest, ControlCharactersInNamesAndSingersBecomeSpaces) {
  const std::string controls(
      "a\x1B[2Jb\x07"
      "c\x08"
      "d\x7F\x01\x1F\t\r\ne\0f",
      19);
  EXPECT_EQ(CleanSongName(controls), "a [2Jb c d      e f");
  EXPECT_EQ(CleanSinger(controls), "a [2Jb c d      e f");
  // A GBK character keeps both bytes; "~" (0x7E) and the lead byte 0x81 are no controls.
  EXPECT_EQ(CleanSongName(Gbk("告白") + "~\x81\x40"), Gbk("告白") + "~\x81\x40");
  EXPECT_EQ(CleanAlbum("x\x07y"), "x\x07y");  // the album names no file: kept as it came
}

TEST(CleaningTest, AlbumsLoseOnlyQuestionMarks) {
  EXPECT_EQ(CleanAlbum("x?y"), "x y");
  EXPECT_EQ(CleanAlbum("a/b:c*d"), "a/b:c*d");
}

TEST(CleaningTest, DoubleByteCharactersWithBackslashOrBarTrailBytesStayWhole) {
  // 0x95 0x5C and 0x95 0x7C are GBK characters whose trail bytes are "\" and "|".
  const std::string backslashTrail = "\x95\x5C";
  const std::string barTrail = "\x95\x7C";
  EXPECT_EQ(CleanSongName(backslashTrail + "\\" + barTrail + "|"),
            backslashTrail + " " + barTrail + " ");
  EXPECT_EQ(CleanSinger(barTrail + "&"), barTrail + Gbk("、"));
}

TEST(CleaningTest, ReplaceManyFoldsAsciiCaseAndIgnoresEmptyPairs) {
  EXPECT_EQ(ReplaceMany("aXbx", {{"x", "-"}}), "a-b-");
  EXPECT_EQ(ReplaceMany("abc", {{"", "-"}, {"b", "B"}}), "aBc");
  EXPECT_EQ(ReplaceMany("abc", {{"a", "b"}, {"b", "c"}}), "ccc");  // pairs apply in order
}

TEST(FillSongListTest, FillsNumberedCleanedRowsWithHiddenIdentifiersAndNoAddress) {
  MemoryFrontEnd ui;
  ui.AppendRow();  // an earlier search's row goes
  const std::string reply =
      Gbk("try{[\n{'RID':'MUSIC_1','SONGNAME':'告白/"
          "气球','ALBUM':'床边?故事','DURATION':'215','ARTIST':'周杰伦&Lara'},\n"
          "{'rid':'MUSIC_2','songName':'a:b','album':'c','artist':'d'},\n]}");
  EXPECT_EQ(FillSongList(ui, ui, reply), 2);
  ASSERT_EQ(ui.RowCount(), 2);
  EXPECT_EQ(ui.Row(0), (std::vector<std::string>{"1", Gbk("告白 气球"), Gbk("周杰伦、Lara"),
                                                 Gbk("床边 故事"), "MUSIC_1", ""}));
  EXPECT_EQ(ui.Row(1), (std::vector<std::string>{"2", "a b", "d", "c", "MUSIC_2", ""}));
  EXPECT_TRUE(ui.Messages().empty());
}

TEST(FillSongListTest, TheListShowsNoControlCharacterOfTheServiceInTitlesAndSingers) {
  MemoryFrontEnd ui;
  const std::string reply =
      "{'rid':'MUSIC_1','songName':'Bell\x07Tab\tEsc\x1B[2J','album':'A\x07',"
      "'artist':'Back\x08"
      "Del\x7F'},\n";
  EXPECT_EQ(FillSongList(ui, ui, reply), 1);
  ASSERT_EQ(ui.RowCount(), 1);
  EXPECT_EQ(ui.Row(0)[kColumnTitle], "Bell Tab Esc [2J");
  EXPECT_EQ(ui.Row(0)[kColumnSinger], "Back Del ");
  EXPECT_EQ(ui.Row(0)[kColumnAlbum], "A\x07");
}

TEST(FillSongListTest, ReplyWithoutRecordsEmptiesTheListAndSaysSo) {
  MemoryFrontEnd ui;
  ui.AppendRow();
  EXPECT_EQ(FillSongList(ui, ui, "<html>busy</html>"), 0);
  EXPECT_EQ(ui.RowCount(), 0);
  ASSERT_EQ(ui.Messages().size(), 1u);
  EXPECT_EQ(ui.Messages()[0].text, Gbk("没有找到歌曲，尝试减少或者换一个关键词吧"));
  EXPECT_EQ(ui.Messages()[0].icon, MessageIcon::kInformation);
}

TEST(FillSongListTest, ARecordPastTheBoundIsLeftOutAndSaidOnce) {
  // Exactly the bound: every record, and nothing to say.
  {
    MemoryFrontEnd ui;
    EXPECT_EQ(FillSongList(ui, ui, Utf8ToGbk(test::OneLineSearchReply(kMostSongRecords))),
              kMostSongRecords);
    EXPECT_TRUE(ui.Messages().empty());
  }
  // One more, and then far more than the first look takes (about 6 MB on one line): the first
  // records, numbered, and one message after them.
  for (const int records : {kMostSongRecords + 1, 40000}) {
    SCOPED_TRACE(records);
    MemoryFrontEnd ui;
    EXPECT_EQ(FillSongList(ui, ui, Utf8ToGbk(test::OneLineSearchReply(records))), kMostSongRecords);
    ASSERT_EQ(ui.RowCount(), kMostSongRecords);
    const int last = kMostSongRecords - 1;
    EXPECT_EQ(
        ui.Row(last),
        (std::vector<std::string>{
            std::to_string(kMostSongRecords), Utf8ToGbk(test::RecordSongName(kMostSongRecords)),
            Utf8ToGbk(test::RecordSinger(kMostSongRecords)), Utf8ToGbk(test::RecordAlbum()),
            test::RecordIdentifier(kMostSongRecords), ""}));
    ASSERT_EQ(ui.Messages().size(), 1u);
    EXPECT_EQ(ui.Messages()[0].text, RecordsLeftOutMessage(kMostSongRecords));
    EXPECT_EQ(GbkToUtf8(ui.Messages()[0].text), "找到的歌曲太多，只列出了前 5000 首");
    EXPECT_EQ(ui.Messages()[0].icon, MessageIcon::kInformation);
  }
}

TEST(FillSongListTest, AReplyLongerThanTheFirstLookButUnderTheBoundGivesEveryRecord) {
  // 1,100 records of 6 KB each (6.6 MB): the last ones lie past the first look.
  std::string records;
  for (int n = 1; n <= 1100; ++n) {
    records += test::SearchRecord(n, "artist", ",'lyric':'" + std::string(6000, 'x') + "'");
  }
  MemoryFrontEnd ui;
  EXPECT_EQ(FillSongList(ui, ui, Utf8ToGbk(test::OneLineSearchReply(records, 1100))), 1100);
  ASSERT_EQ(ui.RowCount(), 1100);
  EXPECT_EQ(ui.Row(1099)[kColumnIdentifier], test::RecordIdentifier(1100));
  EXPECT_EQ(ui.Row(1099)[kColumnSinger], Utf8ToGbk(test::RecordSinger(1100)));
  EXPECT_TRUE(ui.Messages().empty());
  // A reply cut short of its end (too long to be read whole) says the rest was left out.
  MemoryFrontEnd cut;
  EXPECT_EQ(FillSongList(cut, cut, Utf8ToGbk(test::OneLineSearchReply(3)), /*cut=*/true), 3);
  ASSERT_EQ(cut.Messages().size(), 1u);
  EXPECT_EQ(cut.Messages()[0].text, RecordsLeftOutMessage(3));
}

TEST(SearchSongsTest, EmptyKeywordKeepsTheRowsAndAsksForOne) {
  MemoryFrontEnd ui;
  ui.AppendRow();
  ui.SetSearchText("");
  SearchSongs(ui, ui);
  EXPECT_EQ(ui.RowCount(), 1);
  ASSERT_EQ(ui.Messages().size(), 1u);
  EXPECT_EQ(ui.Messages()[0].text, Gbk("你要听什么歌尽管跟我说=^_^= "));
  EXPECT_EQ(ui.Messages()[0].icon, MessageIcon::kInformation);
}

TEST(SearchSongsTest, MessagesAreTheProgramsOwn) {
  EXPECT_EQ(PatternFailedMessage(), Gbk("正则创建失败！"));
}

TEST(ServiceHostTest, AddressesFollowTheHost) {
  test::SetEnvironment("ORNIVEL_SERVICE_HOST", "music.test:81");
  EXPECT_EQ(SearchAddress("%61"),
            "http://music.test:81/webmusic/getsjplayinfo?flag=6&pn=1&pr=500&type=music&key=%61");
  EXPECT_EQ(LookupAddress("MUSIC_1 x"),
            "http://music.test:81/webmusic/st/getNewMuiseByRid?rid=MUSIC_1 x");
  // An empty value is no host (on Windows the C library cannot hold one and removes the variable).
  test::SetEnvironment("ORNIVEL_SERVICE_HOST", "");
  EXPECT_EQ(ServiceHost(), "127.0.0.1:8089");
  test::UnsetEnvironment("ORNIVEL_SERVICE_HOST");
  EXPECT_EQ(ServiceHost(), "127.0.0.1:8089");
  EXPECT_EQ(ResourceAddress("h", "p/q.mp3"), "http://h/resource/p/q.mp3");
}

TEST(CleaningTest, EuroSignAndFfNeverHideTheCharacterAfterThem) {
  // "AC€/DC": 80 is the euro sign, a character of its own in GBK, so the "/" after it goes.
  EXPECT_EQ(CleanSongName("AC\x80/DC"), "AC\x80 DC");
  EXPECT_EQ(CleanSongName(Gbk("AC€/DC")), Gbk("AC€ DC"));
  EXPECT_EQ(CleanSongName("\xFF\\\x80:\x80*\x80\"\x80<\x80>\x80|\x80?"),
            "\xFF \x80 \x80 \x80 \x80 \x80 \x80 \x80 ");
  EXPECT_EQ(CleanSinger("\x80&\xFF/"), std::string("\x80") + Gbk("、") + "\xFF ");
  EXPECT_EQ(CleanAlbum("\x80?"), "\x80 ");
}

}  // namespace
}  // namespace ornivel
