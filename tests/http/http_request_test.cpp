#include "http/http_request.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <future>
#include <limits>
#include <mutex>
#include <optional>

#include "tests/support/closed_port.h"
#include "tests/support/gbk.h"
#include "tests/support/platform.h"
#include "tests/support/raw_http_server.h"
#include "tests/support/tinyproxy.h"
#include "text/message_pump.h"

namespace ornivel {
namespace {

using test::Gbk;
using test::HttpResponse;
using test::RawHttpServer;
using test::RawReply;
using test::Tinyproxy;

RawReply Ok(const std::string& body = "ok", const std::string& headers = "") {
  return {HttpResponse("200 OK", headers, body)};
}

// The lines the platform's HTTP service adds to the caller's. libcurl writes the Host line
// first and nothing after the caller's lines. WinHTTP (Wine's, which the Windows tests run on)
// writes its Host line and a Connection: Keep-Alive line after the caller's lines.
std::string HostLine(int port) {
  std::string line = "Host: 127.0.0.1:";
  return line.append(std::to_string(port)).append("\r\n");
}
std::string PlatformLinesBefore(int port) {
  return test::kWindowsBackends ? std::string() : HostLine(port);
}
std::string PlatformLinesAfter(int port) {
  return test::kWindowsBackends ? HostLine(port).append("Connection: Keep-Alive\r\n")
                                : std::string();
}

TEST(HttpRequestTest, PlainGetSendsExactlyTheSixDefaultLines) {
  RawHttpServer server([](const std::string&) { return Ok("hello"); });
  HttpRequestParams params;
  params.url = server.url("/path?q=1");
  EXPECT_EQ(HttpRequest(params), "hello");
  EXPECT_EQ(params.status, "200 OK");
  ASSERT_EQ(server.requests().size(), 1u);
  std::string expected = "GET /path?q=1 HTTP/1.1\r\n";
  expected.append(PlatformLinesBefore(server.port()))
      .append(
          "User-Agent: Mozilla/5.0 (compatible; MSIE 9.0; Windows NT 6.1; WOW64; Trident/5.0)\r\n"
          "Accept: text/html, application/xhtml+xml, */*\r\n"
          "Accept-Encoding: gbk, GB2312\r\n"
          "Accept-Language: zh-cn\r\n"
          "Content-Type: application/x-www-form-urlencoded\r\n"
          "Cache-Control: no-cache\r\n")
      .append(PlatformLinesAfter(server.port()))
      .append("\r\n");
  EXPECT_EQ(server.requests()[0], expected);
}

TEST(HttpRequestTest, ProbesIgnoreCaseButContentTypeIsExact) {
  RawHttpServer server([](const std::string&) { return Ok(); });
  HttpRequestParams params;
  params.url = server.url();
  params.extraHeaders = "user-agent: X\r\ncontent-type: text/plain\r\nX-Extra: 1";
  (void)HttpRequest(params);
  const std::string request = server.requests().at(0);
  EXPECT_NE(request.find("user-agent: X\r\n"), std::string::npos);
  EXPECT_EQ(request.find("MSIE"), std::string::npos);
  EXPECT_NE(request.find("X-Extra: 1\r\n"), std::string::npos);
  // The default Content-Type line is added too, and a later line of a name replaces the
  // earlier one, as the platform adds header lines.
  EXPECT_NE(request.find("Content-Type: application/x-www-form-urlencoded\r\n"), std::string::npos);
  EXPECT_EQ(request.find("text/plain"), std::string::npos);
}

TEST(HttpRequestTest, CookieLineOnlyForSuppliedNonEmptyCookies) {
  RawHttpServer server([](const std::string&) { return Ok(); });
  HttpRequestParams params;
  params.url = server.url();
  params.cookies = "a=1; b=2";
  (void)HttpRequest(params);
  HttpRequestParams empty;
  empty.url = server.url();
  empty.cookies = "";
  (void)HttpRequest(empty);
  const auto requests = server.requests();
  ASSERT_EQ(requests.size(), 2u);
  std::string ending = "Cache-Control: no-cache\r\nCookie: a=1; b=2\r\n";
  ending.append(PlatformLinesAfter(server.port())).append("\r\n");
  EXPECT_TRUE(requests[0].ends_with(ending)) << requests[0];
  EXPECT_EQ(requests[1].find("Cookie:"), std::string::npos);
}

TEST(HttpRequestTest, VerbsAndBodies) {
  RawHttpServer server([](const std::string&) { return Ok(); });
  for (const auto& [method, verb] : std::vector<std::pair<int, std::string>>{
           {0, "GET"}, {1, "POST"}, {3, "PUT"}, {7, "GET"}, {-1, "GET"}}) {
    HttpRequestParams params;
    params.url = server.url("/v");
    params.method = static_cast<HttpMethod>(method);  // numbers as a caller gives them
    params.body = "k=v&x=" + verb;
    (void)HttpRequest(params);
    const std::string request = server.requests().back();
    EXPECT_EQ(request.substr(0, verb.size() + 4), verb + " /v ") << method;
    EXPECT_NE(request.find("Content-Length: " + std::to_string(params.body.size())),
              std::string::npos);
    EXPECT_EQ(request.substr(request.size() - params.body.size()), params.body) << method;
  }
  HttpRequestParams head;
  head.url = server.url("/h");
  head.method = HttpMethod::kHead;
  EXPECT_EQ(HttpRequest(head), "");
  EXPECT_EQ(head.status, "200 OK");
  EXPECT_EQ(server.requests().back().substr(0, 8), "HEAD /h ");
}

TEST(HttpRequestTest, QueryWithoutPathRequestsTheRoot) {
  RawHttpServer server([](const std::string&) { return Ok(); });
  (void)HttpRequest("http://127.0.0.1:" + std::to_string(server.port()) + "?key=1");
  EXPECT_EQ(server.requests().at(0).substr(0, 16), "GET / HTTP/1.1\r\n");
}

TEST(HttpRequestTest, TimeoutsAreSecondsTimesAThousandOrThirtySeconds) {
  EXPECT_EQ(RequestTimeoutMs(5), 5000);
  EXPECT_EQ(RequestTimeoutMs(0), 30000);
  EXPECT_EQ(RequestTimeoutMs(-1), 30000);
  // No overflow where long has 32 bits (Windows, 2147483647 ms, about 24.8 days): the longest
  // time-out it holds instead; where long has 64 bits the product itself.
  const long longest = RequestTimeoutMs(2147483647);
  if (sizeof(long) == 4) {
    EXPECT_EQ(longest, 2147483647L);
    EXPECT_EQ(RequestTimeoutMs(2147484), 2147483647L);  // the first second past it
  } else {
    EXPECT_EQ(static_cast<long long>(longest), 2147483647000LL);
  }
  EXPECT_EQ(RequestTimeoutMs(2147483), 2147483000L);
}

TEST(HttpRequestTest, SilentServerGives712AfterTheTimeout) {
  RawHttpServer server([](const std::string&) { return RawReply{"", {}, true}; });
  HttpRequestParams params;
  params.url = server.url();
  params.timeoutSeconds = 1;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(HttpRequest(params), "");
  const auto elapsed = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(params.status, Gbk("712 服务器未响应!"));
  EXPECT_GE(elapsed, std::chrono::milliseconds(900));
  EXPECT_LT(elapsed, std::chrono::seconds(5));
}

TEST(HttpRequestTest, TimeoutBoundsTheWaitOnAConnectionKeptAliveForARedirect) {
  // The redirect's target is asked for on the same connection, which the server never reads
  // again: the connection stands, so nothing but the routine's own time-out ends the wait.
  RawHttpServer server([](const std::string&) {
    return RawReply{
        "HTTP/1.1 302 Found\r\nLocation: /next\r\nContent-Length: 5\r\n\r\nmoved", {}, true};
  });
  for (const HttpMethod method : {HttpMethod::kGet, HttpMethod::kPost}) {
    HttpRequestParams params;
    params.url = server.url("/start");
    params.method = method;
    params.body = method == HttpMethod::kPost ? "k=v" : "";
    params.timeoutSeconds = 1;
    const auto start = std::chrono::steady_clock::now();
    auto call = std::async(std::launch::async, [&params] { return HttpRequest(params); });
    // A hang guard, not a measurement: three time-outs leave room for a loaded machine.
    const bool returned = call.wait_for(std::chrono::seconds(3)) == std::future_status::ready;
    // Lets a hanging call end: each redirect it follows on a new connection is held in turn.
    while (call.wait_for(std::chrono::milliseconds(100)) != std::future_status::ready) {
      server.CloseHeldConnections();
    }
    const std::string text = call.get();
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_TRUE(returned) << "method " << static_cast<int>(method) << " waited "
                          << std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count()
                          << " ms";
    EXPECT_EQ(text, "") << static_cast<int>(method);
    EXPECT_EQ(params.status, Gbk("712 服务器未响应!")) << static_cast<int>(method);
  }
  // Both redirects went out on the kept connections: the server read only the first requests.
  const auto requests = server.requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0].substr(0, 16), "GET /start HTTP/");
  EXPECT_EQ(requests[1].substr(0, 17), "POST /start HTTP/");
}

