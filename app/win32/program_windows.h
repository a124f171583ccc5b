#pragma once
// What every top-level window of the Windows program shares: the window classes, the icon, the
// layout's texts as UTF-16, the centred place on the screen, and the keys (Esc, Tab, Enter)
// handled before a message is dispatched.

#include <windows.h>

#include <string>
#include <string_view>

#include "app/window_layout.h"

namespace ornivel {

// The classes of the program's two windows; the keys below are theirs alone.
inline constexpr wchar_t kMainWindowClassName[] = L"OrnivelMainWindow";
inline constexpr wchar_t kTipWindowClassName[] = L"OrnivelTipWindow";

// The program's icon group in the executable's resources, and one of its images at the size of
// the title bar (`small`) or of the taskbar and Alt+Tab; null when the executable has none.
HICON ProgramIcon(HINSTANCE instance, bool small);

// Registers a top-level window class of the program, once: the button-face background, the
// arrow cursor and the program's icon. False when it cannot be registered.
bool RegisterProgramWindowClass(HINSTANCE instance, const wchar_t* name, WNDPROC procedure);

// A layout text (UTF-8) as UTF-16 for a W call.
std::wstring LayoutText(std::string_view utf8);

// The window's outer place on the screen for a client area of `width` × `height` with `style`,
// centred on the primary screen: x = (screen width − outer width) / 2, truncated toward zero,
// and so for y.
layout::Rect CentredWindowPlace(int width, int height, DWORD style, DWORD extendedStyle);

// Handles the keys the program's windows share, before the message is dispatched: Esc closes the
// active window of the program (the main window or the tip dialog), Tab and Shift+Tab move the
// focus through its focus stops, Enter presses nothing. True when the message was taken.
bool TranslateProgramKeys(MSG& message);

// Delivers one message taken from the queue: the program's keys first, then the usual way. A
// DPI change in the queue was posted by someone else, and is dropped.
void DispatchProgramMessage(MSG& message);

}  // namespace ornivel
