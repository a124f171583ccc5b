#include "app/cli/song_lines.h"

#include <algorithm>
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
