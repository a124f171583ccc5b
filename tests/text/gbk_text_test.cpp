#include "text/gbk_text.h"

#include <gtest/gtest.h>

#include "tests/support/gbk.h"

namespace ornivel {
namespace {

using Pieces = std::vector<std::string>;
using test::Gbk;

// "中" is D6 D0; "\x95\x5C" is a GBK character whose trail byte is "\"; "\x95\x61" one whose
// trail byte is "a".
constexpr std::string_view kZhong = "\xD6\xD0";
constexpr std::string_view kTrailBackslash = "\x95\x5C";
constexpr std::string_view kTrailLetterA = "\x95\x61";

TEST(GbkTextTest, LeftRightMiddleCountBytes) {
  EXPECT_EQ(TextLeft("abcdef", 2), "ab");
  EXPECT_EQ(TextLeft("abc", 10), "abc");
  EXPECT_EQ(TextLeft("abc", 0), "");
  EXPECT_EQ(TextLeft("abc", -3), "");
  EXPECT_EQ(TextRight("abcdef", 2), "ef");
  EXPECT_EQ(TextRight("abc", 10), "abc");
  EXPECT_EQ(TextRight("abc", -1), "");
  EXPECT_EQ(TextMiddle("abcdef", 2, 3), "bcd");
  EXPECT_EQ(TextMiddle("abcdef", 5, 100), "ef");
  EXPECT_EQ(TextMiddle("abcdef", 0, 2), "");
  EXPECT_EQ(TextMiddle("abcdef", 7, 2), "");
  EXPECT_EQ(TextMiddle("abcdef", 1, 0), "");
  EXPECT_EQ(TextMiddle("", 1, 1), "");
}

TEST(GbkTextTest, FindReturnsOneBasedPositionsFromStart) {
  EXPECT_EQ(TextFind("abcabc", "bc"), 2);
  EXPECT_EQ(TextFind("abcabc", "bc", 3), 5);
  EXPECT_EQ(TextFind("abcabc", "bc", 0), 2);
  EXPECT_EQ(TextFind("abcabc", "bc", -7), 2);
  EXPECT_EQ(TextFind("abcabc", "x"), -1);
  EXPECT_EQ(TextFind("abc", "abcd"), -1);
  EXPECT_EQ(TextFind("abc", "c", 4), -1);
  EXPECT_EQ(TextFind("", "a"), -1);
}

TEST(GbkTextTest, FindStepsOverDoubleByteCharacters) {
  // The trail byte "\" of the first character is not a "\" of its own.
  const std::string text = std::string(kTrailBackslash) + "x\\";
  EXPECT_EQ(TextFind(text, "\\"), 4);
  // D6 D6 is one character and D0 a lone byte after it: the bytes D6 D0 at position 2 straddle
  // two characters and are no "中".
  EXPECT_EQ(TextFind("\xD6\xD6\xD0", kZhong), -1);
  EXPECT_EQ(TextFind(std::string("a") + std::string(kZhong), kZhong), 2);
}

TEST(GbkTextTest, IgnoreCaseFoldsAsciiLettersOnly) {
  EXPECT_EQ(TextFind("xxSET-COOKIE:", "set-cookie:", 1, true), 3);
  EXPECT_EQ(TextFind("xxSET-COOKIE:", "set-cookie:", 1, false), -1);
  // "\x95\x41" is not "\x95\x61" just because A and a fold together.
  EXPECT_EQ(TextFind("\x95\x41", kTrailLetterA, 1, true), -1);
  EXPECT_EQ(TextFind(kTrailLetterA, kTrailLetterA, 1, true), 1);
}

TEST(GbkTextTest, LoneLeadByteAtTheEndIsOneCharacter) {
  const std::string text = "ab\xD6";
  EXPECT_EQ(TextFind(text, "\xD6"), 3);
  EXPECT_EQ(TextFind(text, "\xD6\xD0"), -1);
  EXPECT_EQ(TextReplace(text, "b", "B"), "aB\xD6");
  EXPECT_EQ(TextTrim(std::string("  ") + text), text);
  // A lead byte takes the byte after it, whatever it is: D6 and the space are one character.
  EXPECT_EQ(TextTrim(text + " "), text + " ");
  EXPECT_EQ(RemoveSpaces("a \xD6"), "a\xD6");
  EXPECT_EQ(TextSplit(text, ";"), Pieces{text});
  EXPECT_EQ(GbkCharLength(text, 2), 1u);
}

TEST(GbkTextTest, EmptyNeedleNeverLoops) {
  EXPECT_EQ(TextFind("abc", ""), -1);
  EXPECT_EQ(TextReplace("abc", "", "x"), "abc");
  EXPECT_EQ(TextSplit("abc", ""), Pieces{"abc"});
}

TEST(GbkTextTest, ReplaceEveryOccurrenceWithoutOverlap) {
  EXPECT_EQ(TextReplace("aaaa", "aa", "b"), "bb");
  EXPECT_EQ(TextReplace("a/b/c", "/", " "), "a b c");
  EXPECT_EQ(TextReplace("xAxa", "a", "-", true), "x-x-");
  EXPECT_EQ(TextReplace("aba", "a", "aa"), "aabaa");
  // The trail byte "\" survives a "\" replacement.
  const std::string text = std::string(kTrailBackslash) + "\\";
  EXPECT_EQ(TextReplace(text, "\\", " "), std::string(kTrailBackslash) + " ");
}

TEST(GbkTextTest, SplitKeepsLeadingAndInnerEmptyPiecesButNotTrailing) {
  EXPECT_EQ(TextSplit("a;b;c", ";"), (Pieces{"a", "b", "c"}));
  EXPECT_EQ(TextSplit(";a;;b;", ";"), (Pieces{"", "a", "", "b"}));
  EXPECT_EQ(TextSplit("a; b; ", "; "), (Pieces{"a", "b"}));
  EXPECT_EQ(TextSplit(";", ";"), (Pieces{""}));
  EXPECT_TRUE(TextSplit("", ";").empty());
}

TEST(GbkTextTest, TrimAndRemoveSpacesKnowFullWidthSpaces) {
  const std::string wide = "\xA1\xA1";
  EXPECT_EQ(TextTrim(wide + " a b " + wide), "a b");
  EXPECT_EQ(TextTrim("\ta\t"), "\ta\t");
  EXPECT_EQ(TextTrim("   "), "");
  EXPECT_EQ(RemoveSpaces("a =1; " + wide + "b=2"), "a=1;b=2");
  // B0 A1 is a character, then A1 A1 a full-width space: only the space goes.
  EXPECT_EQ(TextTrim("\xB0\xA1\xA1\xA1"), "\xB0\xA1");
  EXPECT_EQ(RemoveSpaces("\xB0\xA1\xA1\xA1"), "\xB0\xA1");
  // A1 A1 then a lone A1: the lone byte is not a space.
  EXPECT_EQ(TextTrim("\xA1\xA1\xA1"), "\xA1");
}

TEST(GbkTextTest, EuroSignAndFfAreCharactersOfOneByte) {
  // In code page 936 only 81 to FE start a double-byte character: 80 is the euro sign and FF no
  // lead byte, so the byte after either is a character of its own. "AC\x80/DC" is "AC€/DC".
  const std::string title = "AC\x80/DC";
  EXPECT_EQ(GbkCharLength(title, 2), 1u);
  EXPECT_EQ(GbkCharLength("\xFF/", 0), 1u);
  EXPECT_EQ(GbkCharLength("\x81/", 0), 2u);
  EXPECT_EQ(GbkCharLength("\xFE\xFE", 0), 2u);

  EXPECT_EQ(TextFind(title, "/"), 4);
  EXPECT_EQ(TextFind("\xFF\\x", "\\"), 2);
  EXPECT_EQ(TextFind("\x80\x80x", "\x80x"), 2);
  EXPECT_EQ(TextFind("\xFF\xFF\xD6\xD0", kZhong), 3);
  EXPECT_EQ(TextFind("\x80"
                     "A",
                     "a", 1, true),
            2);
  EXPECT_EQ(TextFind("x\x80"
                     "A",
                     "\x80"
                     "a",
                     1, true),
            2);

  EXPECT_EQ(TextReplace(title, "/", " "), "AC\x80 DC");
  EXPECT_EQ(TextReplace("\xFF\\\xFF\\", "\\", "-"), "\xFF-\xFF-");
  EXPECT_EQ(TextReplace("\x80?\x80?", "?", " ", true), "\x80 \x80 ");

  EXPECT_EQ(TextSplit("a\x80;b\xFF;c\x80", ";"), (Pieces{"a\x80", "b\xFF", "c\x80"}));
  EXPECT_EQ(TextSplit("\x80;\xFF;", ";"), (Pieces{"\x80", "\xFF"}));

  EXPECT_EQ(TextTrim("  \x80 "), "\x80");
  EXPECT_EQ(TextTrim("\xA1\xA1\xFF\xA1\xA1"), "\xFF");
  EXPECT_EQ(RemoveSpaces("\x80 \xFF a\x80\xA1\xA1"),
            "\x80\xFF"
            "a\x80");
  // A real lead byte still takes the space after it.
  EXPECT_EQ(TextTrim("\x81 "), "\x81 ");

  // Left, right and middle count bytes whatever they are.
  EXPECT_EQ(TextLeft(title, 3), "AC\x80");
  EXPECT_EQ(TextRight(title, 4), "\x80/DC");
  EXPECT_EQ(TextMiddle(title, 3, 2), "\x80/");
  EXPECT_EQ(TextMiddle("\xFF\xFF", 2, 5), "\xFF");
}

TEST(GbkTextTest, EuroSignsInALongTextNeverHideTheBytesAfterThem) {
  // 500 titles in one text, each with a euro sign before a separator and a "/".
  std::string text;
  for (int i = 0; i < 500; ++i) {
    text +=
        "\xD6\xD0"
        "AC\x80/DC " +
        std::to_string(i) + "\x80;";
  }
  const auto pieces = TextSplit(text, ";");
  ASSERT_EQ(pieces.size(), 500u);
  EXPECT_EQ(pieces[0],
            "\xD6\xD0"
            "AC\x80/DC 0\x80");
  EXPECT_EQ(pieces[499],
            "\xD6\xD0"
            "AC\x80/DC 499\x80");
  const std::string replaced = TextReplace(text, "/", "-");
  EXPECT_EQ(TextFind(replaced, "/"), -1);
  EXPECT_EQ(replaced.size(), text.size());
  long long found = 0;
  int slashes = 0;
  while ((found = TextFind(text, "/", found + 1)) != -1) ++slashes;
  EXPECT_EQ(slashes, 500);
}

TEST(TextBetweenTest, CutsBetweenFirstLeftMarkerAndNextRightMarker) {
  const std::string reply = "<mp3dl>a.example</mp3dl><mp3path>x/y.mp3</mp3path><mp3dl>b</mp3dl>";
  EXPECT_EQ(TextBetween(reply, "mp3dl>", "</mp3dl"), "a.example");
  EXPECT_EQ(TextBetween(reply, "<mp3path>", "</mp3path>"), "x/y.mp3");
  // From byte 3 the next "mp3dl>" is the one inside "</mp3dl>".
  EXPECT_EQ(TextBetween(reply, "mp3dl>", "</mp3dl", 3), "<mp3path>x/y.mp3</mp3path><mp3dl>b");
  EXPECT_EQ(TextBetween(reply, "<mp3dl>", "</mp3dl", 2), "b");
  EXPECT_EQ(TextBetween("<a></a>", "<a>", "</a>"), "");  // markers touch
}

TEST(TextBetweenTest, MissingMarkersGiveEmptyText) {
  EXPECT_EQ(TextBetween("<mp3dl>host", "mp3dl>", "</mp3dl"), "");
  EXPECT_EQ(TextBetween("host</mp3dl>", "mp3dl>", "</mp3dl"), "");
  EXPECT_EQ(TextBetween("", "a", "b"), "");
  // The right marker is looked for after the left one only.
  EXPECT_EQ(TextBetween("]x[", "[", "]"), "");
}

TEST(TextBetweenTest, QuotePlaceholderAndIgnoreCase) {
  EXPECT_EQ(TextBetween("href=\"/a/b\" x", Gbk("href=#引号"), Gbk("#引号")), "/a/b");
  EXPECT_EQ(TextBetween("<MP3DL>h</MP3DL>", "<mp3dl>", "</mp3dl>"), "");
  EXPECT_EQ(TextBetween("<MP3DL>h</MP3DL>", "<mp3dl>", "</mp3dl>", 1, true), "h");
  // Chinese markers and values stay whole.
  EXPECT_EQ(TextBetween(Gbk("歌名：《月亮》"), Gbk("《"), Gbk("》")), Gbk("月亮"));
}

}  // namespace
}  // namespace ornivel
