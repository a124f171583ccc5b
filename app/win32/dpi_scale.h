#pragma once
// The program's windows at the DPI of the screen they are on. Every figure of the layout is given
// at 96 DPI and goes through one DpiScale made from the window's DPI; at 96 DPI nothing changes.

#include <windows.h>

#include <optional>

#include "app/window_layout.h"
#include "win/unique_owner.h"

namespace ornivel {

inline constexpr UINT kLayoutDpi = 96;

// WM_DPICHANGED, which older headers lack: the window is now on a screen of another DPI (the new
// one in both halves of wParam), and lParam points at the rectangle the system suggests for it.
inline constexpr UINT kDpiChangedMessage = 0x02E0;

// What a WM_DPICHANGED says, as far as it can be believed: the new DPI, and the place to take.
struct DpiChange {
  UINT dpi;
  RECT place;
};

// Reads a WM_DPICHANGED that `window` received. Any process on the desktop can send or post the
// message: a DPI no screen has (below 48 or above 960: 50 % to 1000 %) is none. Sent from another
// thread, its pointer is nothing to read, and the window keeps its place at the new DPI. Sent
// on the window's thread, as the system sends it, or posted, the message is believed only with
// a rectangle that can be read and that a window can take.
[[nodiscard]] std::optional<DpiChange> ReadDpiChange(HWND window, WPARAM wParam, LPARAM lParam);

// The DPI of the primary screen the session started with, which windows are made at.
[[nodiscard]] UINT SystemDpi();

// The DPI `window` is drawn at: the system's own answer where it has one (GetDpiForWindow, taken
// by name at run time: Windows 10 1607 and later), the system DPI otherwise.
[[nodiscard]] UINT WindowDpi(HWND window);

// The system metric `index` (SM_CYEDGE, ...) at `dpi` where the system can tell
// (GetSystemMetricsForDpi, taken by name: Windows 10 1607 and later); at the system DPI otherwise.
[[nodiscard]] int SystemMetricAt(int index, UINT dpi);

class DpiScale {
 public:
  explicit DpiScale(UINT dpi) : dpi_(dpi == 0 ? kLayoutDpi : dpi) {}

  [[nodiscard]] UINT dpi() const { return dpi_; }
  // A layout figure at this DPI, rounded half away from zero (as MulDiv rounds).
  [[nodiscard]] int operator()(int figure) const {
    return MulDiv(figure, static_cast<int>(dpi_), static_cast<int>(kLayoutDpi));
  }
  [[nodiscard]] layout::Rect operator()(const layout::Rect& place) const {
    return {(*this)(place.x), (*this)(place.y), (*this)(place.dx), (*this)(place.dy)};
  }

 private:
  UINT dpi_;
};

// The default GUI font at `dpi`. The stock font is made for the system DPI and is the one used
// there (nothing to own: the result is empty); at any other DPI it is a copy of it scaled.
[[nodiscard]] UniqueGdiObject<HFONT> MakeGuiFontAt(UINT dpi);

// The font to draw with: `scaled` when there is one, the stock default GUI font otherwise.
[[nodiscard]] HFONT GuiFontOr(const UniqueGdiObject<HFONT>& scaled);

// Gives `window` a client area of `width` × `height`, keeping its top left and its frame.
void SetClientSize(HWND window, int width, int height);

}  // namespace ornivel
