#include "tests/support/thread_messages.h"

#include <windows.h>

namespace ornivel::test {

void KeepAMessageWaiting() {
  (void)IsGUIThread(TRUE);  // gives the thread its message queue
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
  }
  PostThreadMessageW(GetCurrentThreadId(), WM_NULL, 0, 0);
}

}  // namespace ornivel::test
