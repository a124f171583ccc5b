#pragma once
// NeverFreed<T>: a value made once and never destroyed. For what threads still running while the
// process exits may use (a worker that outlives the window, a helper abandoned mid-run): a
// destructor run at exit would pull it from under them. Declared as a function-local static, so
// it is made on first use, safely whichever thread comes first:
//   static NeverFreed<std::mutex> mutex;
//   const std::lock_guard lock(*mutex);

#include <new>
#include <utility>

namespace ornivel {

template <typename T>
class NeverFreed {
 public:
  template <typename... Args>
  explicit NeverFreed(Args&&... args) {
    new (storage_) T(std::forward<Args>(args)...);
  }
  // T's destructor never runs: the storage outlives every user.
  ~NeverFreed() = default;
  NeverFreed(const NeverFreed&) = delete;
  NeverFreed& operator=(const NeverFreed&) = delete;

  T& get() { return *std::launder(reinterpret_cast<T*>(storage_)); }
  T& operator*() { return get(); }
  T* operator->() { return &get(); }

 private:
  alignas(T) unsigned char storage_[sizeof(T)];
};

}  // namespace ornivel
