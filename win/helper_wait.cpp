#include "win/helper_wait.h"

#include <algorithm>

#include "text/message_pump.h"
#include "win/unique_owner.h"

namespace ornivel {
namespace {

using Clock = std::chrono::steady_clock;

// Handles the messages waiting for the calling thread: through the program's pump where one is
// installed, else the plain way. False once WM_QUIT is among them: it stays (or is posted
// again) for the thread's own message loop, and the waiting goes on without messages.
bool HandleWaitingMessages() {
  if (HasMessagePump()) {
    ProcessPendingMessages();
  } else {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      if (message.message == WM_QUIT) {
        PostQuitMessage(static_cast<int>(message.wParam));
        return false;
      }
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
  }
  MSG quit;
  return PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_NOREMOVE) == FALSE;
}

}  // namespace

bool WaitWhilePumping(HANDLE thread, std::optional<Clock::time_point> deadline) {
  bool pump = IsGUIThread(FALSE) != FALSE;
  for (;;) {
    DWORD wait = INFINITE;
    if (deadline) {
      const auto left = std::chrono::ceil<std::chrono::milliseconds>(*deadline - Clock::now());
      wait = static_cast<DWORD>(
          std::clamp<std::chrono::milliseconds::rep>(left.count(), 0, INFINITE - 1));
    }
    if (!pump) return WaitForSingleObject(thread, wait) == WAIT_OBJECT_0;
    const DWORD woke =
        MsgWaitForMultipleObjectsEx(1, &thread, wait, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    if (woke == WAIT_OBJECT_0) return true;
    if (woke != WAIT_OBJECT_0 + 1) return false;  // the deadline passed, or the wait failed
    pump = HandleWaitingMessages();
    if (deadline && Clock::now() >= *deadline) {
      return WaitForSingleObject(thread, 0) == WAIT_OBJECT_0;
    }
  }
}

namespace {

DWORD WINAPI RunWork(void* parameter) {
  (*static_cast<const std::function<void()>*>(parameter))();
  return 0;
}

}  // namespace

void RunWhilePumping(const std::function<void()>& work) {
  if (IsGUIThread(FALSE) == FALSE) {
    work();
    return;
  }
  DWORD id = 0;
  const UniqueHandle helper(
      CreateThread(nullptr, 0, &RunWork, const_cast<std::function<void()>*>(&work), 0, &id));
  if (!helper) {
    work();  // no thread to be had: the work blocks this thread, without messages
    return;
  }
  // `work` lives on this frame: the helper is waited for to its end, whatever the wait says.
  if (!WaitWhilePumping(helper.get())) WaitForSingleObject(helper.get(), INFINITE);
}

}  // namespace ornivel
