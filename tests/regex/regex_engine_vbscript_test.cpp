// The platform class's engine (Windows only): while a run that backtracks without end is waited
// for, the thread's windows keep getting their messages, and a WM_QUIT that arrives meanwhile is
// left for the thread's own message loop; a run the class does not finish in time is done by
// PCRE2 whole, and runaway runs leave one thread behind at most.
#include <windows.h>
// After windows.h, whose types it uses.
#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "regex/regex_engines.h"
#include "regex/regex_object.h"
#include "service/song_record_pattern.h"
#include "tests/support/counting_window.h"
#include "tests/support/gbk.h"
#include "tests/support/search_reply.h"
#include "tests/support/wait.h"

namespace ornivel {
namespace {

using test::CountingWindow;
using test::kPing;

// 22 letters and then one that defeats "(a+)+$": about 2^22 ways to try, which keep the class
// busy for about a second here (four times as long for every two letters more), five times the
// time limit the tests give it. So a helper given up ends by itself soon after.
const std::string kRunawaySubject = std::string(22, 'a') + "b";

// Waits until no abandoned helper is left (each test's runaway ends within seconds); false
// after two minutes (times the time scale).
bool NoAbandonedHelperLeft() {
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::minutes(2) * test::TimeScale();
  while (AbandonedVbscriptHelpers() != 0) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

// Each test starts with the class free (not busy with a run an earlier test gave up) and gives
// it 200 ms, plus a second per million units, before PCRE2 does a run instead.
class VbscriptEngineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(NoAbandonedHelperLeft());
    SetVbscriptRunTimeFloor(std::chrono::milliseconds(200) * test::TimeScale());
  }
  void TearDown() override { SetVbscriptRunTimeFloor(std::chrono::seconds(3)); }
};

TEST_F(VbscriptEngineTest, WindowKeepsGettingItsMessagesWhileARunawayRunIsWaitedFor) {
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
  // A 20 ms timer over a wait of 200 ms: several ticks; two show that the wait did not stop at
  // one.
  EXPECT_GE(window.counts().timerTicks, 2);
}

// Keys that reached the window below.
std::atomic<int> g_keysDown{0};

LRESULT CALLBACK KeyCountingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_KEYDOWN) ++g_keysDown;
  return DefWindowProcW(window, message, wParam, lParam);
}

TEST_F(VbscriptEngineTest, KeysAndClicksWaitUntilTheRunIsDone) {
  // A window in front with the focus, as the main window is when its search is parsed.
  WNDCLASSW windowClass{};
  windowClass.lpfnWndProc = &KeyCountingProc;
  windowClass.hInstance = GetModuleHandleW(nullptr);
  windowClass.lpszClassName = L"OrnivelKeyCountingWindow";
  RegisterClassW(&windowClass);
  HWND window = CreateWindowExW(0, windowClass.lpszClassName, L"keys", WS_OVERLAPPEDWINDOW, 0, 0,
                                200, 100, nullptr, nullptr, windowClass.hInstance, nullptr);
  ASSERT_NE(window, nullptr);
  ShowWindow(window, SW_SHOWNORMAL);
  SetForegroundWindow(window);
  SetFocus(window);
  MSG message;
  const auto settle = std::chrono::steady_clock::now() + std::chrono::milliseconds(300);
  while (std::chrono::steady_clock::now() < settle) {
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
    Sleep(10);
  }
  ASSERT_EQ(GetFocus(), window);
  g_keysDown = 0;
  // A key typed just before the run: in the thread's input queue during the whole wait.
  INPUT key[2] = {};
  key[0].type = key[1].type = INPUT_KEYBOARD;
  key[0].ki.wVk = key[1].ki.wVk = 'A';
  key[1].ki.dwFlags = KEYEVENTF_KEYUP;
  ASSERT_EQ(SendInput(2, key, sizeof(INPUT)), 2u);
  ASSERT_NE(SetTimer(window, 1, 20, nullptr), 0u);
  RegexObject regex;
  EXPECT_TRUE(regex.Create("(a+)+$", kRunawaySubject, {.caseSensitive = true}));
  KillTimer(window, 1);
  EXPECT_EQ(g_keysDown.load(), 0);  // not handled inside the wait
  // The program's loop takes it afterwards.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (g_keysDown.load() == 0 && std::chrono::steady_clock::now() < deadline) {
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
    Sleep(10);
  }
  EXPECT_EQ(g_keysDown.load(), 1);
  DestroyWindow(window);
}

TEST_F(VbscriptEngineTest, QuitMessageDuringTheWaitIsLeftForTheMessageLoop) {
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

TEST_F(VbscriptEngineTest, RunsThatEndInTimeAreNotDisturbedByTheWindowsMessages) {
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

// The threads of this process.
int ThreadCount() {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return -1;
  int count = 0;
  THREADENTRY32 entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
    if (entry.th32OwnerProcessID == GetCurrentProcessId()) ++count;
  }
  CloseHandle(snapshot);
  return count;
}

TEST_F(VbscriptEngineTest, ASlowMachineLosesNoRecords) {
  // With no time at all for the class, as on a machine far slower than any in use, a one-line
  // reply of 500 records is given up at once and read whole by PCRE2.
  SetVbscriptRunTimeFloor(std::chrono::milliseconds(0));
  const std::string reply = test::Gbk(test::OneLineSearchReply(500));
  for (int round = 0; round < 3; ++round) {
    SCOPED_TRACE(round);
    RegexObject regex;
    ASSERT_TRUE(regex.Create(kSongRecordPattern, reply, kSongRecordOptions));
    ASSERT_EQ(regex.MatchCount(), 500);
    for (const int n : {1, 250, 500}) {
      EXPECT_EQ(regex.SubMatchText(n, 1), test::RecordIdentifier(n));
      EXPECT_EQ(regex.SubMatchText(n, 5), test::Gbk(test::RecordSinger(n)));
    }
    EXPECT_LE(AbandonedVbscriptHelpers(), 1);
  }
  // The helper given up finishes its run by itself and ends.
  EXPECT_TRUE(NoAbandonedHelperLeft());
}

TEST_F(VbscriptEngineTest, RunawayRunsLeaveOneThreadBehindAtMost) {
  RegexObject regex;
  ASSERT_TRUE(regex.Create("(a)", "a"));  // the helper is made
  const int threadsBefore = ThreadCount();
  ASSERT_GT(threadsBefore, 0);
  for (int round = 0; round < 4; ++round) {
    SCOPED_TRACE(round);
    // Each one keeps the class busy five times longer than it may take.
    ASSERT_TRUE(regex.Create("(a+)+$", "aa\n" + kRunawaySubject, {.caseSensitive = true}));
    ASSERT_EQ(regex.MatchCount(), 1);  // the match before the runaway place
    EXPECT_EQ(regex.SubMatchText(1, 1), "aa");
    // Ordinary runs meanwhile are done, and done right.
    ASSERT_TRUE(regex.Create("(\\w)(\\d)", "a1 b2 c3"));
    ASSERT_EQ(regex.MatchCount(), 3);
    EXPECT_EQ(regex.SubMatchText(3, 2), "3");
    EXPECT_LE(AbandonedVbscriptHelpers(), 1);
    EXPECT_LE(ThreadCount(), threadsBefore + 1);
  }
}

}  // namespace
}  // namespace ornivel
