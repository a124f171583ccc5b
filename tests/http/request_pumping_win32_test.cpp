// A request made on a thread with windows keeps them served while the server takes its time:
// a message posted to the window while the server holds its reply back is handled before the
// reply comes, on every hop of a redirect chain.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>

#include "http/http_request.h"
#include "tests/support/raw_http_server.h"
#include "tests/support/wait.h"

namespace ornivel {
namespace {

using test::HttpResponse;
using test::RawHttpServer;
using test::RawReply;

constexpr UINT kPing = WM_APP + 7;

std::atomic<int> g_pings{0};
std::atomic<DWORD> g_pingThread{0};

LRESULT CALLBACK PingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == kPing) {
    g_pingThread = GetCurrentThreadId();
    ++g_pings;
    return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

// A window of this thread's, which makes it a thread with a message queue.
class PingWindow {
 public:
  PingWindow() {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = &PingProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"OrnivelPingWindow";
    RegisterClassW(&windowClass);
    window_ = CreateWindowExW(0, windowClass.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE,
                              nullptr, windowClass.hInstance, nullptr);
  }
  ~PingWindow() { DestroyWindow(window_); }
  PingWindow(const PingWindow&) = delete;
  PingWindow& operator=(const PingWindow&) = delete;
  HWND get() const { return window_; }

 private:
  HWND window_ = nullptr;
};

TEST(RequestPumpingTest, TheWindowIsServedWhileTheServerHoldsTheReplyBack) {
  PingWindow window;
  ASSERT_NE(window.get(), nullptr);
  g_pings = 0;
  g_pingThread = 0;
  std::atomic<int> pingsBeforeReply{-1};
  // On each hop, three pings, each posted once the one before was handled; the reply goes after
  // the third (or after 10 s, when the window is not served: the count then shows it).
  RawHttpServer server([&](const std::string& request) {
    const int base = g_pings;
    for (int ping = 1; ping <= 3; ++ping) {
      PostMessageW(window.get(), kPing, 0, 0);
      if (!test::WaitUntil([&] { return g_pings >= base + ping; }, std::chrono::seconds(10))) {
        break;
      }
    }
    if (request.starts_with("GET / ")) {
      return RawReply{HttpResponse("302 Found", "Location: /held\r\n", "")};
    }
    pingsBeforeReply = g_pings.load();
    return RawReply{HttpResponse("200 OK", "", "late")};
  });
  HttpRequestParams params;
  params.url = server.url();
  EXPECT_EQ(HttpRequest(params), "late");
  EXPECT_EQ(pingsBeforeReply, 6);
  EXPECT_EQ(g_pingThread, GetCurrentThreadId());
}

}  // namespace
}  // namespace ornivel
