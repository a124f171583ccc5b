#pragma once
// The owner of a WinINet handle (session, connection or request), closed with
// InternetCloseHandle. A header of its own: wininet.h and winhttp.h cannot share a translation
// unit. Whoever includes it links wininet. Windows only.

#include <windows.h>
#include <wininet.h>

#include "win/unique_owner.h"

namespace ornivel {

struct InternetHandleKind {
  using Handle = HINTERNET;
  static constexpr Handle kNone = nullptr;
  static bool IsNone(Handle h) { return h == nullptr; }
  static bool Close(Handle h) { return InternetCloseHandle(h) != FALSE; }
};
using InternetHandle = UniqueOwner<InternetHandleKind>;

}  // namespace ornivel
