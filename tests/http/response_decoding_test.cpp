#include "http/response_decoding.h"

#include <gtest/gtest.h>

#include <atomic>

#include "tests/support/gbk.h"
#include "tests/support/platform.h"
#include "text/message_pump.h"

namespace ornivel {
namespace {

using test::Gbk;

std::vector<std::uint8_t> Bytes(std::string_view s) {
  return {s.begin(), s.end()};
}

std::string Decode(std::string_view body) {
  return DecodeResponseText(Bytes(body));
}

// What a lone FF byte of a page in the GBK family comes back as. iconv's CP936 defines no such
// character: "?". Windows' code page 936 maps FF to the private-use character U+F8F5, which
// converts back to FF (Wine's table does the same).
const std::string kLoneFf = test::kWindowsBackends ? "\xFF" : "?";

// `text` followed by what a lone FF comes back as.
std::string EndingInLoneFf(std::string text) {
  return text.append(kLoneFf);
}

TEST(DecodeResponseTextTest, BodyWithoutMetaTagComesBackAsItIsUpToTheFirstZero) {
  EXPECT_EQ(Decode(""), "");
  EXPECT_EQ(Decode("<html>\xD6\xD0</html>"), "<html>\xD6\xD0</html>");
  EXPECT_EQ(Decode(std::string_view("ab\0cd", 5)), "ab");
  // The search reply: UTF-8 without a meta tag stays raw UTF-8.
  EXPECT_EQ(Decode("{'songName':'\xE4\xB8\xAD'}"), "{'songName':'\xE4\xB8\xAD'}");
}

TEST(DecodeResponseTextTest, DeclaredUtf8IsConvertedToGbk) {
  const std::string page =
      "<html><head><meta charset=\"utf-8\"></head><body>中文 \xF0\x9F\x8E\xB5 가</body>";
  EXPECT_EQ(Decode(page),
            Gbk("<html><head><meta charset=\"utf-8\"></head><body>中文 ") + "? ?" + "</body>");
  const std::string unquoted =
      "<META HTTP-EQUIV=Content-Type CONTENT=text/html;CHARSET=UTF-8>\xE6\x96\x87";
  EXPECT_EQ(Decode(unquoted), Gbk(unquoted));
}

TEST(DecodeResponseTextTest, OtherCharsetsAreDecodedToo) {
  // "中文" in Big5 is A4 A4 A4 E5.
  EXPECT_EQ(Decode("<meta charset=big5>\xA4\xA4\xA4\xE5"), Gbk("<meta charset=big5>中文"));
  // Latin-1 é (E9) is A8 A6 in GBK.
  EXPECT_EQ(Decode("<meta charset=iso-8859-1>\xE9"), "<meta charset=iso-8859-1>\xA8\xA6");
}

TEST(DecodeResponseTextTest, GbkAndGb2312AreLeftAloneButCapitalisedNamesAreDecoded) {
  const std::string gbk = "<meta charset=gbk>\xD6\xD0\xFF";
  EXPECT_EQ(Decode(gbk), gbk);  // not decoded: the stray FF survives
  const std::string gb2312 = "<meta charset=gb2312>\xD6\xD0\xFF";
  EXPECT_EQ(Decode(gb2312), gb2312);
  EXPECT_EQ(Decode("<meta charset=GBK>\xD6\xD0"), "<meta charset=GBK>\xD6\xD0");
  EXPECT_EQ(Decode("<meta charset=GBK>\xD6\xD0\xFF"), EndingInLoneFf("<meta charset=GBK>\xD6\xD0"));
}

TEST(DecodeResponseTextTest, GbkFamilyNamesDecodeAsCodePage936InAnyCase) {
  // 镕 (E9 46) and the euro sign (80) are outside the strict GB2312 table; code page 936, which
  // the program's own texts use, has both.
  const std::string text = "\xE9\x46\xD6\xD0\xCE\xC4\x80";
  for (const std::string name :
       {"GB2312", "Gb2312", "GBK", "gBk", "csgb2312", "csGB2312", "euc-cn", "EUC-CN", "x-gbk",
        "X-GBK", "gb_2312-80", "GB_2312-80", "gb_2312", "cp936", "CP936", "windows-936", "chinese",
        "iso-ir-58", "csiso58gb231280"}) {
    const std::string page = "<meta charset=\"" + name + "\">" + text;
    EXPECT_EQ(Decode(page), page) << name;
  }
  // Decoded, not passed through: a byte that is no character still becomes "?" (but see kLoneFf),
  // and so does a lead byte without its trail byte.
  EXPECT_EQ(Decode("<meta charset=GB2312>\xE9\x46\xFF"),
            EndingInLoneFf("<meta charset=GB2312>\xE9\x46"));
  EXPECT_EQ(Decode("<meta charset=x-gbk>\xE9\x46\xFF"),
            EndingInLoneFf("<meta charset=x-gbk>\xE9\x46"));
  EXPECT_EQ(Decode("<meta charset=GB2312>\xE9\x46\xD6"), "<meta charset=GB2312>\xE9\x46?");
}

TEST(DecodeResponseTextTest, AliasesThatPagesDeclareAreDecodedFromTheirCharset) {
  struct Case {
    std::string name;
    std::string bytes;
    std::string gbk;
  };
  const std::vector<Case> cases = {
      // 中文 in Korean code page 949, in Shift_JIS and in EUC-JP.
      {"ks_c_5601-1987", "\xF1\xE9\xD9\xFE", Gbk("中文")},
      {"KS_C_5601-1987", "\xF1\xE9\xD9\xFE", Gbk("中文")},
      {"ks_c_5601-1989", "\xF1\xE9\xD9\xFE", Gbk("中文")},
      {"ksc5601", "\xF1\xE9\xD9\xFE", Gbk("中文")},
      {"windows-949", "\xF1\xE9\xD9\xFE", Gbk("中文")},
      // A Hangul syllable of code page 949 outside the strict EUC-KR table is one character.
      {"euc-kr", "\x88\x42\xF1\xE9", Gbk("?中")},
      {"x-sjis", "\x92\x86\x95\xB6", Gbk("中文")},
      {"X-SJIS", "\x92\x86\x95\xB6", Gbk("中文")},
      {"x-euc-jp", "\xC3\xE6\xCA\xB8", Gbk("中文")},
      // × and ÷ in ISO-8859-8, then a Hebrew letter GBK lacks.
      {"iso-8859-8-i", "\xAA\xBA\xE0", Gbk("×÷") + "?"},
      {"ISO-8859-8-I", "\xAA\xBA\xE0", Gbk("×÷") + "?"},
      {"iso-8859-8-e", "\xAA\xBA\xE0", Gbk("×÷") + "?"},
      {"x-cp1252", "\xE9\x80", Gbk("é€")},
      {"x-mac-roman", "\x8E", Gbk("é")},
      {"unicode-1-1-utf-8", "\xE4\xB8\xAD", Gbk("中")},
      {"x-x-big5", "\xA4\xA4\xA4\xE5", Gbk("中文")},
  };
  for (const Case& c : cases) {
    const std::string head = "<meta charset=" + c.name + ">";
    EXPECT_EQ(Decode(head + c.bytes), Gbk(head) + c.gbk) << c.name;
  }
}

TEST(DecodeResponseTextTest, ConvertedBodyIncludesBytesAfterAZeroUpToTheDecodedZero) {
  // The whole body goes to the decoder; the decoded text then ends at its first NUL.
  const std::string page("<meta charset=utf-8>a\0b", 23);
  EXPECT_EQ(Decode(page), "<meta charset=utf-8>a");
}

TEST(DecodeResponseTextTest, MetaTagBeyondTheFirst1024BytesIsNotSeen) {
  const std::string late = std::string(1024, ' ') + "<meta charset=utf-8>\xE4\xB8\xAD";
  EXPECT_EQ(Decode(late), late);
  const std::string early = std::string(1000, ' ') + "<meta charset=utf-8>\xE4\xB8\xAD";
  EXPECT_EQ(Decode(early), std::string(1000, ' ') + "<meta charset=utf-8>\xD6\xD0");
}

TEST(DecodeResponseTextTest, UnknownCharsetKeepsTheText) {
  const std::string page = "<meta charset=x-no-such-set>\xD6\xD0";
  EXPECT_EQ(Decode(page), page);
}

std::atomic<int> g_pumped{0};

TEST(DecodeResponseTextTest, OnlySamplesHoldingAMetaTagInAnyCaseAreSearched) {
  const struct {
    std::string_view sample;
    bool searched;
  } samples[] = {{"<html><META http-equiv", true},
                 {"x<MeTa", true},
                 {"<<meta", true},
                 {"<html><body>meta charset=utf-8</body>", false},
                 {"< meta charset=utf-8", false},
                 {"<met", false},
                 {"", false}};
  for (const auto& [sample, searched] : samples) {
    EXPECT_EQ(MayDeclareCharset(sample), searched) << sample;
  }
  // A declaration in upper case still decodes; the same page without "<meta" is left alone.
  const std::string utf8 = "<META charset=\"utf-8\">\xE4\xB8\xAD";
  EXPECT_EQ(Decode(utf8), "<META charset=\"utf-8\">\xD6\xD0");
  EXPECT_EQ(Decode("<xmeta charset=\"utf-8\">\xE4\xB8\xAD"),
            "<xmeta charset=\"utf-8\">\xE4\xB8\xAD");
}

TEST(DecodeResponseTextTest, ProcessesPendingMessagesOnce) {
  SetMessagePump([] { ++g_pumped; });
  g_pumped = 0;
  (void)Decode("<p>plain</p>");
  EXPECT_EQ(g_pumped.load(), 1);
  SetMessagePump(nullptr);
  (void)Decode("<p>plain</p>");
  EXPECT_EQ(g_pumped.load(), 1);
}

}  // namespace
}  // namespace ornivel
