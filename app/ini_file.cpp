#include "app/ini_file.h"

#include <vector>

#include "text/ascii.h"

namespace ornivel {
namespace {

struct Line {
  std::string_view text;  // without its line break
  std::size_t begin;      // offset of the line in the content
  std::size_t end;        // offset after its line break
};

// The UTF-8 byte-order mark that some editors put before a file's first line.
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

std::vector<Line> Lines(std::string_view content) {
  std::vector<Line> lines;
  // A mark is no part of the first line, and a write keeps it where it is.
  std::size_t at =
      content.substr(0, kByteOrderMark.size()) == kByteOrderMark ? kByteOrderMark.size() : 0;
  while (at < content.size()) {
    const auto newline = content.find('\n', at);
    const std::size_t end = newline == std::string_view::npos ? content.size() : newline + 1;
    std::string_view text =
        content.substr(at, (newline == std::string_view::npos ? end : newline) - at);
    if (!text.empty() && text.back() == '\r') text.remove_suffix(1);
    lines.push_back({text, at, end});
    at = end;
  }
  return lines;
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

// The section a line opens, if it is a section header.
std::optional<std::string_view> SectionName(std::string_view line) {
  line = Trim(line);
  if (line.size() < 2 || line.front() != '[') return std::nullopt;
  const auto close = line.find(']');
  if (close == std::string_view::npos) return std::nullopt;
  return Trim(line.substr(1, close - 1));
}

// The key of a "key=value" line, with its value.
std::optional<std::pair<std::string_view, std::string_view>> KeyValue(std::string_view line) {
  const auto equals = line.find('=');
  if (equals == std::string_view::npos) return std::nullopt;
  const std::string_view key = Trim(line.substr(0, equals));
  if (key.empty() || key.front() == ';') return std::nullopt;
  return std::pair{key, Trim(line.substr(equals + 1))};
}

struct Found {
  std::ptrdiff_t section = -1;  // index of the section's header line
  std::ptrdiff_t key = -1;      // index of the key's line
  std::ptrdiff_t last = -1;     // index of the section's last non-blank line
};

Found Find(const std::vector<Line>& lines, std::string_view section, std::string_view key) {
  Found found;
  bool inside = false;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (const auto name = SectionName(lines[i].text)) {
      if (inside) break;  // the first section of that name is the one
      inside = AsciiEqualIgnoringCase(*name, section);
      if (inside) found.section = found.last = static_cast<std::ptrdiff_t>(i);
      continue;
    }
    if (!inside) continue;
    if (!Trim(lines[i].text).empty()) found.last = static_cast<std::ptrdiff_t>(i);
    const auto pair = KeyValue(lines[i].text);
    if (pair && found.key == -1 && AsciiEqualIgnoringCase(pair->first, key)) {
      found.key = static_cast<std::ptrdiff_t>(i);
    }
  }
  return found;
}

// The value as it goes after "key=": reading trims the spaces and tabs around it and then removes
// one pair of matching quotes, so a value that would lose anything to either is quoted first.
std::string Quoted(std::string_view value) {
  if (value.empty()) return std::string();
  auto edge = [](char c) { return c == ' ' || c == '\t' || c == '"'; };
  const bool quotedAlready = value.size() >= 2 && value.front() == '\'' && value.back() == '\'';
  if (!edge(value.front()) && !edge(value.back()) && !quotedAlready) return std::string(value);
  std::string quoted;
  quoted.reserve(value.size() + 2);
  return quoted.append(1, '"').append(value).append(1, '"');
}

}  // namespace

bool IniCanHold(std::string_view value) {
  return value.find_first_of("\r\n") == std::string_view::npos;
}

std::optional<std::string> IniRead(std::string_view content, std::string_view section,
                                   std::string_view key) {
  const std::vector<Line> lines = Lines(content);
  const Found found = Find(lines, section, key);
  if (found.key == -1) return std::nullopt;
  std::string_view value = KeyValue(lines[found.key].text)->second;
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front()) {
    value = value.substr(1, value.size() - 2);
  }
  return std::string(value);
}

std::string IniWrite(std::string_view content, std::string_view section, std::string_view key,
                     std::string_view value) {
  if (!IniCanHold(value)) return std::string(content);
  const std::vector<Line> lines = Lines(content);
  const Found found = Find(lines, section, key);
  // New lines end as the file's lines do; CR LF when it has none yet.
  const bool bareLineFeeds = content.find('\n') != std::string_view::npos &&
                             content.find("\r\n") == std::string_view::npos;
  const std::string_view eol = bareLineFeeds ? "\n" : "\r\n";
  const std::string entry = std::string(key) + "=" + Quoted(value);
  std::string out;
  if (found.key != -1) {
    const Line& line = lines[found.key];
    out.append(content.substr(0, line.begin)).append(entry);
    out.append(content.substr(line.begin + line.text.size()));
    return out;
  }
  if (found.section != -1) {
    const Line& line = lines[found.last];
    out.append(content.substr(0, line.end));
    if (line.end == line.begin + line.text.size()) out.append(eol);  // the file ended unbroken
    out.append(entry).append(eol).append(content.substr(line.end));
    return out;
  }
  out.append(content);
  // A file of a byte-order mark alone has no line to end.
  const bool markAlone = content == kByteOrderMark;
  if (!out.empty() && out.back() != '\n' && !markAlone) out.append(eol);
  out.append("[").append(section).append("]").append(eol).append(entry).append(eol);
  return out;
}

}  // namespace ornivel
