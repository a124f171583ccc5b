#pragma once
// UniqueCPtr<T, Free>: a unique_ptr to what a C library made, freed with that library's own
// function, written once for every such library:
//   using CodePtr = UniqueCPtr<pcre2_code, pcre2_code_free>;
// FreeWith<Free> is the deleter alone, for a shared_ptr.

#include <memory>

namespace ornivel {

template <auto Free>
struct FreeWith {
  template <typename T>
  void operator()(T* object) const {
    Free(object);
  }
};

template <typename T, auto Free>
using UniqueCPtr = std::unique_ptr<T, FreeWith<Free>>;

}  // namespace ornivel
