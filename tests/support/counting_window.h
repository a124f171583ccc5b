#pragma once
// A message-only window of the calling thread that counts its timer ticks and pings, for the
// tests of the waits that keep a thread's windows served. Windows only.

#include <windows.h>

#include <atomic>

namespace ornivel::test {

inline constexpr UINT kPing = WM_APP + 1;

// Written on the window's thread; read on any.
struct Counts {
  std::atomic<int> timerTicks{0};
  std::atomic<int> pings{0};
  std::atomic<DWORD> pingThread{0};  // the thread that handled the last ping
};

inline LRESULT CALLBACK CountingWindowProc(HWND window, UINT message, WPARAM wParam,
                                           LPARAM lParam) {
  auto* counts = reinterpret_cast<Counts*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (counts != nullptr && message == WM_TIMER) ++counts->timerTicks;
  if (counts != nullptr && message == kPing) {
    counts->pingThread = GetCurrentThreadId();
    ++counts->pings;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

// A message-only window of the calling thread that counts its timer ticks and pings (a top-level
// window needs a display, which Wine may not have here; the messages flow the same way).
class CountingWindow {
 public:
  CountingWindow() {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = &CountingWindowProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = kClassName;
    RegisterClassW(&windowClass);  // fails harmlessly when an earlier test registered it
    window_ = CreateWindowExW(0, kClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                              windowClass.hInstance, nullptr);
    if (window_ != nullptr) {
      SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&counts_));
    }
  }
  ~CountingWindow() {
    if (window_ != nullptr) DestroyWindow(window_);
  }
  CountingWindow(const CountingWindow&) = delete;
  CountingWindow& operator=(const CountingWindow&) = delete;

  HWND get() const { return window_; }
  const Counts& counts() const { return counts_; }

 private:
  static constexpr const wchar_t* kClassName = L"OrnivelCountingWindow";
  HWND window_ = nullptr;
  Counts counts_;
};

}  // namespace ornivel::test
