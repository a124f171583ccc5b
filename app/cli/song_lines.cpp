#include "app/cli/song_lines.h"

#include <algorithm>
#include <cstdio>

#include "text/gbk_text.h"
#include "text/text_convert.h"

namespace ornivel {
namespace {

bool IsControl(unsigned char c) {
  return c < 0x20 || c == 0x7F;
}

// `gbk` with every control character made a space, so that no text of a reply can move the
// cursor or end a line on the terminal.
std::string Printable(std::string_view gbk) {
  std::string out;
  out.reserve(gbk.size());
  for (std::size_t at = 0; at < gbk.size();) {
    const std::size_t length = std::max<std::size_t>(GbkCharLength(gbk, at), 1);
    if (length == 1 && IsControl(static_cast<unsigned char>(gbk[at]))) {
      out += ' ';
    } else {
      out.append(gbk.substr(at, length));
    }
    at += length;
  }
  return out;
}

// The longest start of `gbk` that takes at most `columns` on a terminal.
std::string CutToWidth(std::string_view gbk, std::size_t columns) {
  std::size_t end = 0;
  std::size_t width = 0;
  while (end < gbk.size()) {
    const std::size_t length = std::max<std::size_t>(GbkCharLength(gbk, end), 1);
    const std::size_t next = width + (length == 2 ? 2 : 1);
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

std::size_t DisplayWidth(std::string_view gbk) {
  std::size_t width = 0;
  for (std::size_t at = 0; at < gbk.size();) {
    const std::size_t length = std::max<std::size_t>(GbkCharLength(gbk, at), 1);
    width += length == 2 ? 2 : 1;
    at += length;
  }
  return width;
}

std::string SongTableLines(const std::vector<SongLine>& songs) {
  std::vector<std::vector<std::string>> cells;
  std::size_t widths[4] = {0, 0, 0, 0};
  for (const SongLine& song : songs) {
    auto& row = cells.emplace_back();
    row = {std::to_string(song.number), Printable(song.title), Printable(song.singer),
           Printable(song.album), Printable(song.identifier)};
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
  return front + GbkToUtf8(CutToWidth(Printable(label), room));
}

}  // namespace ornivel
