#pragma once
// The message-pump hook. The front end installs a function that processes the window thread's
// pending events; the HTTP code calls it between steps and while it waits on the network, and the
// Windows helper wait (win/helper_wait.h) while a helper works, so a request or a search made on
// the window thread keeps the window painting. Until a pump is installed, and on threads without
// windows (the pump's own business), a call does nothing. It lives this low so that every layer
// that waits can call it.

namespace ornivel {

using MessagePump = void (*)();

// Installs `pump` (nullptr removes it). Safe to call from any thread.
void SetMessagePump(MessagePump pump);

// Runs the installed pump, if any.
void ProcessPendingMessages();

// Whether a pump is installed.
[[nodiscard]] bool HasMessagePump();

}  // namespace ornivel
