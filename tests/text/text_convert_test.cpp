#include "text/text_convert.h"

#include <gtest/gtest.h>

namespace ornivel {
namespace {

// Independent fixtures: the UTF-8 and GBK bytes of a few characters.
constexpr std::string_view kZhongUtf8 = "\xE4\xB8\xAD";  // 中
constexpr std::string_view kZhongGbk = "\xD6\xD0";
constexpr std::string_view kWenUtf8 = "\xE6\x96\x87";  // 文
constexpr std::string_view kWenGbk = "\xCE\xC4";
constexpr std::string_view kEmojiUtf8 = "\xF0\x9F\x8E\xB5";  // U+1F3B5, not in GBK
constexpr std::string_view kHangulUtf8 = "\xEA\xB0\x80";     // 가, not in GBK

std::string Cat(std::initializer_list<std::string_view> parts) {
  std::string out;
  for (auto p : parts) out.append(p);
  return out;
}

TEST(UrlEncodeTest, ChineseKeywordDependsOnTheCodePage) {
  EXPECT_EQ(UrlEncode(kZhongGbk, {.toUtf8 = true}), "%E4%B8%AD");
  EXPECT_EQ(UrlEncode(kZhongGbk, {.toUtf8 = false}), "%D6%D0");
  EXPECT_EQ(UrlEncode(kZhongGbk), "%D6%D0");
}

TEST(UrlEncodeTest, EveryByteIsEncodedUnlessUnreservedAreKept) {
  EXPECT_EQ(UrlEncode("abc", {.toUtf8 = true}), "%61%62%63");
  EXPECT_EQ(UrlEncode(" a"), "%20%61");
  EXPECT_EQ(UrlEncode("\t"), "%09");
  EXPECT_EQ(UrlEncode("AZaz09-.", {.keepUnreserved = true}), "AZaz09-.");
  EXPECT_EQ(UrlEncode("/_~ +", {.keepUnreserved = true}), "%2F%5F%7E%20%2B");
  EXPECT_EQ(UrlEncode("\xFF\x01", {.keepUnreserved = true}), "%FF%01");
  EXPECT_EQ(UrlEncode(""), "");
  EXPECT_EQ(UrlEncode("", {.keepUnreserved = true, .toUtf8 = true}), "");
}

TEST(UrlEncodeTest, StopsAtTheFirstNul) {
  EXPECT_EQ(UrlEncode(std::string_view("a\0b", 3)), "%61");
}

TEST(CodePageTest, Utf8ToGbkConvertsChineseAndMarksWhatGbkLacks) {
  EXPECT_EQ(Utf8ToGbk(Cat({"ab", kZhongUtf8, kWenUtf8})), Cat({"ab", kZhongGbk, kWenGbk}));
  EXPECT_EQ(Utf8ToGbk(Cat({kZhongUtf8, kEmojiUtf8, kWenUtf8})), Cat({kZhongGbk, "?", kWenGbk}));
  EXPECT_EQ(Utf8ToGbk(Cat({"x", kHangulUtf8, "y"})), "x?y");
  EXPECT_EQ(Utf8ToGbk(""), "");
}

TEST(CodePageTest, ALongTextConvertsAsItsPiecesDoWhereverItsCharactersFall) {
  // Several megabytes, each offset of a character against the pieces met: one, two, three and
  // four bytes long, and a broken sequence among them.
  std::string utf8;
  std::string gbk;
  for (int n = 0; utf8.size() < (5u << 20); ++n) {
    const std::string_view ascii = std::string_view("abcdefg").substr(0, n % 7);
    utf8.append(ascii).append(kZhongUtf8).append(kEmojiUtf8).append(kWenUtf8);
    gbk.append(ascii).append(kZhongGbk).append("?").append(kWenGbk);
    if (n % 97 == 0) {
      utf8.append("\xE4\xB8");  // cut short
      gbk.append("?");
    }
  }
  EXPECT_TRUE(Utf8ToGbk(utf8) == gbk) << "the converted text differs";
  // And back: GBK's double-byte characters fall across the pieces as well.
  EXPECT_TRUE(Utf8ToGbk(GbkToUtf8(gbk)) == gbk) << "the text read back differs";
}

TEST(CodePageTest, InvalidUtf8BecomesOneQuestionMarkPerBrokenSequence) {
  EXPECT_EQ(Utf8ToGbk("a\xFF"
                      "b"),
            "a?b");
  // A sequence cut short is one broken sequence; the character after it survives.
  EXPECT_EQ(Utf8ToGbk(Cat({"\xE4\xB8", kWenUtf8})), Cat({"?", kWenGbk}));
  // An encoded surrogate and an overlong form: each byte is its own broken sequence.
  EXPECT_EQ(Utf8ToGbk("\xED\xA0\x80"
                      "z"),
            "???z");
  EXPECT_EQ(Utf8ToGbk("\xC0\xAF"), "??");
  // Truncated at the very end.
  EXPECT_EQ(Utf8ToGbk(Cat({kZhongUtf8, "\xE6\x96"})), Cat({kZhongGbk, "?"}));
}

TEST(CodePageTest, GbkToUtf8RoundTrips) {
  const std::string gbk = Cat({"Hi ", kZhongGbk, kWenGbk, "\xA1\xA1", "!"});
  const std::string utf8 = GbkToUtf8(gbk);
  EXPECT_EQ(utf8, Cat({"Hi ", kZhongUtf8, kWenUtf8, "\xE3\x80\x80", "!"}));
  EXPECT_EQ(Utf8ToGbk(utf8), gbk);
  EXPECT_EQ(GbkToUtf8(""), "");
}

TEST(CodePageTest, GbkLoneLeadByteAtTheEndIsMarked) {
  EXPECT_EQ(GbkToUtf8(Cat({kZhongGbk, "\xD6"})), Cat({kZhongUtf8, "\xEF\xBF\xBD"}));
}

TEST(CodePageTest, Utf16PrimitivesUseTheirDefaultCodePages) {
  EXPECT_EQ(TextToUtf16(kZhongUtf8), u"中");  // default: UTF-8
  EXPECT_EQ(TextToUtf16(kZhongGbk, kCodePageGbk), u"中");
  EXPECT_EQ(TextToUtf16(kZhongGbk, kCodePageSystem), u"中");
  EXPECT_EQ(Utf16ToText(u"中文"), Cat({kZhongGbk, kWenGbk}));  // default: the system code page
  EXPECT_EQ(Utf16ToText(u"中", kCodePageUtf8), kZhongUtf8);
  EXPECT_EQ(Utf16ToText(std::u16string_view(u"a\0b", 3)), "a");
  EXPECT_EQ(Utf16ToText(u"\xD800x"), "?x");    // unpaired surrogate
  EXPECT_EQ(Utf16ToText(u"\U0001F3B5"), "?");  // one character, one mark
  EXPECT_EQ(TextToUtf16(kZhongGbk, 12345), u"");
}

}  // namespace
}  // namespace ornivel
