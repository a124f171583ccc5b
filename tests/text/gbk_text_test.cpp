#include "text/gbk_text.h"

#include <gtest/gtest.h>

namespace ornivel {
namespace {

using Pieces = std::vector<std::string>;

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

}  // namespace
}  // namespace ornivel
