#pragma once
// The engines behind CreateRegexEngine(), for the file of each platform that chooses among them.

#include <memory>

#include "regex/regex_engine.h"

namespace ornivel {

// PCRE2's 16-bit library (every platform).
[[nodiscard]] std::unique_ptr<RegexEngine> CreatePcre2Engine();

// The platform's "VBScript.RegExp" automation class (Windows only).
[[nodiscard]] std::unique_ptr<RegexEngine> CreateVbscriptEngine();

// Whether the platform's class can be created in this process (Windows only): false where it is
// not registered or VBScript is switched off. Found out once, on a helper thread of its own.
[[nodiscard]] bool VbscriptClassAvailable();

}  // namespace ornivel
