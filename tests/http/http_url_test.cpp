#include "http/http_url.h"

#include <gtest/gtest.h>

namespace ornivel {
namespace {

TEST(CrackHttpUrlTest, SchemesHostsPortsAndObjectNames) {
  auto url = CrackHttpUrl("http://example.com/a/b?c=1");
  ASSERT_TRUE(url);
  EXPECT_FALSE(url->secure);
  EXPECT_EQ(url->host, "example.com");
  EXPECT_EQ(url->port, 80);
  EXPECT_EQ(url->objectName, "/a/b?c=1");

  url = CrackHttpUrl("HTTPS://Example.com:8443");
  ASSERT_TRUE(url);
  EXPECT_TRUE(url->secure);
  EXPECT_EQ(url->port, 8443);
  EXPECT_EQ(url->objectName, "/");

  url = CrackHttpUrl("http://[::1]:81/x");
  ASSERT_TRUE(url);
  EXPECT_EQ(url->host, "[::1]");
  EXPECT_EQ(url->port, 81);

  url = CrackHttpUrl("http://user:pw@h/");
  ASSERT_TRUE(url);
  EXPECT_EQ(url->host, "h");
}

TEST(CrackHttpUrlTest, QueryWithoutPathRequestsTheRootWithoutIt) {
  const auto url = CrackHttpUrl("http://h:8089?key=1");
  ASSERT_TRUE(url);
  EXPECT_EQ(url->objectName, "/");
  EXPECT_EQ(url->port, 8089);
}

TEST(CrackHttpUrlTest, RefusesOtherSchemesBadPortsAndControlCharacters) {
  EXPECT_FALSE(CrackHttpUrl(""));
  EXPECT_FALSE(CrackHttpUrl("example.com/"));
  EXPECT_FALSE(CrackHttpUrl("ftp://example.com/"));
  EXPECT_FALSE(CrackHttpUrl("file:///etc/passwd"));
  EXPECT_FALSE(CrackHttpUrl("http:///path"));
  EXPECT_FALSE(CrackHttpUrl("http://h:0/"));
  EXPECT_FALSE(CrackHttpUrl("http://h:65536/"));
  EXPECT_FALSE(CrackHttpUrl("http://h:8x/"));
  EXPECT_FALSE(CrackHttpUrl("http://h/a\r\nX-Injected: 1"));
  EXPECT_FALSE(CrackHttpUrl(std::string("http://h/a\0b", 12)));
  EXPECT_FALSE(CrackHttpUrl("http://h/\x7F"));
  EXPECT_FALSE(CrackHttpUrl("http://h/a\tb"));
  EXPECT_TRUE(IsSafeHttpUrl("Http://h/"));
  EXPECT_FALSE(IsSafeHttpUrl("javascript:alert(1)"));
}

TEST(ResolveLocationTest, ReferencesResolveAgainstTheAddressTheyCameFrom) {
  const HttpUrl base = *CrackHttpUrl("http://127.0.0.1:8089/webmusic/st/lookup?rid=7#top");
  EXPECT_EQ(ResolveLocation(base, "https://example.com/x?y#z"), "https://example.com/x?y");
  EXPECT_EQ(ResolveLocation(base, "ftp://127.0.0.1/file"), "ftp://127.0.0.1/file");
  EXPECT_EQ(ResolveLocation(base, "//other:81/a"), "http://other:81/a");
  EXPECT_EQ(ResolveLocation(base, "/to"), "http://127.0.0.1:8089/to");
  EXPECT_EQ(ResolveLocation(base, "next?rid=8"), "http://127.0.0.1:8089/webmusic/st/next?rid=8");
  EXPECT_EQ(ResolveLocation(base, "../a/./b/"), "http://127.0.0.1:8089/webmusic/a/b/");
  EXPECT_EQ(ResolveLocation(base, "../../../../up"), "http://127.0.0.1:8089/up");
  EXPECT_EQ(ResolveLocation(base, "/a/b/.."), "http://127.0.0.1:8089/a/");
  EXPECT_EQ(ResolveLocation(base, "?rid=9"), "http://127.0.0.1:8089/webmusic/st/lookup?rid=9");
  EXPECT_EQ(ResolveLocation(base, "#elsewhere"), "http://127.0.0.1:8089/webmusic/st/lookup?rid=7");
  EXPECT_EQ(ResolveLocation(base, ""), "http://127.0.0.1:8089/webmusic/st/lookup?rid=7");

  const HttpUrl secure = *CrackHttpUrl("HTTPS://[::1]/");
  EXPECT_EQ(ResolveLocation(secure, "//h/p"), "https://h/p");
  EXPECT_EQ(ResolveLocation(secure, "p q"), "https://[::1]:443/p q");
  // What comes out is an address CrackHttpUrl reads back as the same place.
  const auto back = CrackHttpUrl(ResolveLocation(base, "../x?y=1"));
  ASSERT_TRUE(back);
  EXPECT_EQ(back->host, "127.0.0.1");
  EXPECT_EQ(back->port, 8089);
  EXPECT_EQ(back->objectName, "/webmusic/x?y=1");
}

}  // namespace
}  // namespace ornivel
