#include "catalog/catalog_replies.h"

#include <algorithm>

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
    records.append("','artist':'").append(QuoteValue(song.artist)).append("'},\n");
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

}  // namespace ornivel::catalog
