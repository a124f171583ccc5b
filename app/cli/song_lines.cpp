#include "app/cli/song_lines.h"

#include <algorithm>
#include <charconv>
#include <cstdio>

#include "text/ascii.h"
#include "text/code_page.h"
#include "text/gbk_text.h"
#include "text/text_convert.h"
#include "text/unicode.h"

namespace ornivel {
namespace {

// The columns a character takes on a terminal: two for the East Asian wide and full-width
// ones (Chinese, Japanese and Korean characters, full-width forms), one for the rest (Latin
// letters with accents, Greek, Cyrillic and the like, which GBK also writes with two bytes).
std::size_t CodeWidth(char32_t code) {
  const bool wide = (code >= 0x1100 && code <= 0x115F) || (code >= 0x2E80 && code <= 0x303E) ||
                    (code >= 0x3041 && code <= 0x33FF) || (code >= 0x3400 && code <= 0x4DBF) ||
                    (code >= 0x4E00 && code <= 0x9FFF) || (code >= 0xA000 && code <= 0xA4CF) ||
                    (code >= 0xAC00 && code <= 0xD7A3) || (code >= 0xF900 && code <= 0xFAFF) ||
                    (code >= 0xFE30 && code <= 0xFE4F) || (code >= 0xFF00 && code <= 0xFF60) ||
                    (code >= 0xFFE0 && code <= 0xFFE6) || (code >= 0x20000 && code <= 0x3FFFD);
  return wide ? 2 : 1;
}

// The longest start of `gbk` that takes at most `columns` on a terminal.
std::string CutToWidth(std::string_view gbk, std::size_t columns) {
  std::size_t end = 0;
  std::size_t width = 0;
  while (end < gbk.size()) {
    const std::size_t length = std::max<std::size_t>(GbkCharLength(gbk, end), 1);
    const std::size_t next = width + DisplayWidth(gbk.substr(end, length));
    if (next > columns) break;
    width = next;
    end += length;
  }
  return std::string(gbk.substr(0, end));
}

std::string Amount(double bytes) {
  char text[32];
  if (bytes >= 1024.0 * 1024.0) {
    std::snprintf(text, sizeof text, "%.1f MB", bytes / (1024.0 * 1024.0));
  } else {
    std::snprintf(text, sizeof text, "%.0f KB", bytes / 1024.0);
  }
  return text;
}

}  // namespace

std::string PrintableText(std::string_view gbk, char replacement) {
  std::string out;
  out.reserve(gbk.size());
  for (std::size_t at = 0; at < gbk.size();) {
    const std::size_t length = std::max<std::size_t>(GbkCharLength(gbk, at), 1);
    if (length == 1 && IsAsciiControl(gbk[at])) {
      out += replacement;
    } else {
      out.append(gbk.substr(at, length));
    }
    at += length;
  }
  return out;
}

std::size_t DisplayWidth(std::string_view gbk) {
  const std::u16string units = TextToUtf16(gbk, kCodePageGbk);
  std::size_t width = 0;
  for (std::size_t i = 0; i < units.size(); ++i) {
    char32_t code = units[i];
    if (IsHighSurrogate(units[i]) && i + 1 < units.size() && IsLowSurrogate(units[i + 1])) {
      code = 0x10000 + ((code - 0xD800) << 10) + (units[++i] - 0xDC00);
    }
    width += CodeWidth(code);
  }
  return width;
}

std::string SongTableLines(const std::vector<SongLine>& songs) {
  std::vector<std::vector<std::string>> cells;
  std::size_t widths[4] = {0, 0, 0, 0};
  for (const SongLine& song : songs) {
    auto& row = cells.emplace_back();
    row = {std::to_string(song.number), PrintableText(song.title, ' '),
           PrintableText(song.singer, ' '), PrintableText(song.album, ' '),
           PrintableText(song.identifier, ' ')};
    for (std::size_t column = 0; column < 4; ++column) {
      widths[column] = std::max(widths[column], DisplayWidth(row[column]));
    }
  }
  std::string out;
  for (const auto& row : cells) {
    std::string line(widths[0] - DisplayWidth(row[0]), ' ');  // numbers to the right
    line += row[0];
    for (std::size_t column = 1; column < 4; ++column) {
      line += "  ";
      line += row[column];
      line.append(widths[column] - DisplayWidth(row[column]), ' ');
    }
    line += "  ";
    line += row[4];
    out += GbkToUtf8(line);
    out += '\n';
  }
  return out;
}

std::string JsonString(std::string_view utf8) {
  std::string out = "\"";
  for (const char c : utf8) {
    const auto byte = static_cast<unsigned char>(c);
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (byte < 0x20) {
          char escape[8];
          std::snprintf(escape, sizeof escape, "\\u%04x", byte);
          out += escape;
        } else {
          out += c;
        }
    }
  }
  return out + "\"";
}

