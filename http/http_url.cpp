#include "http/http_url.h"

#include <algorithm>
#include <charconv>
#include <vector>

#include "text/ascii.h"
#include "text/gbk_text.h"
#include "text/text_convert.h"

namespace ornivel {
namespace {

// Length of the "http://" or "https://" prefix, 0 when the address has neither.
std::size_t SchemeLength(std::string_view url, bool& secure) {
  if (TextFind(url.substr(0, 7), "http://", 1, true) == 1) {
    secure = false;
    return 7;
  }
  if (TextFind(url.substr(0, 8), "https://", 1, true) == 1) {
    secure = true;
    return 8;
  }
  return 0;
}

// Whether `reference` starts with a scheme: a letter, then letters, digits, "+", "-" or ".", then
// ":".
bool HasScheme(std::string_view reference) {
  const auto isAlpha = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); };
  if (reference.empty() || !isAlpha(reference.front())) return false;
  for (const char c : reference.substr(1)) {
    if (c == ':') return true;
    if (!isAlpha(c) && !(c >= '0' && c <= '9') && c != '+' && c != '-' && c != '.') return false;
  }
  return false;
}

// An absolute path with its "." and ".." segments worked out; ".." never climbs above the root.
std::string RemoveDotSegments(std::string_view path) {
  std::vector<std::string_view> kept;
  bool endsInFolder = false;
  std::size_t start = path.starts_with('/') ? 1 : 0;
  while (start <= path.size()) {
    const std::size_t slash = std::min(path.find('/', start), path.size());
    const std::string_view segment = path.substr(start, slash - start);
    const bool last = slash == path.size();
    endsInFolder = false;
    if (segment == "..") {
      if (!kept.empty()) kept.pop_back();
      endsInFolder = true;
    } else if (segment == ".") {
      endsInFolder = true;
    } else if (!(last && segment.empty())) {
      kept.push_back(segment);
    } else {
      endsInFolder = !kept.empty();
    }
    start = slash + 1;
  }
  std::string out;
  for (const std::string_view segment : kept) out.append("/").append(segment);
  if (out.empty() || endsInFolder) out.push_back('/');
  return out;
}

}  // namespace

bool IsSafeHttpUrl(std::string_view url) {
  bool secure = false;
  return SchemeLength(url, secure) != 0 && !HasAsciiControl(url);
}

std::optional<HttpUrl> CrackHttpUrl(std::string_view url) {
  HttpUrl out;
  const std::size_t schemeLength = SchemeLength(url, out.secure);
  if (schemeLength == 0 || HasAsciiControl(url)) return std::nullopt;
  const std::string_view rest = url.substr(schemeLength);
  const std::size_t authorityEnd = std::min(rest.find_first_of("/?#"), rest.size());
  std::string_view authority = rest.substr(0, authorityEnd);
  // User information before "@" is not part of the host; credentials have their own parameters.
  if (const auto at = authority.rfind('@'); at != authority.npos) authority.remove_prefix(at + 1);

  std::string_view host = authority;
  std::string_view port;
  if (authority.starts_with('[')) {
    const auto close = authority.find(']');
    if (close == authority.npos) return std::nullopt;
    host = authority.substr(0, close + 1);
    const std::string_view after = authority.substr(close + 1);
    if (!after.empty()) {
      if (after.front() != ':') return std::nullopt;
      port = after.substr(1);
    }
  } else if (const auto colon = authority.rfind(':'); colon != authority.npos) {
    host = authority.substr(0, colon);
    port = authority.substr(colon + 1);
  }
  if (host.empty() || host.find_first_of(" \\") != host.npos) return std::nullopt;
  out.host.assign(host);
  out.port = out.secure ? 443 : 80;
  if (!port.empty()) {
    int value = 0;
    const auto [end, ec] = std::from_chars(port.data(), port.data() + port.size(), value);
    if (ec != std::errc() || end != port.data() + port.size() || value < 1 || value > 65535) {
      return std::nullopt;
    }
    out.port = value;
  }
  const std::string_view tail = rest.substr(authorityEnd);
  out.objectName = (tail.empty() || tail.front() != '/') ? std::string("/") : std::string(tail);
  return out;
}

std::string ResolveLocation(const HttpUrl& base, std::string_view location) {
  location = location.substr(0, location.find('#'));
  if (HasScheme(location)) return std::string(location);
  const std::string scheme = base.secure ? "https:" : "http:";
  if (location.starts_with("//")) return scheme + std::string(location);

  std::string out = scheme + "//" + base.host + ":" + std::to_string(base.port);
  const std::string_view object =
      std::string_view(base.objectName).substr(0, base.objectName.find('#'));
  const std::string_view basePath = object.substr(0, object.find('?'));
  const std::size_t pathEnd = std::min(location.find('?'), location.size());
  const std::string_view path = location.substr(0, pathEnd);
  const std::string_view query = location.substr(pathEnd);
  if (path.empty()) {
    // No path of its own: the base's path, with the reference's query if it has one.
    out.append(basePath);
    out.append(query.empty() ? object.substr(basePath.size()) : query);
    return out;
  }
  if (path.starts_with('/')) {
    out.append(RemoveDotSegments(path));
  } else {
    const std::string_view folder = basePath.substr(0, basePath.rfind('/') + 1);
    out.append(RemoveDotSegments(std::string(folder).append(path)));
  }
  return out.append(query);
}

std::string UrlForWire(std::string_view text) {
  return PercentEncode(GbkToUtf8(text), [](unsigned char c) { return c < 0x80 && c != ' '; });
}

}  // namespace ornivel
