#include "regex/replacement.h"

namespace ornivel {
namespace {

bool IsDigit(char16_t c) {
  return c >= u'0' && c <= u'9';
}

}  // namespace

std::u16string ReplaceHeldMatches(
    std::u16string_view subject, std::size_t matchCount, std::size_t groupCount,
    std::u16string_view replacement, const std::function<MatchPlace(std::size_t match)>& place,
    const std::function<std::u16string_view(std::size_t match, std::size_t group)>& group) {
  std::u16string out;
  std::size_t done = 0;
  for (std::size_t m = 0; m < matchCount; ++m) {
    const MatchPlace at = place(m);
    out.append(subject.substr(done, at.begin - done));
    for (std::size_t i = 0; i < replacement.size(); ++i) {
      const char16_t c = replacement[i];
      const char16_t next = i + 1 < replacement.size() ? replacement[i + 1] : u'\0';
      if (c != u'$' || next == u'\0') {
        out.push_back(c);
      } else if (next == u'$') {
        out.push_back(u'$');
        ++i;
      } else if (next == u'&') {
        out.append(subject.substr(at.begin, at.end - at.begin));
        ++i;
      } else if (next == u'`') {
        out.append(subject.substr(0, at.begin));
        ++i;
      } else if (next == u'\'') {
        out.append(subject.substr(at.end));
        ++i;
      } else if (IsDigit(next)) {
        std::size_t number = next - u'0';
        std::size_t used = 1;
        if (i + 2 < replacement.size() && IsDigit(replacement[i + 2])) {
          const std::size_t two = number * 10 + (replacement[i + 2] - u'0');
          if (two >= 1 && two <= groupCount) {
            number = two;
            used = 2;
          }
        }
        if (number >= 1 && number <= groupCount) {
          out.append(group(m, number));
          i += used;
        } else {
          out.push_back(c);
        }
      } else {
        out.push_back(c);
      }
    }
    done = at.end;
  }
  out.append(subject.substr(done));
  return out;
}

}  // namespace ornivel
