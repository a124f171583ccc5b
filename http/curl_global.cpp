#include "http/curl_global.h"

#include <curl/curl.h>

#include <mutex>

#include "text/ascii.h"

namespace ornivel {

bool EnsureCurlGlobalInit() {
  static std::once_flag once;
  static bool ok = false;
  std::call_once(once, [] { ok = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK; });
  return ok;
}

std::string CurlUrl(const HttpUrl& url) {
  std::string out = url.secure ? "https://" : "http://";
  out.append(UrlForWire(url.host)).append(":").append(std::to_string(url.port));
  return out.append(UrlForWire(url.objectName));
}

std::string CurlHeaderValue(std::string_view headers, std::string_view name) {
  std::string_view value;
  while (!headers.empty()) {
    const std::size_t end = headers.find('\n');
    std::string_view line = headers.substr(0, end);
    headers.remove_prefix(end == std::string_view::npos ? headers.size() : end + 1);
    const std::size_t colon = line.find(':');
    if (colon == std::string_view::npos || !AsciiEqualIgnoringCase(line.substr(0, colon), name)) {
      continue;
    }
    line.remove_prefix(colon + 1);
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
    while (!line.empty() && blank(line.front())) line.remove_prefix(1);
    while (!line.empty() && blank(line.back())) line.remove_suffix(1);
    value = line;
  }
  return std::string(value);
}

}  // namespace ornivel
