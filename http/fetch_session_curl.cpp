// Song files over libcurl: one easy handle per fetch, kept across its hops, each hop's body
// streamed to the sink as it arrives. A fetch runs on a worker thread of its own, so
// curl_easy_perform may block there, bounded by the time-outs.
#include <curl/curl.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include "http/curl_global.h"
#include "http/fetch_session.h"

namespace ornivel {
namespace {

// The stall limit in the whole seconds curl counts, rounded up, at least one.
long StallSeconds(const FetchLimits& limits) {
  const auto seconds = std::chrono::ceil<std::chrono::seconds>(limits.stall).count();
  return static_cast<long>(std::clamp<std::chrono::seconds::rep>(seconds, 1, LONG_MAX));
}

// What the callbacks see of one hop.
struct Hop {
  CurlHeadReader head;
  const ByteSink& sink;
};

std::size_t OnHeader(char* data, std::size_t size, std::size_t count, void* user) {
  const bool goOn = static_cast<Hop*>(user)->head.Take(std::string_view(data, size * count));
  return goOn ? size * count : 0;
}

std::size_t OnBody(char* data, std::size_t size, std::size_t count, void* user) {
  auto* hop = static_cast<Hop*>(user);
  const std::size_t length = size * count;
  if (!hop->head.delivers()) return length;  // a redirect's body, read past
  const bool taken = hop->sink(std::span(reinterpret_cast<const std::uint8_t*>(data), length));
  return taken ? length : 0;
}

class Session final : public FetchSession {
 public:
  Session(const ByteSink& sink, const FetchLimits& limits) : sink_(sink), limits_(limits) {}

  bool Open() {
    if (!EnsureCurlGlobalInit()) return false;
    easy_.reset(curl_easy_init());
    headers_.reset(curl_slist_append(nullptr, "Accept: */*"));
    if (!easy_ || !headers_) return false;
    CURL* e = easy_.get();
    bool ok = true;
    auto set = [&](CURLoption option, auto value) {
      ok = ok && curl_easy_setopt(e, option, value) == CURLE_OK;
    };
    set(CURLOPT_NOSIGNAL, 1L);
    set(CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_0));
    set(CURLOPT_USERAGENT, kFetchUserAgent);
    set(CURLOPT_HTTPHEADER, headers_.get());
    set(CURLOPT_PROXY, "");  // a direct connection, whatever the environment says
    set(CURLOPT_PROTOCOLS_STR, "http,https");
    set(CURLOPT_FOLLOWLOCATION, 0L);  // redirects are followed hop by hop
    ok = ok && SetTrustedAuthorities(e);
    set(CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(kFetchConnectTimeout.count()));
    set(CURLOPT_LOW_SPEED_LIMIT, 1L);
    // A transfer that moves nothing for the stall limit has failed.
    set(CURLOPT_LOW_SPEED_TIME, StallSeconds(limits_));
    set(CURLOPT_BUFFERSIZE, static_cast<long>(kFetchReadBuffer));
    set(CURLOPT_HEADERFUNCTION, &OnHeader);
    set(CURLOPT_WRITEFUNCTION, &OnBody);
    return ok;
  }

  HttpFailure Send(const HttpHop& hop, const HopHeadRule& onHead) override {
    CURL* e = easy_.get();
    Hop state{CurlHeadReader(e, onHead), sink_};
    const std::string url = CurlUrl(hop.url);
    if (curl_easy_setopt(e, CURLOPT_URL, url.c_str()) != CURLE_OK ||
        curl_easy_setopt(e, CURLOPT_HEADERDATA, &state) != CURLE_OK ||
        curl_easy_setopt(e, CURLOPT_WRITEDATA, &state) != CURLE_OK) {
      return HttpFailure::kRequest;
    }
    // curl reports a body shorter than its Content-Length as CURLE_PARTIAL_FILE.
    const CURLcode code = curl_easy_perform(e);
    if (state.head.abandoned()) return HttpFailure::kNone;
    if (code != CURLE_OK) return state.head.sawHeaders() ? HttpFailure::kRead : HttpFailure::kSend;
    state.head.Finish();
    return HttpFailure::kNone;
  }

 private:
  CurlEasyPtr easy_;
  CurlSlistPtr headers_;  // the one header line of every request
  const ByteSink& sink_;
  const FetchLimits& limits_;
};

}  // namespace

std::unique_ptr<FetchSession> OpenFetchSession(const ByteSink& sink, const FetchLimits& limits) {
  auto session = std::make_unique<Session>(sink, limits);
  return session->Open() ? std::move(session) : nullptr;
}

}  // namespace ornivel
