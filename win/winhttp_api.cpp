#include "win/winhttp_api.h"

#include "win/system_library.h"

namespace ornivel {
namespace {

template <typename Function>
bool Bind(HMODULE module, const char* name, Function& slot) {
  slot = SystemFunction<Function>(module, name);
  return slot != nullptr;
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
