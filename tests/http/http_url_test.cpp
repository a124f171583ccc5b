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

}  // namespace
}  // namespace ornivel
