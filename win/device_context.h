#pragma once
// Owners of device contexts and of what is selected into them: a window's DC (GetDC, given back
// with ReleaseDC), a memory DC (CreateCompatibleDC, deleted with DeleteDC), and an object
// selected for a scope, the one it replaced selected back at its end. Windows only.

#include <windows.h>

#include "win/unique_owner.h"

namespace ornivel {

// The DC of `window`'s client area (the screen's for null), given back when it goes.
class WindowDc {
 public:
  explicit WindowDc(HWND window) : window_(window), dc_(GetDC(window)) {}
  ~WindowDc() {
    if (dc_ != nullptr) ReleaseDC(window_, dc_);
  }
  WindowDc(const WindowDc&) = delete;
  WindowDc& operator=(const WindowDc&) = delete;

  HDC get() const { return dc_; }
  explicit operator bool() const { return dc_ != nullptr; }

 private:
  HWND window_;
  HDC dc_;
};

// A memory DC, deleted with DeleteDC.
struct MemoryDcKind {
  using Handle = HDC;
  static constexpr Handle kNone = nullptr;
  static bool IsNone(Handle h) { return h == nullptr; }
  static bool Close(Handle h) { return DeleteDC(h) != 0; }
};
using UniqueMemoryDc = UniqueOwner<MemoryDcKind>;

// `object` selected into `dc` while this lives; the object it replaced is selected back at its
// end, so the caller's object can be freed after it and the DC's own is never lost.
class SelectedObject {
 public:
  SelectedObject(HDC dc, HGDIOBJ object) : dc_(dc), old_(SelectObject(dc, object)) {}
  ~SelectedObject() {
    if (old_ != nullptr && old_ != HGDI_ERROR) SelectObject(dc_, old_);
  }
  SelectedObject(const SelectedObject&) = delete;
  SelectedObject& operator=(const SelectedObject&) = delete;

 private:
  HDC dc_;
  HGDIOBJ old_;
};

}  // namespace ornivel
