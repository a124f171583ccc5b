// The platform class's engine (Windows only): while a run that backtracks without end is waited
// for, the thread's windows keep getting their messages, and a WM_QUIT that arrives meanwhile is
// left for the thread's own message loop.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "regex/regex_object.h"

namespace ornivel {
namespace {

constexpr UINT kPing = WM_APP + 1;

struct Counts {
  int timerTicks = 0;
  int pings = 0;
};

LRESULT CALLBACK CountingWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* counts = reinterpret_cast<Counts*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (counts != nullptr && message == WM_TIMER) ++counts->timerTicks;
  if (counts != nullptr && message == kPing) ++counts->pings;
  return DefWindowProcW(window, message, wParam, lParam);
}

// A message-only window of the calling thread that counts its timer ticks and pings (a top-level
// window needs a display, which Wine may not have here; the messages flow the same way).
class CountingWindow {
 public:
  CountingWindow() {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = &CountingWindowProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = kClassName;
    RegisterClassW(&windowClass);  // fails harmlessly when an earlier test registered it
    window_ = CreateWindowExW(0, kClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                              windowClass.hInstance, nullptr);
    if (window_ != nullptr) {
      SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&counts_));
    }
  }
  ~CountingWindow() {
    if (window_ != nullptr) DestroyWindow(window_);
  }
  CountingWindow(const CountingWindow&) = delete;
  CountingWindow& operator=(const CountingWindow&) = delete;

  HWND get() const { return window_; }
  const Counts& counts() const { return counts_; }

 private:
  static constexpr const wchar_t* kClassName = L"OrnivelCountingWindow";
  HWND window_ = nullptr;
  Counts counts_;
};

// 40 letters and then one that defeats "(a+)+$": about 2^40 ways to try.
const std::string kRunawaySubject = std::string(40, 'a') + "b";

TEST(VbscriptEngineTest, WindowKeepsGettingItsMessagesWhileARunawayRunIsWaitedFor) {
  CountingWindow window;
  ASSERT_NE(window.get(), nullptr);
  ASSERT_NE(SetTimer(window.get(), 1, 20, nullptr), 0u);
  ASSERT_TRUE(PostMessageW(window.get(), kPing, 0, 0));
  RegexObject regex;
  // Nothing dispatches the thread's messages but the wait inside Create.
  EXPECT_TRUE(regex.Create("(a+)+$", kRunawaySubject, {.caseSensitive = true}));
  KillTimer(window.get(), 1);
  EXPECT_EQ(regex.MatchCount(), 0);
  EXPECT_EQ(window.counts().pings, 1);
  // A 20 ms timer over a wait of seconds: many ticks; two show that the wait did not stop at one.
  EXPECT_GE(window.counts().timerTicks, 2);
}

TEST(VbscriptEngineTest, QuitMessageDuringTheWaitIsLeftForTheMessageLoop) {
  CountingWindow window;
  ASSERT_NE(window.get(), nullptr);
  ASSERT_TRUE(PostMessageW(window.get(), kPing, 0, 0));
  PostQuitMessage(7);
  RegexObject regex;
  EXPECT_TRUE(regex.Create("(a+)+$", kRunawaySubject, {.caseSensitive = true}));
  EXPECT_EQ(window.counts().pings, 1);
  MSG message;
  ASSERT_TRUE(PeekMessageW(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
  EXPECT_EQ(message.wParam, 7u);
  // Once: the wait posted it again only for the one it took.
  EXPECT_FALSE(PeekMessageW(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
}

TEST(VbscriptEngineTest, RunsThatEndInTimeAreNotDisturbedByTheWindowsMessages) {
  CountingWindow window;
  ASSERT_NE(window.get(), nullptr);
  ASSERT_NE(SetTimer(window.get(), 1, 1, nullptr), 0u);
  RegexObject regex;
  // Many short runs while a 1 ms timer keeps the queue busy.
  for (int n = 0; n < 50; ++n) {
    ASSERT_TRUE(regex.Create("(\\w)(\\d)", "a1 b2 c3"));
    ASSERT_EQ(regex.MatchCount(), 3);
    EXPECT_EQ(regex.SubMatchText(3, 2), "3");
  }
  KillTimer(window.get(), 1);
}

}  // namespace
}  // namespace ornivel