std::string SongJsonLine(const SongLine& song) {
  return "{\"index\":" + std::to_string(song.number) +
         ",\"id\":" + JsonString(GbkToUtf8(song.identifier)) +
         ",\"title\":" + JsonString(GbkToUtf8(song.title)) +
         ",\"singer\":" + JsonString(GbkToUtf8(song.singer)) +
         ",\"album\":" + JsonString(GbkToUtf8(song.album)) + "}\n";
}

namespace {

// Reads JSON from a one-line text, as far as a song line needs it.
class JsonReader {
 public:
  explicit JsonReader(std::string_view text) : text_(text) {}

  void SkipBlanks() {
    while (at_ < text_.size() &&
           (text_[at_] == ' ' || text_[at_] == '\t' || text_[at_] == '\r' || text_[at_] == '\n')) {
      ++at_;
    }
  }
  bool Take(char c) {
    SkipBlanks();
    if (at_ >= text_.size() || text_[at_] != c) return false;
    ++at_;
    return true;
  }
  [[nodiscard]] bool AtEnd() {
    SkipBlanks();
    return at_ == text_.size();
  }
  [[nodiscard]] bool Peek(char c) {
    SkipBlanks();
    return at_ < text_.size() && text_[at_] == c;
  }

  // A string, its escapes undone; nullopt when it is not one.
  std::optional<std::string> String() {
    if (!Take('"')) return std::nullopt;
    std::string out;
    while (at_ < text_.size()) {
      const char c = text_[at_++];
      if (c == '"') return out;
      if (static_cast<unsigned char>(c) < 0x20) return std::nullopt;
      if (c != '\\') {
        out += c;
        continue;
      }
      if (at_ >= text_.size()) return std::nullopt;
      const char e = text_[at_++];
      switch (e) {
        case '"':
          out += '"';
          break;
        case '\\':
          out += '\\';
          break;
        case '/':
          out += '/';
          break;
        case 'b':
          out += '\b';
          break;
        case 'f':
          out += '\f';
          break;
        case 'n':
          out += '\n';
          break;
        case 'r':
          out += '\r';
          break;
        case 't':
          out += '\t';
          break;
        case 'u': {
          auto unit = Hex4();
          if (!unit) return std::nullopt;
          char32_t code = *unit;
          if (IsHighSurrogate(static_cast<char16_t>(*unit))) {
            if (!(at_ + 1 < text_.size() && text_[at_] == '\\' && text_[at_ + 1] == 'u')) {
              return std::nullopt;
            }
            at_ += 2;
            const auto low = Hex4();
            if (!low || !IsLowSurrogate(static_cast<char16_t>(*low))) return std::nullopt;
            code = 0x10000 + ((*unit - 0xD800) << 10) + (*low - 0xDC00);
          } else if (IsLowSurrogate(static_cast<char16_t>(*unit))) {
            return std::nullopt;
          }
          AppendUtf8(out, code);
          break;
        }
        default:
          return std::nullopt;
      }
    }
    return std::nullopt;
  }

