#pragma once
// The tip dialog "   微信扫一扫，打赏作者": two pink labels and the tip picture carried in the
// executable, decoded by the platform's picture loader.

#include <windows.h>

namespace ornivel {

inline constexpr int kTipClientWidth = 379;
inline constexpr int kTipClientHeight = 334;

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