TEST(HttpRequestTest, RepliesThatAreNotHttpGive712) {
  const std::vector<std::pair<std::string, bool>> replies = {
      {"SSH-2.0-OpenSSH_9.2p1 Debian-2+deb12u3\r\n", true},  // waits for the client's banner
      {"220 mail.example.test ESMTP Postfix\r\n", false},
      {std::string("\x15\x03\x01\x00\x02\x02\x46", 7), false},  // a TLS alert
      {"<html>no status line</html>\n", false},
  };
  for (const auto& [bytes, holdOpen] : replies) {
    RawHttpServer server([&](const std::string&) { return RawReply{bytes, {}, holdOpen}; });
    HttpRequestParams params;
    params.url = server.url("/search?key=1");
    params.timeoutSeconds = 5;
    EXPECT_EQ(HttpRequest(params), "") << bytes;
    EXPECT_EQ(params.status, Gbk("712 服务器未响应!")) << bytes;
    EXPECT_EQ(params.responseHeaders, "") << bytes;
    EXPECT_EQ(server.requests().size(), 1u) << bytes;
  }
}

TEST(HttpRequestTest, ServerClosingBeforeAnsweringGives712) {
  RawHttpServer server([](const std::string&) { return RawReply{}; });
  HttpRequestParams params;
  params.url = server.url();
  EXPECT_EQ(HttpRequest(params), "");
  EXPECT_EQ(params.status, Gbk("712 服务器未响应!"));
}

