#include "win/helper_wait.h"

#include <algorithm>
#include <memory>
#include <mutex>
#include <vector>

#include "text/message_pump.h"
#include "text/never_freed.h"
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

// Dispatches the waiting messages that keep the thread's windows alive, none of the keyboard's or
// the mouse's; false once WM_QUIT is among them, as above.
bool HandleMessagesWithoutInput() {
  constexpr UINT kWithoutInput = PM_QS_PAINT | PM_QS_POSTMESSAGE | PM_QS_SENDMESSAGE;
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE | kWithoutInput)) {
    if (message.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(message.wParam));
      return false;
    }
    DispatchMessageW(&message);
  }
  return true;
}

}  // namespace

bool WaitWhilePumping(HANDLE handle, std::optional<Clock::time_point> deadline,
                      WaitMessages messages) {
  const bool all = messages == WaitMessages::kAll;
  // Without input the wait wakes only for the kinds it takes (input left waiting would wake it
  // again at once), and only for those that came since it last looked.
  const DWORD wakeMask =
      all ? QS_ALLINPUT : QS_PAINT | QS_TIMER | QS_POSTMESSAGE | QS_SENDMESSAGE | QS_HOTKEY;
  const DWORD wakeFlags = all ? MWMO_INPUTAVAILABLE : 0;
  bool pump = IsGUIThread(FALSE) != FALSE;
  if (pump && !all) pump = HandleMessagesWithoutInput();
  for (;;) {
    DWORD wait = INFINITE;
    if (deadline) {
      const auto left = std::chrono::ceil<std::chrono::milliseconds>(*deadline - Clock::now());
      wait = static_cast<DWORD>(
          std::clamp<std::chrono::milliseconds::rep>(left.count(), 0, INFINITE - 1));
    }
    if (!pump) return WaitForSingleObject(handle, wait) == WAIT_OBJECT_0;
    const DWORD woke = MsgWaitForMultipleObjectsEx(1, &handle, wait, wakeMask, wakeFlags);
    if (woke == WAIT_OBJECT_0) return true;
    if (woke != WAIT_OBJECT_0 + 1) return false;  // the deadline passed, or the wait failed
    pump = all ? HandleWaitingMessages() : HandleMessagesWithoutInput();
    if (deadline && Clock::now() >= *deadline) {
      return WaitForSingleObject(handle, 0) == WAIT_OBJECT_0;
    }
  }
}

namespace {

// A thread kept for RunWhilePumping: it waits for `start`, does `work` and sets `done`.
struct PooledHelper {
  UniqueHandle start{CreateEventW(nullptr, FALSE, FALSE, nullptr)};
  UniqueHandle done{CreateEventW(nullptr, FALSE, FALSE, nullptr)};
  const std::function<void()>* work = nullptr;
};

DWORD WINAPI ServeWork(void* parameter) {
  auto* helper = static_cast<PooledHelper*>(parameter);
  for (;;) {
    if (WaitForSingleObject(helper->start.get(), INFINITE) != WAIT_OBJECT_0) return 0;
    (*helper->work)();
    SetEvent(helper->done.get());
  }
}

// The helpers not busy now, and the lock over them: at the end of the process their threads are
// still waiting for work.
std::mutex& IdleMutex() {
  static NeverFreed<std::mutex> mutex;
  return *mutex;
}
std::vector<PooledHelper*>& IdleHelpers() {
  static NeverFreed<std::vector<PooledHelper*>> idle;
  return *idle;
}

// An idle helper, or a new one when all are busy (a request made inside another's wait); null
// when no thread can be made.
PooledHelper* TakeHelper() {
  {
    const std::lock_guard lock(IdleMutex());
    if (!IdleHelpers().empty()) {
      PooledHelper* helper = IdleHelpers().back();
      IdleHelpers().pop_back();
      return helper;
    }
  }
  auto helper = std::make_unique<PooledHelper>();
  if (!helper->start || !helper->done) return nullptr;
  DWORD id = 0;
  const UniqueHandle thread(CreateThread(nullptr, 0, &ServeWork, helper.get(), 0, &id));
  if (!thread) return nullptr;
  return helper.release();  // lives as long as its thread, to the end of the process
}

}  // namespace

void RunWhilePumping(const std::function<void()>& work) {
  if (IsGUIThread(FALSE) == FALSE) {
    work();
    return;
  }
  PooledHelper* helper = TakeHelper();
  if (helper == nullptr) {
    work();  // no thread to be had: the work blocks this thread, without messages
    return;
  }
  helper->work = &work;
  SetEvent(helper->start.get());
  // `work` lives on this frame: the helper is waited for to its end, whatever the wait says.
  if (!WaitWhilePumping(helper->done.get())) WaitForSingleObject(helper->done.get(), INFINITE);
  helper->work = nullptr;
  const std::lock_guard lock(IdleMutex());
  IdleHelpers().push_back(helper);
}

}  // namespace ornivel
