#pragma once
// Waiting for a helper thread while the calling thread keeps taking its messages (the
// regular-expression run's wait, and each request made on the window thread). A thread with a
// message queue (the window thread, or any other that made windows) has its messages handled
// meanwhile through the program's message pump (text/message_pump.h), the same handling as its
// message loop's (the program's Tab, Esc and Enter included), so its windows keep painting and
// an action they start runs nested inside the wait. A thread without one just waits. Windows
// only.

#include <windows.h>

#include <chrono>
#include <functional>
#include <optional>

namespace ornivel {

// Waits until `handle` (a thread, an event) is signalled or `deadline` passes (never, without
// one); true when it was signalled.
bool WaitWhilePumping(HANDLE handle,
                      std::optional<std::chrono::steady_clock::time_point> deadline = {});

// Runs `work` to its end. On a thread with a message queue it runs on a helper thread while
// this one waits as WaitWhilePumping does; the helpers are kept for the next work, so only a
// work started while every helper is busy (inside another's wait) makes a thread. On any other
// thread (or when no helper thread can be made) it runs here.
void RunWhilePumping(const std::function<void()>& work);

}  // namespace ornivel