TEST(HttpRequestTest, UnreachablePortGives711AndAnEmptyResult) {
  const test::ClosedPort closed;
  ASSERT_NE(closed.port(), 0);
  HttpRequestParams params;
  params.url = "http://" + closed.host() + "/";
  EXPECT_EQ(HttpRequest(params), "");
  EXPECT_EQ(params.status, Gbk("711 发送请求失败!"));
  EXPECT_TRUE(params.responseBytes.empty());
  EXPECT_EQ(params.responseHeaders, "");
}

TEST(HttpRequestTest, UnparsableOrUnsafeUrlsGive701) {
  for (const std::string url :
       {"not a url", "ftp://127.0.0.1/", "http://127.0.0.1/a\r\nX-Injected: 1", "http://:80/"}) {
    HttpRequestParams params;
    params.url = url;
    EXPECT_EQ(HttpRequest(params), "") << url;
    EXPECT_EQ(params.status, Gbk("701 解析URL地址失败!")) << url;
  }
}

TEST(HttpRequestTest, ControlCharactersInAnAddressNeverReachTheWire) {
  RawHttpServer server([](const std::string&) { return Ok(); });
  for (const std::string tail : {"a\r\nX-Injected: 1", "a\nb", "a\tb", "a\x7F", "?q=\x01"}) {
    HttpRequestParams params;
    params.url = server.url("/") + tail;
    EXPECT_EQ(HttpRequest(params), "") << tail;
    EXPECT_EQ(params.status, Gbk("701 解析URL地址失败!")) << tail;
  }
  EXPECT_TRUE(server.requests().empty());
  // A redirect to such an address is not followed: the redirect itself is the answer.
  RawHttpServer redirecting([](const std::string&) {
    return RawReply{HttpResponse("302 Found", "Location: /next\x01X-Injected: 1\r\n", "moved")};
  });
  HttpRequestParams params;
  params.url = redirecting.url("/from");
  EXPECT_EQ(HttpRequest(params), "moved");
  EXPECT_EQ(params.status, "302 Found");
  EXPECT_EQ(redirecting.requests().size(), 1u);
}