  // A number, true, false or null, as its text; nullopt when none is there.
  std::optional<std::string> Plain() {
    SkipBlanks();
    const std::size_t start = at_;
    while (at_ < text_.size() && std::string_view("+-.0123456789eEtruefalsn").find(text_[at_]) !=
                                     std::string_view::npos) {
      ++at_;
    }
    if (at_ == start) return std::nullopt;
    return std::string(text_.substr(start, at_ - start));
  }

 private:
  std::optional<char32_t> Hex4() {
    if (at_ + 4 > text_.size()) return std::nullopt;
    char32_t value = 0;
    for (int i = 0; i < 4; ++i) {
      const char c = text_[at_++];
      const int digit = c >= '0' && c <= '9'   ? c - '0'
                        : c >= 'a' && c <= 'f' ? c - 'a' + 10
                        : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                               : -1;
      if (digit < 0) return std::nullopt;
      value = value * 16 + static_cast<char32_t>(digit);
    }
    return value;
  }

  static void AppendUtf8(std::string& out, char32_t code) {
    if (code < 0x80) {
      out += static_cast<char>(code);
    } else if (code < 0x800) {
      out += static_cast<char>(0xC0 | (code >> 6));
      out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
      out += static_cast<char>(0xE0 | (code >> 12));
      out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (code >> 18));
      out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (code & 0x3F));
    }
  }

  std::string_view text_;
  std::size_t at_ = 0;
};

}  // namespace

std::optional<SongLine> ReadSongJsonLine(std::string_view utf8) {
  JsonReader reader(utf8);
  if (!reader.Take('{')) return std::nullopt;
  SongLine song;
  bool haveId = false;
  bool first = true;
  while (!reader.Take('}')) {
    if (!first && !reader.Take(',')) return std::nullopt;
    first = false;
    const auto key = reader.String();
    if (!key || !reader.Take(':')) return std::nullopt;
    std::optional<std::string> text;
    if (reader.Peek('"')) {
      text = reader.String();
      if (!text) return std::nullopt;
    } else {
      const auto plain = reader.Plain();
      if (!plain) return std::nullopt;
      if (*key == "index") {
        int number = 0;
        const auto [end, error] =
            std::from_chars(plain->data(), plain->data() + plain->size(), number);
        if (error == std::errc() && end == plain->data() + plain->size()) song.number = number;
      }
      continue;
    }
    std::string* field = *key == "id"       ? &song.identifier
                         : *key == "title"  ? &song.title
                         : *key == "singer" ? &song.singer
                         : *key == "album"  ? &song.album
                                            : nullptr;
    if (field == nullptr) continue;
    auto gbk = Utf8ToGbkExactly(*text);
    if (!gbk) return std::nullopt;
    *field = std::move(*gbk);
    if (field == &song.identifier) haveId = true;
  }
  if (!reader.AtEnd() || !haveId) return std::nullopt;
  return song;
}

std::string ProgressText(std::int64_t received, std::int64_t announced,
                         std::chrono::milliseconds elapsed, std::string_view label,
                         std::size_t columns) {
  char share[16];
  if (announced > 0) {
    const std::int64_t percent = std::min(received, announced) * 100 / announced;
    std::snprintf(share, sizeof share, "%3lld%%", static_cast<long long>(percent));
  }
  const double seconds = std::max<double>(static_cast<double>(elapsed.count()) / 1000.0, 0.001);
  const std::string front =
      (announced > 0 ? std::string(share) : Amount(static_cast<double>(received))) + "  " +
      Amount(static_cast<double>(received) / seconds) + "/s  ";
  const std::size_t room = columns > front.size() ? columns - front.size() : 0;
  return front + GbkToUtf8(CutToWidth(PrintableText(label, ' '), room));
}

}  // namespace ornivel
