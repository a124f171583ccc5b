#pragma once
// A message kept waiting in the calling thread's queue, so that a wait that handles the thread's
// messages (a request's, a regular-expression run's on Windows) calls the message pump again
// and again while it lasts, as it does while a person moves the mouse over the window.

namespace ornivel::test {

// Takes every message waiting for the calling thread and leaves one new one in their place. On
// Windows the thread becomes one with a message queue; elsewhere this does nothing.
void KeepAMessageWaiting();

}  // namespace ornivel::test