TEST(HttpRequestTest, BodyCutShortKeepsWhatArrivedAndReports713) {
  RawHttpServer server([](const std::string&) {
    return RawReply{"HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n0123456789"};
  });
  HttpRequestParams params;
  params.url = server.url();
  EXPECT_EQ(HttpRequest(params), "0123456789");
  EXPECT_EQ(params.status, Gbk("713 读取数据失败!"));
  EXPECT_EQ(params.responseBytes.size(), 10u);
  EXPECT_NE(params.responseHeaders.find("Content-Length: 100"), std::string::npos);
}

TEST(HttpRequestTest, BodyLargerThan64MiBIsCutThere) {
  const std::size_t limit = 64u << 20;
  RawHttpServer server([&](const std::string&) {
    return RawReply{"HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(limit + 4096) +
                    "\r\n\r\n" + std::string(limit + 4096, 'x')};
  });
  HttpRequestParams params;
  params.url = server.url();
  const std::string text = HttpRequest(params);
  EXPECT_EQ(params.status, Gbk("713 读取数据失败!"));
  EXPECT_EQ(params.responseBytes.size(), limit);
  EXPECT_EQ(text.size(), limit);
}

TEST(HttpRequestTest, HttpErrorStatusIsASuccessfulExchange) {
  RawHttpServer server(
      [](const std::string&) { return RawReply{HttpResponse("404 Not Found", "", "missing")}; });
  HttpRequestParams params;
  params.url = server.url();
  EXPECT_EQ(HttpRequest(params), "missing");
  EXPECT_EQ(params.status, "404 Not Found");
}

TEST(HttpRequestTest, SetCookieLinesInAnyCaseAreNormalisedAndMerged) {
  RawHttpServer server([](const std::string&) {
    return Ok("", "Set-Cookie: a=1; path=/\r\nset-cookie: b=2\r\nSET-COOKIE: c=deleted\r\n");
  });
  HttpRequestParams params;
  params.url = server.url();
  params.cookies = "b=0; c=3; d=4";
  (void)HttpRequest(params);
  EXPECT_EQ(params.newCookies, "a=1;b=2;c=deleted");
  EXPECT_EQ(*params.cookies, "a=1; b=2; d=4");
  EXPECT_NE(params.responseHeaders.find("\r\nSet-Cookie: b=2\r\n"), std::string::npos);
  EXPECT_NE(params.responseHeaders.find("\r\nSet-Cookie: c=deleted\r\n"), std::string::npos);
  EXPECT_EQ(params.responseHeaders.find("set-cookie"), std::string::npos);

  HttpRequestParams plain;
  plain.url = server.url();
  (void)HttpRequest(plain);
  EXPECT_EQ(plain.newCookies, "a=1; b=2; c=deleted");
  EXPECT_FALSE(plain.cookies.has_value());
}

TEST(HttpRequestTest, ResponseWithoutSetCookieGivesNoNewCookies) {
  RawHttpServer server([](const std::string&) { return Ok(); });
  HttpRequestParams params;
  params.url = server.url();
  params.newCookies = "stale";
  (void)HttpRequest(params);
  EXPECT_EQ(params.newCookies, "");
}

// Kept-alive replies, as a web server gives them: the hops of a redirect may share a connection.
RawReply KeptAlive(const std::string& status, const std::string& headers, const std::string& body) {
  return {test::KeptAliveResponse(status, headers, body), {}, false, true};
}

TEST(HttpRequestTest, RedirectsAreFollowedUnlessTurnedOff) {
  RawHttpServer server([](const std::string& request) {
    if (test::RequestTarget(request) == "/from") {
      return KeptAlive("302 Found", "Location: /to\r\n", "moved");
    }
    return KeptAlive("200 OK", "", "arrived");
  });
  HttpRequestParams follow;
  follow.url = server.url("/from");
  EXPECT_EQ(HttpRequest(follow), "arrived");
  EXPECT_EQ(follow.status, "200 OK");
  EXPECT_EQ(follow.location, "");
  ASSERT_EQ(server.requests().size(), 2u);
  EXPECT_EQ(test::RequestTarget(server.requests()[1]), "/to");

  HttpRequestParams stay;
  stay.url = server.url("/from");
  stay.noRedirect = true;
  EXPECT_EQ(HttpRequest(stay), "moved");
  EXPECT_EQ(stay.status, "302 Found");
  EXPECT_EQ(stay.location, "/to");
  EXPECT_EQ(server.requests().size(), 3u);
}

