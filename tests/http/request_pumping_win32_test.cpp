// A request made on a thread with windows keeps them served while the server takes its time:
// a message posted to the window while the server holds its reply back is handled before the
// reply comes, on every hop of a redirect chain.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>

#include "http/http_request.h"
#include "tests/support/counting_window.h"
#include "tests/support/raw_http_server.h"
#include "tests/support/wait.h"

namespace ornivel {
namespace {

using test::HttpResponse;
using test::RawHttpServer;
using test::RawReply;

using test::CountingWindow;
using test::kPing;

TEST(RequestPumpingTest, TheWindowIsServedWhileTheServerHoldsTheReplyBack) {
  CountingWindow window;
  ASSERT_NE(window.get(), nullptr);
  const auto& counts = window.counts();
  std::atomic<int> pingsBeforeReply{-1};
  // On each hop, three pings, each posted once the one before was handled; the reply goes after
  // the third (or after 10 s, when the window is not served: the count then shows it).
  RawHttpServer server([&](const std::string& request) {
    const int base = counts.pings;
    for (int ping = 1; ping <= 3; ++ping) {
      PostMessageW(window.get(), kPing, 0, 0);
      if (!test::WaitUntil([&] { return counts.pings >= base + ping; }, std::chrono::seconds(10))) {
        break;
      }
    }
    if (request.starts_with("GET / ")) {
      return RawReply{HttpResponse("302 Found", "Location: /held\r\n", "")};
    }
    pingsBeforeReply = counts.pings.load();
    return RawReply{HttpResponse("200 OK", "", "late")};
  });
  HttpRequestParams params;
  params.url = server.url();
  EXPECT_EQ(HttpRequest(params), "late");
  EXPECT_EQ(pingsBeforeReply, 6);
  EXPECT_EQ(counts.pingThread, GetCurrentThreadId());
}

}  // namespace
}  // namespace ornivel
