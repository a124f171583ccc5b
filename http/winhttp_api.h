#pragma once
// The WinHTTP functions the transport uses, taken by name from "Winhttp.dll" on first use, and
// the owner of a WinHTTP handle. Windows backends only.
//
// Every function of the table is declared here and nowhere else. Each pointer type carries
// WINAPI: the 32-bit program calls them with the __stdcall convention, and a type without it
// would corrupt the stack there. The 64-bit build has one convention and cannot notice; the
// 32-bit build checks every type against the SDK's declaration (winhttp_api.cpp).

#include <windows.h>
#include <winhttp.h>

#include <utility>

#include "win/unique_owner.h"

namespace ornivel {

struct WinHttpApi {
  BOOL(WINAPI* CheckPlatform)();
  BOOL(WINAPI* CrackUrl)(LPCWSTR url, DWORD length, DWORD flags, URL_COMPONENTS* components);
  HINTERNET(WINAPI* Open)
  (LPCWSTR agent, DWORD accessType, LPCWSTR proxyName, LPCWSTR proxyBypass, DWORD flags);
  HINTERNET(WINAPI* Connect)
  (HINTERNET session, LPCWSTR serverName, INTERNET_PORT port, DWORD reserved);
  HINTERNET(WINAPI* OpenRequest)
  (HINTERNET connection, LPCWSTR verb, LPCWSTR objectName, LPCWSTR version, LPCWSTR referrer,
   LPCWSTR* acceptTypes, DWORD flags);
  BOOL(WINAPI* SetTimeouts)
  (HINTERNET handle, int resolveMs, int connectMs, int sendMs, int receiveMs);
  BOOL(WINAPI* SetCredentials)
  (HINTERNET request, DWORD target, DWORD scheme, LPCWSTR userName, LPCWSTR password,
   LPVOID params);
  BOOL(WINAPI* SetOption)(HINTERNET handle, DWORD option, LPVOID buffer, DWORD length);
  BOOL(WINAPI* AddRequestHeaders)
  (HINTERNET request, LPCWSTR headers, DWORD length, DWORD modifiers);
  BOOL(WINAPI* SendRequest)
  (HINTERNET request, LPCWSTR headers, DWORD headersLength, LPVOID body, DWORD bodyLength,
   DWORD totalLength, DWORD_PTR context);
  BOOL(WINAPI* ReceiveResponse)(HINTERNET request, LPVOID reserved);
  BOOL(WINAPI* QueryDataAvailable)(HINTERNET request, DWORD* available);
  BOOL(WINAPI* ReadData)(HINTERNET request, LPVOID buffer, DWORD toRead, DWORD* read);
  BOOL(WINAPI* QueryHeaders)
  (HINTERNET request, DWORD infoLevel, LPCWSTR name, LPVOID buffer, DWORD* length, DWORD* index);
  BOOL(WINAPI* CloseHandle)(HINTERNET handle);
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
