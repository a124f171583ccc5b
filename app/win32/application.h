#pragma once
// The Windows program's start-up, run and exit.

#include <windows.h>

namespace ornivel {

// Starts the program in the order it is made to: the exit routine is registered, the main
// window is made hidden, the save folder is loaded into it, the window is shown and the message
// loop runs until it is closed. Returns the process's exit code: -1, after the box
// "载入启动窗口失败", when the main window could not be made.
int RunApplication(HINSTANCE instance);

}  // namespace ornivel