TEST(HttpRequestTest, RedirectChainsEndAtOtherSchemesAndAfterTenHops) {
  std::atomic<int> hops{0};
  RawHttpServer server([&](const std::string& request) {
    if (test::RequestTarget(request) == "/ftp") {
      return KeptAlive("302 Found", "Location: ftp://127.0.0.1/file\r\n", "to ftp");
    }
    ++hops;
    return KeptAlive("302 Found", "Location: /loop\r\n", "again");
  });
  HttpRequestParams ftp;
  ftp.url = server.url("/ftp");
  EXPECT_EQ(HttpRequest(ftp), "to ftp");
  EXPECT_EQ(ftp.status, "302 Found");
  EXPECT_EQ(ftp.location, "ftp://127.0.0.1/file");

  HttpRequestParams loop;
  loop.url = server.url("/loop");
  EXPECT_EQ(HttpRequest(loop), "again");
  EXPECT_EQ(loop.status, "302 Found");
  EXPECT_EQ(hops.load(), 11);  // the first request and ten redirects
}

TEST(HttpRequestTest, RedirectsChangeTheVerbAsBrowsersDo) {
  struct Case {
    int method;
    int code;
    std::string nextVerb;
    bool bodyKept;
  };
  const std::vector<Case> cases = {
      {3, 303, "GET", false},  {1, 303, "GET", false}, {0, 303, "GET", false},
      {2, 303, "HEAD", false}, {1, 302, "GET", false}, {1, 301, "GET", false},
      {3, 302, "PUT", true},   {3, 301, "PUT", true},  {3, 307, "PUT", true},
      {1, 307, "POST", true},  {1, 308, "POST", true},
  };
  for (const Case& c : cases) {
    RawHttpServer server([&](const std::string& request) {
      if (request.find(" /upload ") != std::string::npos) {
        return RawReply{HttpResponse(std::to_string(c.code) + " Moved", "Location: /done\r\n", "")};
      }
      return Ok("done");
    });
    HttpRequestParams params;
    params.url = server.url("/upload");
    params.method = static_cast<HttpMethod>(c.method);
    params.body = std::string(3000, 'b') + "=1";
    const std::string label = std::to_string(c.method) + " " + std::to_string(c.code);
    EXPECT_EQ(HttpRequest(params), c.nextVerb == "HEAD" ? "" : "done") << label;
    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 2u) << label;
    EXPECT_EQ(requests[1].substr(0, c.nextVerb.size() + 7), c.nextVerb + " /done ") << label;
    EXPECT_EQ(requests[1].ends_with(params.body), c.bodyKept) << label;
    EXPECT_EQ(requests[1].find("Content-Length: ") != std::string::npos, c.bodyKept) << label;
  }
}

TEST(HttpRequestTest, HeadersEndingInABareLineFeedAreReadAsLines) {
  RawHttpServer server([](const std::string& request) {
    if (request.starts_with("GET /mixed ")) {
      return RawReply{
          "HTTP/1.1 200 OK\r\nSet-Cookie: a=1; path=/\nset-cookie: b=2\r\n"
          "Content-Length: 2\nConnection: close\n\r\nok"};
    }
    if (request.starts_with("GET /next ")) {
      return RawReply{"HTTP/1.1 200 OK\nContent-Length: 7\nConnection: close\n\narrived"};
    }
    return RawReply{
        "HTTP/1.1 302 Found\nLocation: /next\nSet-Cookie: sid=42; path=/\n"
        "Content-Length: 5\nConnection: close\n\nmoved"};
  });
  HttpRequestParams stay;
  stay.url = server.url("/from");
  stay.noRedirect = true;
  EXPECT_EQ(HttpRequest(stay), "moved");
  EXPECT_EQ(stay.status, "302 Found");
  EXPECT_EQ(stay.location, "/next");
  EXPECT_EQ(stay.newCookies, "sid=42");
  EXPECT_EQ(stay.responseHeaders,
            "HTTP/1.1 302 Found\r\nLocation: /next\r\nSet-Cookie: sid=42; path=/\r\n"
            "Content-Length: 5\r\nConnection: close\r\n\r\n");

  HttpRequestParams follow;
  follow.url = server.url("/from");
  EXPECT_EQ(HttpRequest(follow), "arrived");
  EXPECT_EQ(follow.status, "200 OK");
  EXPECT_EQ(follow.location, "");
  EXPECT_EQ(follow.responseHeaders,
            "HTTP/1.1 200 OK\r\nContent-Length: 7\r\nConnection: close\r\n\r\n");

  HttpRequestParams mixed;
  mixed.url = server.url("/mixed");
  mixed.cookies = "c=3";
  EXPECT_EQ(HttpRequest(mixed), "ok");
  EXPECT_EQ(mixed.status, "200 OK");
  EXPECT_EQ(mixed.newCookies, "a=1;b=2");
  EXPECT_EQ(*mixed.cookies, "a=1; b=2; c=3");
  EXPECT_EQ(mixed.responseHeaders,
            "HTTP/1.1 200 OK\r\nSet-Cookie: a=1; path=/\r\nSet-Cookie: b=2\r\n"
            "Content-Length: 2\r\nConnection: close\r\n\r\n");
}

