#include "http/cookie_text.h"

#include <gtest/gtest.h>

#include "tests/support/gbk.h"

namespace ornivel {
namespace {

using test::Gbk;

TEST(SetCookiePairTest, KeepsOnlyTheFirstPair) {
  EXPECT_EQ(SetCookiePair("Set-Cookie: sid=abc; path=/"), "sid=abc");
  EXPECT_EQ(SetCookiePair("Set-Cookie: sid=abc"), "sid=abc");
  EXPECT_EQ(SetCookiePair("Set-Cookie: sid=abc;"), "sid=abc");
  EXPECT_EQ(SetCookiePair("Set-Cookie:sid=; Expires=Thu, 01 Jan 1970"), "sid=");
  EXPECT_EQ(SetCookiePair("set-cookie: a=1"), "a=1");  // removal ignores case
}

TEST(MergeCookiesTest, NewPairsWinAndComeFirst) {
  std::string cookies = "a=1; b=2";
  std::string fresh = "b=3; c=4";
  EXPECT_EQ(MergeCookies(cookies, fresh), "b=3; c=4; a=1");
  EXPECT_EQ(cookies, "b=3; c=4; a=1");
  EXPECT_EQ(fresh, "b=3;c=4");
}

TEST(MergeCookiesTest, DeletedCookiesDisappear) {
  std::string cookies = "a=1; b=2";
  std::string fresh = "a=deleted";
  EXPECT_EQ(MergeCookies(cookies, fresh), "b=2");
  // "=DELETED" is a value like any other: the rule is case-sensitive.
  cookies = "a=1";
  fresh = "a=DELETED";
  EXPECT_EQ(MergeCookies(cookies, fresh), "a=DELETED");
}

TEST(MergeCookiesTest, EmptyTextsAndRepeats) {
  std::string cookies, fresh;
  EXPECT_EQ(MergeCookies(cookies, fresh), "");
  EXPECT_EQ(cookies, "");
  cookies = "a=1; a=2; b=1";
  fresh = "";
  EXPECT_EQ(MergeCookies(cookies, fresh), "a=1; b=1");
  cookies = "";
  fresh = "x=1; x=1";
  EXPECT_EQ(MergeCookies(cookies, fresh), "x=1");
}

TEST(MergeCookiesTest, NamesAreCaseSensitive) {
  std::string cookies = "SID=1";
  std::string fresh = "sid=2";
  EXPECT_EQ(MergeCookies(cookies, fresh), "sid=2; SID=1");
}

TEST(CookieHelpersTest, NamesIndexesAndDistinctJoins) {
  EXPECT_EQ(CookieName(" sid =abc"), "sid");
  EXPECT_EQ(CookieName("flag"), "flag");
  EXPECT_EQ(CookieName("=v"), "");
  EXPECT_TRUE(HasCookie({"a=1", "b=2"}, "b"));
  EXPECT_FALSE(HasCookie({"a=1", "b=2"}, "B"));
  EXPECT_FALSE(HasCookie({}, ""));
  EXPECT_EQ(IndexOfText({"x", "y", "y"}, "y"), 2);
  EXPECT_EQ(IndexOfText({"x"}, "z"), -1);
  EXPECT_EQ(JoinDistinct("a=1; b=2; a=1", "; "), "a=1; b=2");
  EXPECT_EQ(JoinDistinct("", "; "), "");
  EXPECT_EQ(JoinDistinct("a,,a,", ","), "a,");
}

}  // namespace
}  // namespace ornivel
