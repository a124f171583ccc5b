#pragma once
// The WinHTTP functions the transport uses, taken by name from "Winhttp.dll" on first use, and
// the owner of a WinHTTP handle. Windows backends only.
//
// Every function of the table is named once, in the list below; each slot's type is the SDK's own
// declaration's, WINAPI included (the 32-bit program calls them with the __stdcall convention,
// and a type without it would corrupt the stack there). Only the type is taken: no call goes
// through the SDK's import, so the program never links the library.

#include <windows.h>
#include <winhttp.h>

#include <utility>

#include "win/unique_owner.h"

namespace ornivel {

// The functions the transport uses, each by its name after "WinHttp".
// clang-format off
#define ORNIVEL_WINHTTP_FUNCTIONS(X) \
  X(CheckPlatform) \
  X(CrackUrl) \
  X(Open) \
  X(Connect) \
  X(OpenRequest) \
  X(SetTimeouts) \
  X(SetCredentials) \
  X(SetOption) \
  X(AddRequestHeaders) \
  X(SendRequest) \
  X(ReceiveResponse) \
  X(QueryDataAvailable) \
  X(ReadData) \
  X(QueryHeaders) \
  X(CloseHandle)
// clang-format on

struct WinHttpApi {
#define ORNIVEL_WINHTTP_SLOT(name) decltype(&::WinHttp##name) name;
  ORNIVEL_WINHTTP_FUNCTIONS(ORNIVEL_WINHTTP_SLOT)
#undef ORNIVEL_WINHTTP_SLOT
};

// The table, loaded on the first call (from any thread) and kept for the life of the process.
// Null when "Winhttp.dll" or any of its functions cannot be found.
[[nodiscard]] const WinHttpApi* WinHttp();

// An owned session, connection or request handle, closed with WinHttpCloseHandle. Only made
// from handles that WinHttp()'s functions returned, so the table is there to close them.
struct WinHttpHandleKind {
  using Handle = HINTERNET;
  static constexpr Handle kNone = nullptr;
  static bool IsNone(Handle h) { return h == nullptr; }
  static bool Close(Handle h) { return WinHttp()->CloseHandle(h) != FALSE; }
};
using WinHttpHandle = UniqueOwner<WinHttpHandleKind>;

}  // namespace ornivel
