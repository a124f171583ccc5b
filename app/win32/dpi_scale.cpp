#include "app/win32/dpi_scale.h"

#include "win/device_context.h"
#include "win/system_library.h"

namespace ornivel {

UINT SystemDpi() {
  const WindowDc screen(nullptr);
  const int dpi = GetDeviceCaps(screen.get(), LOGPIXELSY);
  return dpi > 0 ? static_cast<UINT>(dpi) : kLayoutDpi;
}

namespace {

HMODULE User32() {
  static const HMODULE user32 = LoadSystemLibrary(L"user32.dll");
  return user32;
}

// A rectangle a window can take: on the coordinates the system works in, and not empty.
bool IsPlace(const RECT& place) {
  constexpr LONG kFar = 32767;
  return place.left >= -kFar && place.top >= -kFar && place.right <= kFar && place.bottom <= kFar &&
         place.right > place.left && place.bottom > place.top;
}

// The RECT at `address`, read only when it is memory of the process that can be read: a
// message posted by another process may point anywhere.
std::optional<RECT> ReadRect(LPARAM address) {
  RECT rect{};
  SIZE_T read = 0;
  if (address == 0 ||
      !ReadProcessMemory(GetCurrentProcess(), reinterpret_cast<const void*>(address), &rect,
                         sizeof rect, &read) ||
      read != sizeof rect) {
    return std::nullopt;
  }
  return rect;
}

}  // namespace

UINT WindowDpi(HWND window) {
  static const auto getDpiForWindow =
      SystemFunction<UINT(WINAPI*)(HWND)>(User32(), "GetDpiForWindow");
  if (getDpiForWindow != nullptr && window != nullptr) {
    const UINT dpi = getDpiForWindow(window);
    if (dpi != 0) return dpi;
  }
  return SystemDpi();
}

int SystemMetricAt(int index, UINT dpi) {
  static const auto getSystemMetricsForDpi =
      SystemFunction<int(WINAPI*)(int, UINT)>(User32(), "GetSystemMetricsForDpi");
  if (getSystemMetricsForDpi != nullptr) return getSystemMetricsForDpi(index, dpi);
  return GetSystemMetrics(index);
}

UniqueGdiObject<HFONT> MakeGuiFontAt(UINT dpi) {
  const UINT system = SystemDpi();
  if (dpi == system) return {};
  LOGFONTW font{};
  if (GetObjectW(GetStockObject(DEFAULT_GUI_FONT), sizeof font, &font) != sizeof font) return {};
  font.lfHeight = MulDiv(font.lfHeight, static_cast<int>(dpi), static_cast<int>(system));
  font.lfWidth = MulDiv(font.lfWidth, static_cast<int>(dpi), static_cast<int>(system));
  return UniqueGdiObject<HFONT>(CreateFontIndirectW(&font));
}

HFONT GuiFontOr(const UniqueGdiObject<HFONT>& scaled) {
  return scaled ? scaled.get() : static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
}

std::optional<DpiChange> ReadDpiChange(HWND window, WPARAM wParam, LPARAM lParam) {
  const UINT dpi = HIWORD(wParam);
  if (dpi < kLayoutDpi / 2 || dpi > kLayoutDpi * 10) return std::nullopt;
  DpiChange change{dpi, {}};
  if (InSendMessage()) {
    GetWindowRect(window, &change.place);
    return change;
  }
  // Sent on the window's own thread, as the system sends it, or posted by anyone: a rectangle
  // that cannot be read, or that no window can take, is no system's.
  const std::optional<RECT> place = ReadRect(lParam);
  if (!place || !IsPlace(*place)) return std::nullopt;
  change.place = *place;
  return change;
}

void SetClientSize(HWND window, int width, int height) {
  RECT outer{}, client{};
  GetWindowRect(window, &outer);
  GetClientRect(window, &client);
  const int frameWidth = (outer.right - outer.left) - client.right;
  const int frameHeight = (outer.bottom - outer.top) - client.bottom;
  SetWindowPos(window, nullptr, 0, 0, width + frameWidth, height + frameHeight,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace ornivel
