#include "app/win32/dpi_scale.h"

#include "win/device_context.h"

namespace ornivel {

UINT SystemDpi() {
  const WindowDc screen(nullptr);
  const int dpi = GetDeviceCaps(screen.get(), LOGPIXELSY);
  return dpi > 0 ? static_cast<UINT>(dpi) : kLayoutDpi;
}

UINT WindowDpi(HWND window) {
  using GetDpiForWindowFunction = UINT(WINAPI*)(HWND);
  static const auto getDpiForWindow = [] {
    HMODULE user32 = GetModuleHandleW(L"user32.dll");
    return user32 == nullptr ? nullptr
                             : reinterpret_cast<GetDpiForWindowFunction>(reinterpret_cast<void*>(
                                   GetProcAddress(user32, "GetDpiForWindow")));
  }();
  if (getDpiForWindow != nullptr && window != nullptr) {
    const UINT dpi = getDpiForWindow(window);
    if (dpi != 0) return dpi;
  }
  return SystemDpi();
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
  if (lParam != 0 && !InSendMessage()) {
    change.place = *reinterpret_cast<const RECT*>(lParam);
  } else {
    GetWindowRect(window, &change.place);
  }
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
