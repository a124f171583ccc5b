#include "win/system_library.h"

#include <cwchar>

namespace ornivel {

HMODULE LoadSystemLibrary(const wchar_t* name) {
  HMODULE module = LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  // A Windows 7 without the update that brought the flag refuses it as a bad parameter.
  if (module == nullptr && GetLastError() == ERROR_INVALID_PARAMETER) {
    wchar_t path[MAX_PATH];
    const UINT length = GetSystemDirectoryW(path, MAX_PATH);
    if (length == 0 || length + 1 + wcslen(name) >= MAX_PATH) return nullptr;
    path[length] = L'\\';
    wcscpy(path + length + 1, name);
    module = LoadLibraryW(path);
  }
  return module;
}

}  // namespace ornivel
