#include "catalog/catalog_replies.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <ctime>

#include "text/ascii.h"
#include "text/text_convert.h"

namespace ornivel::catalog {

std::string QuoteValue(std::string_view value) {
  std::string out;
  out.reserve(value.size());
  for (const char c : value) {
    if (c == '\'') {
      out.append("\xE2\x80\x99");  // ’
    } else if (c == '\r' || c == '\n') {
      out.push_back(' ');
    } else {
      out.push_back(c);
    }
  }
  return out;
}

std::string EncodePath(std::string_view path) {
  return PercentEncode(path, [](unsigned char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '-' ||
           c == '.' || c == '_' || c == '~' || c == '/';
  });
}

std::string SearchReply(const Library& library, std::string_view keyword, int page, int pageSize) {
  page = std::max(page, 1);
  pageSize = std::clamp(pageSize, 1, kMaxPageSize);
  const std::string needle = AsciiLowerText(keyword);
  const std::size_t skip = static_cast<std::size_t>(page - 1) * static_cast<std::size_t>(pageSize);
  std::size_t total = 0;
  std::string records;
  for (const Song& song : library.songs()) {
    if (!needle.empty() && song.haystack.find(needle) == std::string::npos) continue;
    ++total;
    if (total <= skip || total > skip + static_cast<std::size_t>(pageSize)) continue;
    records.append("{'rid':'").append(song.identifier);
    records.append("','songName':'").append(QuoteValue(song.title));
    records.append("','album':'").append(QuoteValue(song.album));
    records.append("','duration':'").append(std::to_string(song.seconds));
    records.append("','format':'mp3");
    records.append("','artist':'").append(QuoteValue(song.singer)).append("'},\n");
  }
  return "try{var jsondata={'TOTAL':'" + std::to_string(total) + "','PN':'" + std::to_string(page) +
         "','RN':'" + std::to_string(pageSize) + "','abslist':[\n" + records + "]}}\n";
}

std::string LookupReply(const Library& library, std::string_view identifier,
                        std::string_view publicHost) {
  const Song* song = library.FindByIdentifier(identifier);
  if (song == nullptr) return "<result><error>no such song</error></result>\n";
  return "<result><mp3dl>" + std::string(publicHost) + "</mp3dl><mp3path>" +
         EncodePath(song->relativePath) + "</mp3path></result>\n";
}

const Song* ResolveResource(const Library& library, std::string_view path) {
  // Only the library's own relative paths are served; nothing is resolved on the file system.
  return library.FindByPath(path);
}

namespace {

// A decimal number of the whole text, without sign or spaces.
std::optional<std::uint64_t> Number(std::string_view text) {
  std::uint64_t value = 0;
  if (text.empty()) return std::nullopt;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

}  // namespace

ByteRange ParseByteRange(std::string_view header, std::uint64_t size) {
  constexpr std::string_view kUnit = "bytes=";
  if (!header.starts_with(kUnit)) return {};
  const std::string_view spec = header.substr(kUnit.size());
  const auto dash = spec.find('-');
  if (dash == std::string_view::npos || spec.find(',') != std::string_view::npos) return {};
  const std::string_view from = spec.substr(0, dash), to = spec.substr(dash + 1);
  if (from.empty()) {  // the last SUFFIX bytes
    const auto suffix = Number(to);
    if (!suffix) return {};
    if (*suffix == 0 || size == 0) return {ByteRange::Kind::kUnsatisfiable};
    const std::uint64_t length = std::min(*suffix, size);
    return {ByteRange::Kind::kPart, size - length, length};
  }
  const auto first = Number(from);
  const auto last = to.empty() ? std::optional<std::uint64_t>(UINT64_MAX) : Number(to);
  if (!first || !last || *last < *first) return {};
  if (*first >= size) return {ByteRange::Kind::kUnsatisfiable};
  return {ByteRange::Kind::kPart, *first, std::min(*last, size - 1) - *first + 1};
}

std::string EscapeForLog(std::string_view line) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out;
  out.reserve(line.size());
  for (const char c : line) {
    const auto b = static_cast<unsigned char>(c);
    if (b < 0x20 || b >= 0x7F || b == '\\') {
      out.append("\\x").push_back(kHex[b >> 4]);
      out.push_back(kHex[b & 0xF]);
    } else {
      out.push_back(c);
    }
  }
  return out;
}

std::string SongEntityTag(std::uint64_t size, std::int64_t modified) {
  char tag[48];
  std::snprintf(tag, sizeof tag, "\"%llx-%llx\"", static_cast<unsigned long long>(size),
                static_cast<unsigned long long>(modified));
  return tag;
}

std::string HttpDate(std::int64_t seconds) {
  static constexpr const char* kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                            "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  const std::time_t time = static_cast<std::time_t>(seconds);
  std::tm parts{};
  if (::gmtime_r(&time, &parts) == nullptr) return {};
  char date[40];
  std::snprintf(date, sizeof date, "%s, %02d %s %04d %02d:%02d:%02d GMT", kDays[parts.tm_wday],
                parts.tm_mday, kMonths[parts.tm_mon], parts.tm_year + 1900, parts.tm_hour,
                parts.tm_min, parts.tm_sec);
  return date;
}

}  // namespace ornivel::catalog
