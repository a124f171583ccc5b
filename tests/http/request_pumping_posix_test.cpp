// A request keeps the program responsive while the server takes its time (libcurl's wait runs
// the program's message pump).
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>

#include "http/http_request.h"
#include "tests/support/raw_http_server.h"
#include "text/message_pump.h"

namespace ornivel {
namespace {

using test::HttpResponse;
using test::RawHttpServer;
using test::RawReply;

// The pump counts only while the server holds its reply back, and the server holds it until
// the pump has run five times (or a deadline passes): a wait that does not pump leaves the count
// at 0, however often the routine pumps before and after it.
struct HeldReply {
  std::mutex mutex;
  std::condition_variable changed;
  bool holding = false;
  int pumps = 0;
};
HeldReply g_held;

TEST(HttpRequestTest, MessagesArePumpedWhileTheServerHoldsTheReplyBack) {
  constexpr int kPumpsWanted = 5;
  RawHttpServer server([](const std::string&) {
    std::unique_lock lock(g_held.mutex);
    g_held.holding = true;
    g_held.changed.wait_for(lock, std::chrono::seconds(10),
                            [] { return g_held.pumps >= kPumpsWanted; });
    g_held.holding = false;
    return RawReply{HttpResponse("200 OK", "", "late")};
  });
  {
    std::lock_guard lock(g_held.mutex);
    g_held.pumps = 0;
  }
  SetMessagePump([] {
    std::lock_guard lock(g_held.mutex);
    if (g_held.holding) ++g_held.pumps;
    g_held.changed.notify_all();
  });
  HttpRequestParams params;
  params.url = server.url();
  params.timeoutSeconds = 30;
  EXPECT_EQ(HttpRequest(params), "late");
  SetMessagePump(nullptr);
  std::lock_guard lock(g_held.mutex);
  EXPECT_GE(g_held.pumps, kPumpsWanted);
}

}  // namespace
}  // namespace ornivel
