#pragma once
// Fetching one song file from a file server: a GET over HTTP/1.0 with the user agent
// "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.0)", "Accept: */*" and
// "Accept-Encoding: identity", no cache, no proxy, redirects followed, through the platform's
// fetch session (http/fetch_session.h).

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "http/fetch_session.h"

namespace ornivel {

// A song's transfer has stalled when it receives less than this many bytes a second, averaged
// over kSongStallWindow.
inline constexpr std::int64_t kSongStallBytesPerSecond = 1024;
inline constexpr std::chrono::seconds kSongStallWindow{30};

// Told once, before the first piece reaches the sink, how many bytes the server announced;
// -1 when it announced none.
using LengthSink = std::function<void(std::int64_t announced)>;

// Streams the body at `url` (GBK) into `sink`. True only when the whole body arrived: the
// server answered with a status from 200 to 299, sent as many bytes as it announced, and sent
// at least one; and the sink took every piece. Redirects to http and https addresses are
// followed (at most ten); one to any other scheme fetches nothing.
[[nodiscard]] bool FetchUrl(const std::string& url, const ByteSink& sink,
                            const LengthSink& onLength = {}, const FetchLimits& limits = {});

// The body at `url` in memory: whatever arrived, an error page included, empty when nothing did.
[[nodiscard]] std::vector<std::uint8_t> FetchUrlBytes(const std::string& url,
                                                      const FetchLimits& limits = {});

// How a fetch of FetchFile ended.
enum class FetchEnd {
  kWhole,         // the answer's rule took it, and its body arrived whole into the sink
  kRefused,       // the answer's rule refused it: nothing of its body was read
  kBadAddress,    // the address cannot be fetched (not http or https, or unsafe)
  kUnreachable,   // no answer: the server could not be reached or the request not sent
  kUnfollowable,  // a redirect that cannot be followed (another scheme, https to http, too many)
  kCut,           // the body broke off: a read failed or stalled, or it ended short
  kSinkRefused,   // the sink refused a piece
  kStopped,       // the stop flag of the limits was raised
};

struct FetchOutcome {
  FetchEnd end = FetchEnd::kUnreachable;
  bool answered = false;
  HopHead head;  // of the answer, when there was one
};

// Whether the body of an answer with this head goes to the sink.
using AnswerRule = std::function<bool(const HopHead&)>;

// Fetches `url` (GBK), asking for `range`, and streams the body of the answer into `sink` when
// `accept` takes its head.
[[nodiscard]] FetchOutcome FetchFile(const std::string& url, const FetchRange& range,
                                     const AnswerRule& accept, const ByteSink& sink,
                                     const FetchLimits& limits);

}  // namespace ornivel
