// Song files over libcurl: one easy handle per fetch, kept across its hops, each hop's body
// streamed to the sink as it arrives. A fetch runs on a worker thread of its own, so
// curl_easy_perform may block there, bounded by the time-outs.
#include <curl/curl.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <climits>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "http/curl_global.h"
#include "http/fetch_session.h"

namespace ornivel {
namespace {

// The stall window in the whole seconds curl counts, rounded up, at least one.
long StallSeconds(const FetchLimits& limits) {
  const auto seconds = std::chrono::ceil<std::chrono::seconds>(limits.lowSpeedWindow).count();
  return static_cast<long>(std::clamp<std::chrono::seconds::rep>(seconds, 1, LONG_MAX));
}

// The lowest speed in the bytes a second curl counts, at least one.
long StallSpeed(const FetchLimits& limits) {
  return static_cast<long>(std::clamp<std::int64_t>(limits.lowSpeedBytes, 1, LONG_MAX));
}

// Called by curl about once a second and after every piece: a raised stop flag ends the transfer.
int OnProgress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  const auto* stop = static_cast<const std::atomic<bool>*>(user);
  return stop != nullptr && stop->load() ? 1 : 0;
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

  bool Open(const FetchRange& range) {
    if (!EnsureCurlGlobalInit()) return false;
    easy_.reset(curl_easy_init());
    // The body as the server stores it: curl is given no Accept-Encoding of its own, so it
    // decodes nothing, and a body sent encoded all the same is refused by the caller.
    for (const std::string& line :
         std::vector<std::string>{"Accept: */*", "Accept-Encoding: identity"}) {
      if (!Append(line)) return false;
    }
    for (const std::string& line : RangeHeaderLines(range)) {
      if (!Append(line)) return false;
    }
    if (!easy_) return false;
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
    // A transfer slower than the limit for the whole window has stalled.
    set(CURLOPT_LOW_SPEED_LIMIT, StallSpeed(limits_));
    set(CURLOPT_LOW_SPEED_TIME, StallSeconds(limits_));
    set(CURLOPT_NOPROGRESS, 0L);
    set(CURLOPT_XFERINFOFUNCTION, &OnProgress);
    set(CURLOPT_XFERINFODATA, const_cast<std::atomic<bool>*>(limits_.stop));
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
  bool Append(const std::string& line) {
    curl_slist* longer = curl_slist_append(headers_.get(), line.c_str());
    if (longer == nullptr) return false;
    (void)headers_.release();
    headers_.reset(longer);
    return true;
  }

  CurlEasyPtr easy_;
  CurlSlistPtr headers_;  // the header lines of every request
  const ByteSink& sink_;
  const FetchLimits& limits_;
};

}  // namespace

std::unique_ptr<FetchSession> OpenFetchSession(const ByteSink& sink, const FetchLimits& limits,
                                               const FetchRange& range) {
  auto session = std::make_unique<Session>(sink, limits);
  return session->Open(range) ? std::move(session) : nullptr;
}

}  // namespace ornivel
