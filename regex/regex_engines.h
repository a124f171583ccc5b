#pragma once
// The engines behind CreateRegexEngine(), for the file of each platform that chooses among them.

#include <chrono>
#include <memory>

#include "regex/regex_engine.h"

namespace ornivel {

// PCRE2's 16-bit library (every platform).
[[nodiscard]] std::unique_ptr<RegexEngine> CreatePcre2Engine();

// The platform's "VBScript.RegExp" automation class (Windows only).
[[nodiscard]] std::unique_ptr<RegexEngine> CreateVbscriptEngine();

// How long the class may take over a run of an empty subject before PCRE2 does it instead (3 s;
// a second more per million units of the subject). The tests shorten it to see what a slow
// machine sees (Windows only).
void SetVbscriptRunTimeFloor(std::chrono::milliseconds floor);

// How many helper threads of the class, abandoned with a run given up, are still at work: at
// most one (Windows only).
[[nodiscard]] int AbandonedVbscriptHelpers();

// Whether the platform's class can be created in this process (Windows only): false where it is
// not registered or VBScript is switched off. Found out once, on a helper thread of its own.
[[nodiscard]] bool VbscriptClassAvailable();

}  // namespace ornivel