// How many header lines of `request` have the name `name` (exact case).
int HeaderLineCount(const std::string& request, const std::string& name) {
  int count = 0;
  for (auto at = request.find("\r\n" + name + ":"); at != std::string::npos;
       at = request.find("\r\n" + name + ":", at + 2)) {
    ++count;
  }
  return count;
}

TEST(HttpRequestTest, EachHopOfARedirectSendsOneMergedCookieLine) {
  RawHttpServer server([](const std::string& request) {
    if (request.starts_with("GET /login ")) {
      return RawReply{
          HttpResponse("302 Found", "Set-Cookie: sid=42; Path=/\r\nLocation: /home\r\n", "")};
    }
    return Ok("home");
  });
  struct Case {
    std::optional<std::string> cookies;
    std::string extraHeaders;
    std::string firstLine;   // the Cookie line of the first request, or "" for none
    std::string secondLine;  // the one Cookie line of the redirected request
    // The same line from WinHTTP, whose cookie engine puts the pairs it keeps after the caller's.
    std::string windowsSecondLine;
  };
  const std::vector<Case> cases = {
      {"a=1", "", "Cookie: a=1", "Cookie: sid=42; a=1", "Cookie: a=1; sid=42"},
      {"a=1; b=2", "", "Cookie: a=1; b=2", "Cookie: sid=42; a=1; b=2", "Cookie: a=1; b=2; sid=42"},
      {"", "", "", "Cookie: sid=42", "Cookie: sid=42"},
      {"a=1", "Cookie: x=9", "Cookie: x=9", "Cookie: sid=42; x=9", "Cookie: x=9; sid=42"},
  };
  for (const Case& c : cases) {
    const std::size_t before = server.requests().size();
    HttpRequestParams params;
    params.url = server.url("/login");
    params.cookies = c.cookies;
    params.extraHeaders = c.extraHeaders;
    EXPECT_EQ(HttpRequest(params), "home") << c.secondLine;
    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), before + 2);
    const std::string& first = requests[before];
    const std::string& second = requests[before + 1];
    EXPECT_EQ(HeaderLineCount(first, "Cookie"), c.firstLine.empty() ? 0 : 1) << first;
    if (!c.firstLine.empty()) {
      EXPECT_NE(first.find("\r\n" + c.firstLine + "\r\n"), std::string::npos) << first;
    }
    EXPECT_EQ(HeaderLineCount(second, "Cookie"), 1) << second;
    const std::string& secondLine = test::kWindowsBackends ? c.windowsSecondLine : c.secondLine;
    EXPECT_NE(second.find("\r\n" + secondLine + "\r\n"), std::string::npos) << second;
  }
}

TEST(HttpRequestTest, CookiesSetDuringRedirectsReachTheNextHopOnlyWhenCookiesAreKept) {
  RawHttpServer server([](const std::string& request) {
    if (test::RequestTarget(request) == "/login") {
      return KeptAlive("302 Found", "Set-Cookie: sid=42; Path=/\r\nLocation: /home\r\n", "");
    }
    return KeptAlive("200 OK", "", "cookie=" + test::RequestHeader(request, "Cookie"));
  });
  HttpRequestParams kept;
  kept.url = server.url("/login");
  kept.cookies = "";
  EXPECT_EQ(HttpRequest(kept), "cookie=sid=42");

  HttpRequestParams dropped;
  dropped.url = server.url("/login");
  EXPECT_EQ(HttpRequest(dropped), "cookie=");
}

