#pragma once
// RegexObject: the program's one regular-expression facility.
//
// A caller makes an object, runs Create with a pattern and a GBK subject, reads matches and
// groups, and drops the object. Matching is on characters, not GBK bytes: "." matches one Chinese
// character, and groups come back as whole GBK characters. Every failure gives the empty result
// of the operation (false, 0, the empty text). Numbers of matches and groups are 1-based.
//
// An object is used on the thread that made it.

#include <memory>
#include <string>
#include <string_view>

#include "regex/regex_engine.h"
#include "text/gbk_unit_index.h"

namespace ornivel {

// The options of RegexObject::Create; each field left out keeps its default. Name them at the
// call: Create(pattern, subject, {.multiline = false, .quoteToken = true}).
struct RegexOptions {
  bool caseSensitive = false;  // letters match without regard to case unless set
  bool multiline = true;       // "^" and "$" match at every line feed, not only at the ends
  bool global = true;          // every match is collected, not only the first
  bool quoteToken = false;     // every "#引号" of the pattern stands for one double quote
};

class RegexObject {
 public:
  RegexObject();
  ~RegexObject();
  RegexObject(const RegexObject&) = delete;
  RegexObject& operator=(const RegexObject&) = delete;

  // Runs `pattern` over `subject`, replacing whatever an earlier Create held. True when a match
  // collection was made, also an empty one; false only for an invalid pattern (or no memory),
  // and then nothing of an earlier Create is held either. A runaway pattern cannot hang the
  // window: on Linux a run that reaches the engine's bound at one place of the subject stops
  // there and keeps every match found before it; on Windows a run of the platform's class that
  // outlasts its time limit is given up and done again by PCRE2, with the same bound as on
  // Linux. Either way Create returns true.
  [[nodiscard]] bool Create(std::string_view pattern, std::string_view subject,
                            const RegexOptions& options = {});

  [[nodiscard]] int MatchCount() const;
  // Capture group `group` of match `match`; empty when either is out of range or the group took
  // no part in the match.
  [[nodiscard]] std::string SubMatchText(int match, int group) const;
  // The whole text of match `match`.
  [[nodiscard]] std::string MatchText(int match) const;
  // Number of capture groups of the first match; 0 when there is no match.
  [[nodiscard]] int SubMatchCount() const;
  // The pattern of the last Create, after placeholder replacement.
  [[nodiscard]] std::string GetPattern() const;
  // The subject with the matches replaced (every match when `global`, else the first); the
  // replacement may use $1..$99, $&, $`, $' and $$. Empty on failure.
  [[nodiscard]] std::string ReplaceMatches(std::string_view replacement) const;

 private:
  std::string Narrow(std::u16string_view units) const;

  std::unique_ptr<RegexEngine> engine_;
  std::string subject_;       // GBK, as given
  std::u16string subject16_;  // what the engine runs over
  // Lets groups be cut from subject_ directly. Empty when the subject held bytes GBK does not
  // define; groups are then narrowed by conversion.
  GbkUnitIndex unitIndex_;
};

}  // namespace ornivel
