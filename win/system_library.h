#pragma once
// Functions of the system's own libraries, taken by name at run time: those a Windows version
// may lack, and libraries the program does not link. A library is only ever loaded from the
// system folder, so that a file of its name beside the program or in the working folder is never
// picked up instead. Windows only.

#include <windows.h>

namespace ornivel {

// The library `name` from the system folder (loaded if need be, never freed); null when the
// system has none.
[[nodiscard]] HMODULE LoadSystemLibrary(const wchar_t* name);

// The function `name` of `module` as a `Function`; null when the module is null or lacks it.
template <typename Function>
[[nodiscard]] Function SystemFunction(HMODULE module, const char* name) {
  if (module == nullptr) return nullptr;
  // Through the generic function-pointer type, which converts to any other without a warning.
  return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

}  // namespace ornivel
