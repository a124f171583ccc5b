// Which engine reads the program's replies: PCRE2 on Linux; on Windows the platform's class, or
// PCRE2 where the class cannot be created (the tests force that with ORNIVEL_REGEX_FALLBACK=1 and
// run the same suites again).
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "regex/regex_engine.h"
#include "tests/support/platform.h"

namespace ornivel {
namespace {

TEST(RegexEngineChoiceTest, ThePlatformClassOnWindowsUnlessTheFallbackIsForced) {
  const char* forced = std::getenv("ORNIVEL_REGEX_FALLBACK");
  const bool fallback = forced != nullptr && std::string(forced) == "1";
  const auto engine = CreateRegexEngine();
  const std::string expected = test::kWindowsBackends && !fallback ? "VBScript.RegExp" : "PCRE2";
  EXPECT_EQ(engine->Name(), expected);
  // Every engine of the process is the same kind.
  EXPECT_EQ(CreateRegexEngine()->Name(), expected);
}

}  // namespace
}  // namespace ornivel
