#include "http/curl_global.h"

#include <cstdlib>

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

bool CurlHeadReader::Take(std::string_view line) {
  // Every status line starts a new head: an interim 1xx may come before the response's own.
  if (line.starts_with("HTTP/")) headers_.clear();
  headers_.append(line);
  if (line != "\r\n" && line != "\n") return true;
  const HopHead head = Head();
  if (head.status >= 100 && head.status < 200) return true;
  body_ = onHead_(head);
  return *body_ != HopBody::kAbandon;
}

void CurlHeadReader::Finish() {
  if (!body_) body_ = onHead_(Head());
}

HopHead CurlHeadReader::Head() const {
  HopHead head;
  long status = 0;
  curl_easy_getinfo(easy_, CURLINFO_RESPONSE_CODE, &status);
  head.status = static_cast<int>(status);
  curl_off_t announced = -1;
  curl_easy_getinfo(easy_, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &announced);
  head.announced = static_cast<std::int64_t>(announced);
  head.location = CurlHeaderValue(headers_, "Location");
  head.contentType = CurlHeaderValue(headers_, "Content-Type");
  head.contentEncoding = CurlHeaderValue(headers_, "Content-Encoding");
  head.contentRange = CurlHeaderValue(headers_, "Content-Range");
  head.etag = CurlHeaderValue(headers_, "ETag");
  head.lastModified = CurlHeaderValue(headers_, "Last-Modified");
  head.retryAfter = CurlHeaderValue(headers_, "Retry-After");
  return head;
}

bool SetTrustedAuthorities(CURL* easy) {
  const char* file = std::getenv("ORNIVEL_CA_FILE");
  if (file == nullptr || *file == '\0') return true;
  return curl_easy_setopt(easy, CURLOPT_CAINFO, file) == CURLE_OK;
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
