#pragma once
// One owner for every kind of Windows handle: it adopts a handle, closes it exactly once (when it
// goes, is reset or is given another), moves and never copies. A kind is a small struct naming
// its handle type, its "none" value and how it is closed. Windows only.

#include <windows.h>

#include <cstddef>
#include <cstring>
#include <utility>

namespace ornivel {

template <typename Kind>
class UniqueOwner {
 public:
  using Handle = typename Kind::Handle;

  UniqueOwner() = default;
  // Adopts `handle`; a value the kind counts as none (see IsNone) is kept as none.
  explicit UniqueOwner(Handle handle) : h_(Kind::IsNone(handle) ? Kind::kNone : handle) {}
  ~UniqueOwner() { Reset(); }
  UniqueOwner(UniqueOwner&& other) noexcept : h_(std::exchange(other.h_, Kind::kNone)) {}
  UniqueOwner& operator=(UniqueOwner&& other) noexcept {
    if (this != &other) {
      Reset();
      h_ = std::exchange(other.h_, Kind::kNone);
    }
    return *this;
  }
  UniqueOwner(const UniqueOwner&) = delete;
  UniqueOwner& operator=(const UniqueOwner&) = delete;

  void Reset() { (void)Close(); }
  // Closes the handle now and tells whether the platform closed it without a failure (the last
  // writes of a file can fail there); false when there was none.
  [[nodiscard]] bool Close() {
    if (h_ == Kind::kNone) return false;
    return Kind::Close(std::exchange(h_, Kind::kNone));
  }
  // For the functions that hand a new handle out through a pointer: the old one is closed first.
  Handle* Out() {
    Reset();
    return &h_;
  }

  // Gives the handle up to whoever takes it next (the clipboard, a stream): no longer closed here.
  [[nodiscard]] Handle Release() { return std::exchange(h_, Kind::kNone); }

  Handle get() const { return h_; }
  explicit operator bool() const { return h_ != Kind::kNone; }

 private:
  Handle h_ = Kind::kNone;
};

// Kernel handles (files, threads, events): closed with CloseHandle. Null and
// INVALID_HANDLE_VALUE both mean none, as the functions that make them report failure with one
// or the other.
struct KernelHandleKind {
  using Handle = HANDLE;
  static constexpr Handle kNone = nullptr;
  static bool IsNone(Handle h) { return h == nullptr || h == INVALID_HANDLE_VALUE; }
  static bool Close(Handle h) { return CloseHandle(h) != 0; }
};
using UniqueHandle = UniqueOwner<KernelHandleKind>;

// GDI objects (fonts, brushes, bitmaps): deleted with DeleteObject.
template <typename T>
struct GdiObjectKind {
  using Handle = T;
  static constexpr Handle kNone = nullptr;
  static bool IsNone(Handle h) { return h == nullptr; }
  static bool Close(Handle h) { return DeleteObject(h) != 0; }
};
template <typename T>
using UniqueGdiObject = UniqueOwner<GdiObjectKind<T>>;

// Movable global memory (the clipboard's and the stream's): freed with GlobalFree.
struct GlobalMemoryKind {
  using Handle = HGLOBAL;
  static constexpr Handle kNone = nullptr;
  static bool IsNone(Handle h) { return h == nullptr; }
  static bool Close(Handle h) { return GlobalFree(h) == nullptr; }
};
using UniqueGlobal = UniqueOwner<GlobalMemoryKind>;

// A movable block of global memory holding `size` bytes of `data`; none when it cannot be made
// or locked.
[[nodiscard]] inline UniqueGlobal GlobalCopy(const void* data, std::size_t size) {
  UniqueGlobal memory(GlobalAlloc(GMEM_MOVEABLE, size));
  if (!memory) return memory;
  void* target = GlobalLock(memory.get());
  if (target == nullptr) return UniqueGlobal();
  std::memcpy(target, data, size);
  GlobalUnlock(memory.get());
  return memory;
}

// COM interface pointers: released with Release.
template <typename T>
struct ComInterfaceKind {
  using Handle = T*;
  static constexpr Handle kNone = nullptr;
  static bool IsNone(Handle p) { return p == nullptr; }
  static bool Close(Handle p) {
    p->Release();
    return true;
  }
};
template <typename T>
using ComPtr = UniqueOwner<ComInterfaceKind<T>>;

}  // namespace ornivel
