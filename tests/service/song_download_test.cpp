#include "service/song_download.h"

#include <gtest/gtest.h>

#include "service/file_system.h"
#include "service/song_address.h"
#include "tests/support/gbk.h"
#include "tests/support/platform.h"

namespace ornivel {
namespace {

using test::Gbk;

TEST(DownloadNamesTest, TemporaryTargetAndNumberedNames) {
  // A save folder as each platform names one; the names are joined with its separator.
  const std::string folder = test::kWindowsBackends ? "C:\\music" : "/music";
  const std::string in = folder + kPathSeparator;
  EXPECT_EQ(TemporaryFileName(folder, "MUSIC_1", 1), in + "MUSIC_1.1.part");
  EXPECT_EQ(TemporaryFileName(folder, "MUSIC_1", 12), in + "MUSIC_1.12.part");
  EXPECT_EQ(IdentifierFileName(folder, "MUSIC_1", 0), in + "MUSIC_1.mp3");
  EXPECT_EQ(IdentifierFileName(folder, "MUSIC_1", 2), in + "MUSIC_1(2).mp3");
  EXPECT_EQ(TargetFileName(folder, Gbk("周杰伦"), Gbk("告白气球")),
            in + Gbk("周杰伦 - 告白气球.mp3"));
  EXPECT_EQ(NumberedFileName(folder, "A", "T", 1), in + "A - T(1).mp3");
  EXPECT_EQ(NumberedFileName(folder, "A", "T", 12), in + "A - T(12).mp3");
  // One separator is always added, also after the root folder; the doubled one names the same
  // file on both platforms.
  EXPECT_EQ(TargetFileName(test::kWindowsBackends ? "C:\\" : "/", "A", "T"),
            test::kWindowsBackends ? "C:\\\\A - T.mp3" : "//A - T.mp3");
  EXPECT_EQ(kPathSeparator, test::kWindowsBackends ? '\\' : '/');
}

TEST(DownloadNamesTest, HostileIdentifiersNeverNameAFile) {
  EXPECT_TRUE(IsSafeIdentifier("MUSIC_12345"));
  EXPECT_TRUE(IsSafeIdentifier(Gbk("歌曲.1")));
  for (const std::string& hostile :
       std::vector<std::string>{"", "../x", "a/b", "a\\b", "..", "x..y", "a\nb", "a\rb",
                                std::string("a\0b", 3), "\x7F"}) {
    EXPECT_FALSE(IsSafeIdentifier(hostile)) << hostile;
  }
}

TEST(DownloadTextsTest, StatusTextsAndQuestion) {
  EXPECT_EQ(DownloadingStatus(), Gbk("歌曲下载中..."));
  EXPECT_EQ(DownloadedStatus(), Gbk("下载成功"));
  EXPECT_EQ(RenameFailedStatus(), Gbk("歌名太非主流，要手动修改"));
  EXPECT_EQ(DownloadFailedStatus(), Gbk("下载失败"));
  EXPECT_EQ(LookupFailedStatus(), Gbk("获取地址失败"));
  EXPECT_EQ(DownloadProgressStatus(37, 100), Gbk("歌曲下载中... 37%"));
  EXPECT_EQ(DownloadProgressStatus(9'437'183, 9'437'184), Gbk("歌曲下载中... 99%"));
  EXPECT_EQ(DownloadProgressStatus(2'516'582, -1), Gbk("歌曲下载中... 2.4 MB"));
  EXPECT_EQ(FileExistsQuestion(), Gbk("文件已经存在，是否继续下载？"));
  EXPECT_EQ(AddressFirstMessage(), Gbk("请先获取歌曲地址"));
}

TEST(LookupReplyTest, AddressNeedsBothValues) {
  EXPECT_EQ(AddressFromLookupReply("<mp3dl>h</mp3dl><mp3path>p</mp3path>"), "http://h/resource/p");
  EXPECT_EQ(AddressFromLookupReply("<MP3DL>h</MP3DL><mp3path>p</mp3path>"), std::nullopt);
  EXPECT_EQ(AddressFromLookupReply("<mp3dl></mp3dl><mp3path>p</mp3path>"), std::nullopt);
  EXPECT_EQ(AddressFromLookupReply("<mp3dl>h</mp3dl>"), std::nullopt);
  EXPECT_EQ(AddressFromLookupReply(""), std::nullopt);
  // A line break or an escape inside either value makes no address.
  EXPECT_EQ(AddressFromLookupReply("<mp3dl>h</mp3dl><mp3path>p\ny</mp3path>"), std::nullopt);
  EXPECT_EQ(AddressFromLookupReply("<mp3dl>h\x1B[2J</mp3dl><mp3path>p</mp3path>"), std::nullopt);
}

TEST(DownloadNamesTest, EuroSignOrFfBeforeASeparatorIsNoShield) {
  // Only 81 to FE start a double-byte character: 80 (the euro sign) and FF leave the "/", "\"
  // or ".." after them visible.
  for (const std::string& hostile : std::vector<std::string>{
           "\x80/x", "\xFF/x", "MUSIC_1\x80\\x", "\x80..", "x\xFF..y", "\x80/\x80../x"}) {
    EXPECT_FALSE(IsSafeIdentifier(hostile)) << hostile;
  }
  EXPECT_TRUE(IsSafeIdentifier("MUSIC_\x80\xFF"));
}

}  // namespace
}  // namespace ornivel
