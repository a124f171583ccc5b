#include "http/winhttp_api.h"

#include <type_traits>

namespace ornivel {
namespace {

// The table's types are written out rather than taken from the SDK's declarations, so that the
// SDK header's dllimport never ties the program to an import of the library; they must still be
// exactly the SDK's types, calling convention included.
static_assert(
    std::is_same_v<decltype(WinHttpApi::CheckPlatform), decltype(&::WinHttpCheckPlatform)>);
static_assert(std::is_same_v<decltype(WinHttpApi::CrackUrl), decltype(&::WinHttpCrackUrl)>);
static_assert(std::is_same_v<decltype(WinHttpApi::Open), decltype(&::WinHttpOpen)>);
static_assert(std::is_same_v<decltype(WinHttpApi::Connect), decltype(&::WinHttpConnect)>);
static_assert(std::is_same_v<decltype(WinHttpApi::OpenRequest), decltype(&::WinHttpOpenRequest)>);
static_assert(std::is_same_v<decltype(WinHttpApi::SetTimeouts), decltype(&::WinHttpSetTimeouts)>);
static_assert(
    std::is_same_v<decltype(WinHttpApi::SetCredentials), decltype(&::WinHttpSetCredentials)>);
static_assert(std::is_same_v<decltype(WinHttpApi::SetOption), decltype(&::WinHttpSetOption)>);
static_assert(
    std::is_same_v<decltype(WinHttpApi::AddRequestHeaders), decltype(&::WinHttpAddRequestHeaders)>);
static_assert(std::is_same_v<decltype(WinHttpApi::SendRequest), decltype(&::WinHttpSendRequest)>);
static_assert(
    std::is_same_v<decltype(WinHttpApi::ReceiveResponse), decltype(&::WinHttpReceiveResponse)>);
static_assert(std::is_same_v<decltype(WinHttpApi::QueryDataAvailable),
                             decltype(&::WinHttpQueryDataAvailable)>);
static_assert(std::is_same_v<decltype(WinHttpApi::ReadData), decltype(&::WinHttpReadData)>);
static_assert(std::is_same_v<decltype(WinHttpApi::QueryHeaders), decltype(&::WinHttpQueryHeaders)>);
static_assert(std::is_same_v<decltype(WinHttpApi::CloseHandle), decltype(&::WinHttpCloseHandle)>);

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
  return Bind(module, "WinHttpCheckPlatform", api.CheckPlatform) &&
         Bind(module, "WinHttpCrackUrl", api.CrackUrl) && Bind(module, "WinHttpOpen", api.Open) &&
         Bind(module, "WinHttpConnect", api.Connect) &&
         Bind(module, "WinHttpOpenRequest", api.OpenRequest) &&
         Bind(module, "WinHttpSetTimeouts", api.SetTimeouts) &&
         Bind(module, "WinHttpSetCredentials", api.SetCredentials) &&
         Bind(module, "WinHttpSetOption", api.SetOption) &&
         Bind(module, "WinHttpAddRequestHeaders", api.AddRequestHeaders) &&
         Bind(module, "WinHttpSendRequest", api.SendRequest) &&
         Bind(module, "WinHttpReceiveResponse", api.ReceiveResponse) &&
         Bind(module, "WinHttpQueryDataAvailable", api.QueryDataAvailable) &&
         Bind(module, "WinHttpReadData", api.ReadData) &&
         Bind(module, "WinHttpQueryHeaders", api.QueryHeaders) &&
         Bind(module, "WinHttpCloseHandle", api.CloseHandle);
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
