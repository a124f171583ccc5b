#pragma once
// Waiting for a helper thread while the calling thread keeps taking its messages (the
// regular-expression run's wait, and each request made on the window thread). A thread with a
// message queue (the window thread, or any other that made windows) has its messages handled
// meanwhile, so its windows keep painting: all of them through the program's message pump
// (text/message_pump.h), the same handling as its message loop's (the program's Tab, Esc and
// Enter included), so that an action they start runs nested inside the wait; or, as the caller
// asks, only those that keep the windows alive. A thread without one just waits. Windows only.

#include <windows.h>

#include <chrono>
#include <functional>
#include <optional>

namespace ornivel {

// What a wait hands on of the thread's messages.
enum class WaitMessages {
  // Every message, through the program's message pump: the windows work as usual (a request's
  // wait, during which the user may start another action).
  kAll,
  // Only what keeps the windows alive: painting, timers, posted and sent messages. The keyboard
  // and the mouse wait in the queue until the wait ends, so nothing the user starts runs nested
  // inside it (a regular-expression run's wait, between a search's reply and its rows).
  kWithoutInput,
};

// Waits until `handle` (a thread, an event) is signalled or `deadline` passes (never, without
// one); true when it was signalled.
bool WaitWhilePumping(HANDLE handle,
                      std::optional<std::chrono::steady_clock::time_point> deadline = {},
                      WaitMessages messages = WaitMessages::kAll);

// Runs `work` to its end. On a thread with a message queue it runs on a helper thread while
// this one waits as WaitWhilePumping does; the helpers are kept for the next work, so only a
// work started while every helper is busy (inside another's wait) makes a thread. On any other
// thread (or when no helper thread can be made) it runs here.
void RunWhilePumping(const std::function<void()>& work);

}  // namespace ornivel
