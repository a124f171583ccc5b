#include "text/gbk_text.h"

#include <algorithm>

#include "text/ascii.h"

namespace ornivel {
namespace {

// Code page 936 starts a double-byte character with 81 to FE only: 80 is the euro sign, a
// character of its own, and FF is no lead byte. Taking either for one would swallow the byte
// after it, a "/" or "\" included.
bool IsLeadByte(char c) {
  const auto b = static_cast<unsigned char>(c);
  return b >= 0x81 && b <= 0xFE;
}

// Whether `needle` stands at `pos` of `text`. Only single-byte characters are case-folded: the
// trail byte of a double-byte character may look like an ASCII letter but is not one.
bool MatchesAt(std::string_view text, std::size_t pos, std::string_view needle, bool ignoreCase) {
  if (text.size() - pos < needle.size()) return false;
  if (!ignoreCase) return text.compare(pos, needle.size(), needle) == 0;
  for (std::size_t i = 0; i < needle.size(); ++i) {
    const char n = needle[i];
    const char t = text[pos + i];
    if (IsLeadByte(n)) {
      if (t != n) return false;
      if (i + 1 < needle.size()) {
        ++i;
        if (text[pos + i] != needle[i]) return false;
      }
    } else if (AsciiLower(t) != AsciiLower(n)) {
      return false;
    }
  }
  return true;
}

// 0-based index of the first `needle` at or after the 0-based `from`, or npos.
std::size_t FindFrom(std::string_view text, std::string_view needle, std::size_t from,
                     bool ignoreCase) {
  if (needle.empty()) return std::string_view::npos;
  for (std::size_t pos = from; pos < text.size(); pos += GbkCharLength(text, pos)) {
    if (MatchesAt(text, pos, needle, ignoreCase)) return pos;
  }
  return std::string_view::npos;
}

}  // namespace

std::size_t GbkCharLength(std::string_view text, std::size_t pos) {
  if (pos >= text.size()) return 0;
  return (IsLeadByte(text[pos]) && pos + 1 < text.size()) ? 2 : 1;
}

bool IsWellFormedGbk(std::string_view text) {
  for (std::size_t pos = 0; pos < text.size(); ++pos) {
    const auto c = static_cast<unsigned char>(text[pos]);
    if (c <= 0x80) continue;
    if (c == 0xFF || pos + 1 == text.size()) return false;
    const auto trail = static_cast<unsigned char>(text[++pos]);
    if (trail < 0x40 || trail == 0x7F || trail == 0xFF) return false;
  }
  return true;
}

std::string_view CutAtCharacter(std::string_view text, std::size_t limit) {
  if (text.size() <= limit) return text;
  std::size_t end = 0;
  while (end < text.size()) {
    const std::size_t next = end + GbkCharLength(text, end);
    if (next > limit) break;
    end = next;
  }
  return text.substr(0, end);
}

std::string TextLeft(std::string_view text, long long count) {
  if (count <= 0) return {};
  return std::string(text.substr(0, static_cast<std::size_t>(count)));
}

std::string TextRight(std::string_view text, long long count) {
  if (count <= 0) return {};
  const auto n = std::min(text.size(), static_cast<std::size_t>(count));
  return std::string(text.substr(text.size() - n));
}

std::string TextMiddle(std::string_view text, long long start, long long count) {
  if (count <= 0 || start < 1 || static_cast<unsigned long long>(start) > text.size()) return {};
  return std::string(
      text.substr(static_cast<std::size_t>(start - 1), static_cast<std::size_t>(count)));
}

long long TextFind(std::string_view text, std::string_view needle, long long start,
                   bool ignoreCase) {
  const auto from = static_cast<std::size_t>(std::max(start, 1LL) - 1);
  if (from >= text.size()) return -1;
  const auto pos = FindFrom(text, needle, from, ignoreCase);
  return pos == std::string_view::npos ? -1 : static_cast<long long>(pos) + 1;
}

std::string TextReplace(std::string_view text, std::string_view find, std::string_view replacement,
                        bool ignoreCase) {
  if (find.empty()) return std::string(text);
  std::string out;
  out.reserve(text.size());
  std::size_t done = 0;
  for (auto pos = FindFrom(text, find, 0, ignoreCase); pos != std::string_view::npos;
       pos = FindFrom(text, find, done, ignoreCase)) {
    out.append(text.substr(done, pos - done)).append(replacement);
    done = pos + find.size();
  }
  out.append(text.substr(std::min(done, text.size())));
  return out;
}

std::vector<std::string> TextSplit(std::string_view text, std::string_view separator) {
  std::vector<std::string> pieces;
  if (text.empty()) return pieces;
  std::size_t done = 0;
  for (auto pos = FindFrom(text, separator, 0, false); pos != std::string_view::npos;
       pos = FindFrom(text, separator, done, false)) {
    pieces.emplace_back(text.substr(done, pos - done));
    done = pos + separator.size();
  }
  if (done < text.size()) pieces.emplace_back(text.substr(done));
  return pieces;
}

std::size_t GbkSpaceLength(std::string_view text, std::size_t pos) {
  if (pos >= text.size()) return 0;
  if (text[pos] == ' ') return 1;
  if (text.substr(pos, 2) == "\xA1\xA1") return 2;
  return 0;
}

std::string TextTrim(std::string_view text) {
  // Walk forward so that character boundaries are known: "\xB0\xA1\xA1\xA1" ends in a
  // full-width space, "\xA1\xA1\xA1" ends in a lone lead byte.
  std::size_t begin = 0;
  while (const auto n = GbkSpaceLength(text, begin)) begin += n;
  std::size_t end = begin;
  for (std::size_t pos = begin; pos < text.size();) {
    if (const auto n = GbkSpaceLength(text, pos)) {
      pos += n;
    } else {
      pos += GbkCharLength(text, pos);
      end = pos;
    }
  }
  return std::string(text.substr(begin, end - begin));
}

std::string RemoveSpaces(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t pos = 0; pos < text.size();) {
    if (const auto n = GbkSpaceLength(text, pos)) {
      pos += n;
    } else {
      const auto n2 = GbkCharLength(text, pos);
      out.append(text.substr(pos, n2));
      pos += n2;
    }
  }
  return out;
}

std::string TextBetween(std::string_view text, std::string_view leftMarker,
                        std::string_view rightMarker, long long startPosition, bool ignoreCase) {
  const std::string left = TextReplace(leftMarker, kQuotePlaceholder, "\"");
  const std::string right = TextReplace(rightMarker, kQuotePlaceholder, "\"");
  long long p = TextFind(text, left, startPosition, ignoreCase);
  if (p != -1) p += static_cast<long long>(left.size());
  const long long q = TextFind(text, right, p == -1 ? 1 : p, ignoreCase);
  if (p == -1 || q == -1) return {};
  return TextMiddle(text, p, q - p);
}

}  // namespace ornivel
