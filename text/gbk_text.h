#pragma once
// GBK-aware text operations.
//
// Every text inside the program is GBK bytes. These operations work on bytes, but the searching
// ones step over a double-byte character (a lead byte, 81 to FE, and the byte after it) as one
// unit, so a trail byte that happens to equal "\" or "a" is never matched on its own. The bytes
// 80 (the euro sign) and FF are characters of one byte. A lead byte at the very end of a text,
// with no trail byte after it, counts as a character of one byte.
// Positions are 1-based byte positions; "not found" is -1.

#include <string>
#include <string_view>
#include <vector>

namespace ornivel {

// The quote placeholder: in regular-expression patterns (when asked) and in the markers of
// TextBetween, "#引号" stands for one double quote, so callers can write quotes inside texts.
inline constexpr std::string_view kQuotePlaceholder = "#\xD2\xFD\xBA\xC5";  // GBK bytes

// Length in bytes of the character that starts at `pos` (1 or 2, 0 at the end).
[[nodiscard]] std::size_t GbkCharLength(std::string_view text, std::size_t pos);

// Whether `text` reads as GBK with no byte left over: single bytes below 80 (and 80, the euro
// sign), and double-byte characters of a lead byte 81 to FE and a trail byte 40 to FE but 7F.
[[nodiscard]] bool IsWellFormedGbk(std::string_view text);

// The first `limit` bytes of `text` or fewer, without a double-byte character cut in half.
[[nodiscard]] std::string_view CutAtCharacter(std::string_view text, std::size_t limit);

// The first `count` bytes (all of the text when shorter; empty when count <= 0).
[[nodiscard]] std::string TextLeft(std::string_view text, long long count);
// The last `count` bytes (all of the text when shorter; empty when count <= 0).
[[nodiscard]] std::string TextRight(std::string_view text, long long count);
// `count` bytes from the 1-based `start`; empty when start lies outside the text or count <= 0;
// cut at the end of the text.
[[nodiscard]] std::string TextMiddle(std::string_view text, long long start, long long count);

// 1-based position of the first `needle` at or after `start` (values below 1 count as 1), or -1.
// Candidates are tried at character boundaries only. With `ignoreCase`, ASCII letters compare
// without regard to case; bytes of double-byte characters always compare exactly. An empty
// needle is never found.
[[nodiscard]] long long TextFind(std::string_view text, std::string_view needle,
                                 long long start = 1, bool ignoreCase = false);

// Every occurrence of `find`, left to right and without overlap, replaced by `replacement`.
// An empty `find` leaves the text as it is.
[[nodiscard]] std::string TextReplace(std::string_view text, std::string_view find,
                                      std::string_view replacement, bool ignoreCase = false);

// The pieces between occurrences of `separator`, in order. Empty pieces between adjacent
// separators and a leading empty piece are kept; a trailing empty remainder is not. An empty text
// gives no pieces; an empty separator gives the whole text as one piece.
[[nodiscard]] std::vector<std::string> TextSplit(std::string_view text, std::string_view separator);

// The text between the first `leftMarker` at or after `startPosition` (1-based) and the next
// `rightMarker` after it. "#引号" in either marker stands for a double quote. Empty when either
// marker is missing. The song address lookup cuts its values out of a reply with it.
[[nodiscard]] std::string TextBetween(std::string_view text, std::string_view leftMarker,
                                      std::string_view rightMarker, long long startPosition = 1,
                                      bool ignoreCase = false);

// Length of the space that starts at `pos`: 1 for the ASCII space, 2 for the full-width space
// (A1 A1), 0 for anything else.
[[nodiscard]] std::size_t GbkSpaceLength(std::string_view text, std::size_t pos);

// Leading and trailing spaces removed (ASCII and full-width; other white space stays).
[[nodiscard]] std::string TextTrim(std::string_view text);
// Every ASCII and full-width space removed, wherever it stands.
[[nodiscard]] std::string RemoveSpaces(std::string_view text);

}  // namespace ornivel
