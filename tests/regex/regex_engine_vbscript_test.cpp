// The platform class's engine (Windows only): while a run that backtracks without end is waited
// for, the thread's windows keep getting their messages, and a WM_QUIT that arrives meanwhile is
// left for the thread's own message loop.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "regex/regex_object.h"
#include "tests/support/counting_window.h"

namespace ornivel {
namespace {

using test::CountingWindow;
using test::kPing;

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
