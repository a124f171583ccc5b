// Song files over libcurl, streamed to the caller's sink as they arrive.
#include <curl/curl.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <memory>

#include "http/curl_global.h"
#include "http/http_url.h"
#include "service/file_fetch.h"

namespace ornivel {
namespace {

constexpr long kConnectTimeoutMs = 30000;
constexpr long kBufferSize = 256 * 1024;

// The stall limit in the whole seconds curl counts, rounded up, at least one.
long StallSeconds(const FetchLimits& limits) {
  const auto seconds = std::chrono::ceil<std::chrono::seconds>(limits.stall).count();
  return static_cast<long>(std::clamp<std::chrono::seconds::rep>(seconds, 1, LONG_MAX));
}

struct Stream {
  const ByteSink* sink;
  const LengthSink* onLength;
  CURL* easy;
  bool anyStatus;  // pass on an error page too
  curl_off_t received = 0;
  bool started = false;
  bool stopped = false;
};

bool IsSuccess(long status) {
  return status >= 200 && status <= 299;
}

std::size_t OnBody(char* data, std::size_t size, std::size_t count, void* user) {
  auto* stream = static_cast<Stream*>(user);
  const std::size_t length = size * count;
  long status = 0;
  curl_easy_getinfo(stream->easy, CURLINFO_RESPONSE_CODE, &status);
  if (!stream->anyStatus && !IsSuccess(status)) {
    stream->stopped = true;
    return 0;  // an error page is no song: nothing of it reaches the sink
  }
  if (!stream->started) {
    stream->started = true;
    if (*stream->onLength) {
      curl_off_t announced = -1;
      curl_easy_getinfo(stream->easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &announced);
      (*stream->onLength)(static_cast<std::int64_t>(announced));
    }
  }
  if (!(*stream->sink)(std::span(reinterpret_cast<const std::uint8_t*>(data), length))) {
    stream->stopped = true;
    return 0;
  }
  stream->received += static_cast<curl_off_t>(length);
  return length;
}

bool Fetch(const std::string& url, const ByteSink& sink, const LengthSink& onLength,
           const FetchLimits& limits, bool anyStatus) {
  if (!EnsureCurlGlobalInit() || !IsSafeHttpUrl(url)) return false;
  CurlEasyPtr easy(curl_easy_init());
  if (!easy) return false;
  CURL* e = easy.get();
  CurlSlistPtr headers(curl_slist_append(nullptr, "Accept: */*"));
  if (!headers) return false;
  Stream stream{&sink, &onLength, e, anyStatus};
  const std::string wireUrl = UrlForWire(url);
  curl_easy_setopt(e, CURLOPT_URL, wireUrl.c_str());
  curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(e, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_0));
  curl_easy_setopt(e, CURLOPT_USERAGENT, "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.0)");
  curl_easy_setopt(e, CURLOPT_HTTPHEADER, headers.get());
  curl_easy_setopt(e, CURLOPT_PROXY, "");  // a direct connection, whatever the environment says
  curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(e, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(e, CURLOPT_MAXREDIRS, 10L);
  curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT_MS, kConnectTimeoutMs);
  curl_easy_setopt(e, CURLOPT_LOW_SPEED_LIMIT, 1L);
  // A transfer that moves nothing for the stall limit has failed.
  curl_easy_setopt(e, CURLOPT_LOW_SPEED_TIME, StallSeconds(limits));
  curl_easy_setopt(e, CURLOPT_BUFFERSIZE, kBufferSize);
  curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, &OnBody);
  curl_easy_setopt(e, CURLOPT_WRITEDATA, &stream);
  // curl reports a body shorter than its Content-Length as CURLE_PARTIAL_FILE.
  const CURLcode code = curl_easy_perform(e);
  long status = 0;
  curl_easy_getinfo(e, CURLINFO_RESPONSE_CODE, &status);
  return code == CURLE_OK && !stream.stopped && IsSuccess(status) && stream.received > 0;
}

}  // namespace

bool FetchUrl(const std::string& url, const ByteSink& sink, const LengthSink& onLength,
              const FetchLimits& limits) {
  return Fetch(url, sink, onLength, limits, /*anyStatus=*/false);
}

std::vector<std::uint8_t> FetchUrlBytes(const std::string& url, const FetchLimits& limits) {
  std::vector<std::uint8_t> bytes;
  const ByteSink collect = [&bytes](std::span<const std::uint8_t> piece) {
    bytes.insert(bytes.end(), piece.begin(), piece.end());
    return true;
  };
  (void)Fetch(url, collect, LengthSink(), limits, /*anyStatus=*/true);
  return bytes;
}

}  // namespace ornivel
