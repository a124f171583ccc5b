// The engine on Windows: the platform's "VBScript.RegExp" class wherever it can be created, and
// PCRE2, linked into the program, where it cannot (VBScript is switched off by default on new
// Windows installations from 2027, and may be removed later). The choice is made once per
// process. ORNIVEL_REGEX_FALLBACK=1 in the environment makes PCRE2 the choice regardless (the
// tests run both engines on the same suites); the program never needs it.
#include <windows.h>

#include "regex/regex_engines.h"

namespace ornivel {
namespace {

bool FallbackForced() {
  wchar_t value[4] = {};
  const DWORD length = GetEnvironmentVariableW(L"ORNIVEL_REGEX_FALLBACK", value, 4);
  return length == 1 && value[0] == L'1';
}

}  // namespace

std::unique_ptr<RegexEngine> CreateRegexEngine() {
  static const bool useClass = !FallbackForced() && VbscriptClassAvailable();
  return useClass ? CreateVbscriptEngine() : CreatePcre2Engine();
}

}  // namespace ornivel
