#pragma once
// Owned kernel handles (files, threads, events) for the Windows backends, closed with
// CloseHandle. It lives in the lowest layer that holds one, as the COM helpers do, so every layer
// above reaches it downward. Windows only.

#include <windows.h>

#include <utility>

namespace ornivel {

class UniqueHandle {
 public:
  UniqueHandle() = default;
  // Adopts `handle`. Null and INVALID_HANDLE_VALUE both mean none: the functions that make
  // handles report failure with one or the other.
  explicit UniqueHandle(HANDLE handle) : h_(handle == INVALID_HANDLE_VALUE ? nullptr : handle) {}
  ~UniqueHandle() { Reset(); }
  UniqueHandle(UniqueHandle&& other) noexcept : h_(std::exchange(other.h_, nullptr)) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    if (this != &other) {
      Reset();
      h_ = std::exchange(other.h_, nullptr);
    }
    return *this;
  }
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;

  void Reset() {
    if (h_ != nullptr) CloseHandle(std::exchange(h_, nullptr));
  }
  // Closes the handle and tells whether that succeeded (the last writes of a file can fail there).
  [[nodiscard]] bool Close() {
    return h_ != nullptr && CloseHandle(std::exchange(h_, nullptr)) != 0;
  }

  HANDLE get() const { return h_; }
  explicit operator bool() const { return h_ != nullptr; }

 private:
  HANDLE h_ = nullptr;
};

}  // namespace ornivel