TEST(HttpRequestTest, BasicCredentialsOnlyWhenBothPartsAreGiven) {
  RawHttpServer server([](const std::string&) { return Ok(); });
  HttpRequestParams both;
  both.url = server.url();
  both.userName = "u";
  both.password = "p";
  (void)HttpRequest(both);
  HttpRequestParams nameOnly;
  nameOnly.url = server.url();
  nameOnly.userName = "u";
  (void)HttpRequest(nameOnly);
  const auto requests = server.requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_NE(requests[0].find("Authorization: Basic dTpw\r\n"), std::string::npos);
  EXPECT_EQ(requests[1].find("Authorization"), std::string::npos);
}

TEST(HttpRequestTest, DeclaredUtf8PageComesBackAsGbk) {
  RawHttpServer server([](const std::string&) {
    return Ok("<html><head><meta charset=\"UTF-8\"></head><body>中文</body></html>");
  });
  HttpRequestParams params;
  params.url = server.url();
  EXPECT_EQ(HttpRequest(params),
            Gbk("<html><head><meta charset=\"UTF-8\"></head><body>中文</body></html>"));
  // The bytes themselves are kept as they came.
  EXPECT_EQ(std::string(params.responseBytes.begin(), params.responseBytes.end()),
            "<html><head><meta charset=\"UTF-8\"></head><body>中文</body></html>");
}

TEST(HttpRequestTest, PagesDeclaringTheGbkFamilyInAnyCaseKeepEveryCharacter) {
  // 镕 (E9 46) lies outside the strict GB2312 table; code page 936 has it.
  const std::string body = "\xE9\x46\xD6\xD0\xCE\xC4";
  for (const std::string name : {"GB2312", "gb2312", "GBK", "x-gbk", "EUC-CN", "cp936"}) {
    const std::string page =
        "<html><head><meta http-equiv=\"Content-Type\" "
        "content=\"text/html; charset=" +
        name + "\"></head><body>" + body + "</body></html>";
    RawHttpServer server([&](const std::string&) { return Ok(page); });
    HttpRequestParams params;
    params.url = server.url();
    EXPECT_EQ(HttpRequest(params), page) << name;
  }
}

TEST(HttpRequestTest, ChunkedBodyCutShortBeforeItsLastChunk) {
  // Two chunks, then the connection closes without the last chunk.
  RawHttpServer server([](const std::string&) {
    return RawReply{
        "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n"
        "5\r\nhello\r\n6\r\n world\r\n"};
  });
  HttpRequestParams params;
  params.url = server.url();
  EXPECT_EQ(HttpRequest(params), "hello world");
  if (test::kWindowsBackends) {
    // Wine's WinHTTP ends such a body quietly, as if it were whole: the status line stands.
    // (The song transfer over WinINet is pinned the same way in its tests.)
    EXPECT_EQ(params.status, "200 OK");
  } else {
    EXPECT_EQ(params.status, HttpFailureMessage(HttpFailure::kRead));
  }
}

TEST(HttpRequestTest, GoesThroughARealProxy) {
  RawHttpServer server([](const std::string&) { return Ok("via proxy"); });
  Tinyproxy proxy;
  ASSERT_TRUE(proxy.started()) << "tinyproxy could not be started (scripts/setup installs it)";
  HttpRequestParams params;
  params.url = server.url("/p");
  params.proxy = "127.0.0.1:" + std::to_string(proxy.port());
  if (test::kWindowsBackends) {
    // An http address names its proxy to WinHTTP as "http=127.0.0.1:PORT", a proxy for http
    // alone. Windows reads that form; Wine's WinHTTP takes all of it for the proxy's host name,
    // which does not resolve: the request never leaves, as for any unreachable proxy.
    EXPECT_EQ(HttpRequest(params), "");
    EXPECT_EQ(params.status, Gbk("711 发送请求失败!"));
    EXPECT_TRUE(server.requests().empty());
  } else {
    EXPECT_EQ(HttpRequest(params), "via proxy");
    EXPECT_EQ(params.status, "200 OK");
    ASSERT_EQ(server.requests().size(), 1u);
    EXPECT_NE(server.requests()[0].find("tinyproxy"), std::string::npos);  // its Via line
  }

  HttpRequestParams direct;
  direct.url = server.url("/d");
  EXPECT_EQ(HttpRequest(direct), "via proxy");
  EXPECT_EQ(server.requests().back().find("tinyproxy"), std::string::npos);
}

}  // namespace
}  // namespace ornivel
