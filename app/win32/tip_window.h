#pragma once
// The tip dialog (layout::tip): two pink labels and the tip picture carried in the executable,
// decoded by the platform's picture loader.

#include <windows.h>

#include "app/window_layout.h"

namespace ornivel {

inline constexpr int kTipClientWidth = layout::tip::kClientWidth;
inline constexpr int kTipClientHeight = layout::tip::kClientHeight;

// Control identifiers of the dialog's components.
enum : int { kIdTipLabel1 = 301, kIdTipLabel2, kIdTipPicture };

// Makes a fresh dialog owned by `owner`, centred on the screen, and shows it; null when it
// cannot be made. It closes by its close box, its system menu or Esc.
HWND CreateTipWindow(HINSTANCE instance, HWND owner);

// Shows a fresh dialog and returns when it has been closed: `owner` is disabled meanwhile while
// a loop of its own delivers the thread's messages (workers' list operations included). A
// dialog that cannot be made is no error: nothing happens.
void ShowTipWindow(HINSTANCE instance, HWND owner);

}  // namespace ornivel
