// The Linux programs the tests start through Wine (the catalog, kill, the proxy) leave this
// process's own handles alone: the pooled helpers' events, the sockets and files of the tests
// running beside them.
#include <windows.h>

#include <gtest/gtest.h>

#include <vector>

#include "tests/support/host_process.h"

namespace ornivel::test {
namespace {

// Leaves `value` in the stack below the caller's frame, where the next call's locals will lie:
// one that reads a local it never set reads `value`.
__attribute__((noinline)) void LeaveOnTheStack(HANDLE value) {
  volatile HANDLE spray[8192];
  for (auto& slot : spray) slot = value;
}

TEST(HostProcessTest, StartingLinuxProgramsClosesNoHandleOfThisProcess) {
  // Events not set, as a waiting helper's are; a closed one, or one whose number now names
  // another object (a file, a finished thread: both signalled), no longer reads as unset.
  std::vector<HANDLE> events;
  for (int i = 0; i < 300; ++i) {
    HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ASSERT_NE(event, nullptr);
    events.push_back(event);
  }
  // Each start follows a call that left one of the events all over the stack.
  for (int i = 0; i < 40; ++i) {
    LeaveOnTheStack(events[static_cast<std::size_t>(i)]);
    ASSERT_TRUE(RunHostProgram({"/bin/true"}));
  }
  int lost = 0;
  for (HANDLE event : events) {
    DWORD flags = 0;
    if (GetHandleInformation(event, &flags) == FALSE ||
        WaitForSingleObject(event, 0) != WAIT_TIMEOUT) {
      ++lost;
    }
  }
  EXPECT_EQ(lost, 0);
  for (HANDLE event : events) CloseHandle(event);
}

}  // namespace
}  // namespace ornivel::test
