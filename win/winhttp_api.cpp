#include "win/winhttp_api.h"

namespace ornivel {
namespace {

template <typename Function>
bool Bind(HMODULE module, const char* name, Function& slot) {
  // Through the generic function-pointer type, which converts to any other without a warning.
  slot = reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
  return slot != nullptr;
}

// Loads the library from the system folder only, so that a file of that name beside the
// program or in the working folder is never picked up instead.
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

bool Load(WinHttpApi& api) {
  // Never freed: the table lives as long as the process.
  const HMODULE module = LoadSystemLibrary(L"Winhttp.dll");
  if (module == nullptr) return false;
#define ORNIVEL_WINHTTP_BIND(name) &&Bind(module, "WinHttp" #name, api.name)
  return true ORNIVEL_WINHTTP_FUNCTIONS(ORNIVEL_WINHTTP_BIND);
#undef ORNIVEL_WINHTTP_BIND
}

}  // namespace

const WinHttpApi* WinHttp() {
  // A function-local static: loaded once, whichever thread comes first.
  static const WinHttpApi* const api = [] {
    static WinHttpApi table{};
    return Load(table) ? &table : nullptr;
  }();
  return api;
}

}  // namespace ornivel
