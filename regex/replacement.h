#pragma once
// The replacement of RegexEngine::Replace, written once for every engine: the engines differ in
// how they find matches, not in what a replacement text means.

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace ornivel {

// Where a held match lies in the subject, in UTF-16 units: [begin, end).
struct MatchPlace {
  std::size_t begin = 0;
  std::size_t end = 0;
};

// `subject` with each of its `matchCount` held matches replaced by `replacement`, in which $1 to
// $99 stand for the match's groups (two digits only when that group exists: "$10" with fewer than
// ten groups is group 1 followed by "0"), $& for the match, $` and $' for the subject before and
// after it, and $$ for one dollar sign. A reference to a group that does not exist, and any other
// "$", stay as they are written. `place` gives each match's place, `group` the text of its
// groups 1 to `groupCount` (the empty text for one that took no part).
[[nodiscard]] std::u16string ReplaceHeldMatches(
    std::u16string_view subject, std::size_t matchCount, std::size_t groupCount,
    std::u16string_view replacement, const std::function<MatchPlace(std::size_t match)>& place,
    const std::function<std::u16string_view(std::size_t match, std::size_t group)>& group);

}  // namespace ornivel
