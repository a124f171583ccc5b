// The engine on Linux: PCRE2.
#include "regex/regex_engines.h"

namespace ornivel {

std::unique_ptr<RegexEngine> CreateRegexEngine() {
  return CreatePcre2Engine();
}

}  // namespace ornivel
