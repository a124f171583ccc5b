#pragma once
// The regular-expression engine seam.
//
// One file per platform supplies CreateRegexEngine(): PCRE2's 16-bit library on Linux; on
// Windows the platform's automation class, and PCRE2 where the class cannot be created
// (regex_engines.h). The engine works on UTF-16 and knows nothing of GBK or of 1-based
// numbering; RegexObject adds both.
//
// Every backend gives the pattern these meanings: "." never matches a line feed; "\w" is ASCII
// letters, digits and "_"; `multiline` only lets "^" and "$" match at line feeds (without it "$"
// matches only at the very end); `global` collects every match instead of the first; groups are
// numbered from 1 in the order of their opening brackets. As in the platform class, a reference
// to a group that took no part matches the empty text, "\uXXXX" is the character XXXX (four
// hexadecimal digits) and "[^]" is any character, a line feed included.

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace ornivel {

struct RegexEngineOptions {
  bool ignoreCase = true;
  bool multiline = true;
  bool global = true;
};

class RegexEngine {
 public:
  virtual ~RegexEngine() = default;

  // Takes the pattern and options and runs the pattern over `subject`, keeping the matches.
  // `subject` must stay alive and unchanged until the next Execute or the engine's end. A pattern
  // that backtracks without end cannot hang the caller: an engine that can stop a run bounds the
  // work spent at one place of the subject, and a run that reaches the bound ends there and keeps
  // the matches found before it (PCRE2); an engine that cannot stop a run bounds the time it
  // waits for it, and has a run that takes longer done again by one that can (the platform
  // class, whose given-up runs PCRE2 does). Either way it still succeeds. False when the pattern
  // is invalid or the run could not
  // start: nothing of an earlier run is held then (no matches, no groups).
  [[nodiscard]] virtual bool Execute(std::u16string_view pattern, const RegexEngineOptions& options,
                                     std::u16string_view subject) = 0;

  // Number of matches held.
  [[nodiscard]] virtual std::size_t MatchCount() const = 0;

  // Number of capture groups of the pattern held (0 when none is held).
  [[nodiscard]] virtual std::size_t GroupCount() const = 0;

  // The text of match `match` (0-based), or of its capture group `group` (1-based; 0 is the whole
  // match). A group that took no part gives an empty text; a match or group out of range gives
  // nullopt. The view is valid until the next call on the engine.
  [[nodiscard]] virtual std::optional<std::u16string_view> MatchGroup(std::size_t match,
                                                                      std::size_t group) const = 0;

  // Which engine this is ("PCRE2", "VBScript.RegExp"), for the tests and diagnostics.
  [[nodiscard]] virtual std::string_view Name() const = 0;

  // The pattern of the last Execute (also after an invalid one); empty before the first.
  [[nodiscard]] virtual std::u16string Pattern() const = 0;

  // The subject with the held matches replaced by `replacement`, which may refer to groups as
  // $1 to $99, to the match as $&, to the text before and after it as $` and $', and to a dollar
  // sign as $$. nullopt when no matches are held because Execute failed or never ran.
  [[nodiscard]] virtual std::optional<std::u16string> Replace(
      std::u16string_view replacement) const = 0;
};

// A new engine for the calling thread. Never null.
[[nodiscard]] std::unique_ptr<RegexEngine> CreateRegexEngine();

}  // namespace ornivel
