#pragma once
// The catalog's answers, in the forms the program relies on.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "catalog/library.h"

namespace ornivel::catalog {

inline constexpr int kMaxPageSize = 500;

// The search reply: UTF-8 text with one record per line, its fields in the order rid, songName,
// album, duration, format, artist, each 'name':'value'. `keyword` (UTF-8) matches title, singer
// or album, ignoring the case of ASCII letters; an empty keyword matches every song. Page
// `page` (from 1) of at most `pageSize` (1 to 500) records.
[[nodiscard]] std::string SearchReply(const Library& library, std::string_view keyword, int page,
                                      int pageSize);

// The lookup reply: the public host between <mp3dl> markers and the song's path (percent-encoded,
// so the reply is plain ASCII) between <mp3path> markers; a reply without markers for an
// identifier the library does not know.
[[nodiscard]] std::string LookupReply(const Library& library, std::string_view identifier,
                                      std::string_view publicHost);

// A value as a record carries it: a single quote becomes "’" and line breaks become spaces, so
// every record still matches the program's pattern and stays on one line.
[[nodiscard]] std::string QuoteValue(std::string_view value);

// `path` with every byte but unreserved characters and "/" percent-encoded.
[[nodiscard]] std::string EncodePath(std::string_view path);

// The song a /resource/ request names (the path already percent-decoded); null for anything
// that is not a song of the library, ".." and absolute paths included.
[[nodiscard]] const Song* ResolveResource(const Library& library, std::string_view path);

// What a request's Range header asks of a file of `size` bytes. One range of bytes
// ("bytes=FIRST-", "bytes=FIRST-LAST", "bytes=-SUFFIX") is served as a part; a range that starts
// at or past the end (or an empty suffix) cannot be; anything else (no header, several ranges,
// other units, a malformed one) is answered with the whole file, as HTTP allows.
struct ByteRange {
  enum class Kind { kWhole, kPart, kUnsatisfiable };
  Kind kind = Kind::kWhole;
  std::uint64_t first = 0;
  std::uint64_t length = 0;  // of the part
};
[[nodiscard]] ByteRange ParseByteRange(std::string_view header, std::uint64_t size);

// A song file's ETag: its length and its time of change, so a file replaced or rewritten gets
// another one ("\"3f2a-65b1c0de\"", both in hexadecimal, quotes included).
[[nodiscard]] std::string SongEntityTag(std::uint64_t size, std::int64_t modified);

// `seconds` since 1970 as an HTTP date: "Sun, 06 Nov 1994 08:49:37 GMT".
[[nodiscard]] std::string HttpDate(std::int64_t seconds);

// `line` as the log shows it: every byte but printable ASCII (control characters, DEL, and bytes
// from 0x80 on, which a terminal may read as C1 controls) and the backslash itself as a \xHH
// escape, so that a terminal showing the log obeys nothing a client sent, and one request stays
// one line.
[[nodiscard]] std::string EscapeForLog(std::string_view line);

}  // namespace ornivel::catalog
