#pragma once
// The song-file seam under service/file_fetch.h: a session that sends the GET of one hop at a
// time, over HTTP/1.0 with the user agent "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.0)",
// "Accept: */*" and "Accept-Encoding: identity", no cache, no proxy, no cookie or credential of
// the system's. One backend per platform (libcurl on Linux, WinINet on Windows), beside the
// request backends; redirects are followed by the one loop of redirect_chain.h.

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "http/redirect_chain.h"

namespace ornivel {

// Receives the body piece by piece as it arrives; false stops the transfer (a write failed).
using ByteSink = std::function<bool(std::span<const std::uint8_t>)>;

// What a transfer may take before it has failed. Connecting has 30 seconds of its own. The
// figures a download uses are named in service/file_fetch.h.
struct FetchLimits {
  // A transfer that receives fewer than `lowSpeedBytes` a second, averaged over
  // `lowSpeedWindow`, has stalled: a server that falls silent or trickles cannot hold a download
  // forever, while a slow but moving one is never cut off. The window counts in whole seconds
  // (rounded up) on Linux.
  std::int64_t lowSpeedBytes = 1;
  std::chrono::milliseconds lowSpeedWindow{60000};
  // When set and true, the transfer stops as soon as it can (within about a second).
  const std::atomic<bool>* stop = nullptr;
};

// The part of the file a request asks for: all of it, or from `from` on when the copy the
// caller holds is still the server's (`ifRange`: the validator it was given, an ETag or a
// Last-Modified date). Sent on every hop of the chain.
struct FetchRange {
  std::int64_t from = 0;
  std::string ifRange;
};

// The song file's server asks nothing else of a request.
inline constexpr char kFetchUserAgent[] = "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.0)";

// Connecting has this long, on top of the stall limit.
inline constexpr std::chrono::milliseconds kFetchConnectTimeout{30000};

// The pieces of a body asked for at once.
inline constexpr std::size_t kFetchReadBuffer = 256 * 1024;

// The Range line and the If-Range line of a request for `range` (none when it asks for the whole
// file), without line ends. A validator holding a line end or another control character is not
// sent, and the request then asks for the whole file.
[[nodiscard]] std::vector<std::string> RangeHeaderLines(const FetchRange& range);

// The measure of a stall, for backends that count bytes themselves: told of every piece, it
// says when fewer than the limit's bytes arrived over one whole window.
class LowSpeedWatch {
 public:
  using Clock = std::chrono::steady_clock;
  explicit LowSpeedWatch(const FetchLimits& limits, Clock::time_point now = Clock::now())
      : limits_(limits), windowStart_(now) {}

  // Counts `bytes` that arrived at `now`; false when the transfer has stalled.
  [[nodiscard]] bool Take(std::int64_t bytes, Clock::time_point now = Clock::now()) {
    inWindow_ += bytes;
    if (now - windowStart_ < limits_.lowSpeedWindow) return true;
    const auto seconds =
        std::chrono::duration_cast<std::chrono::duration<double>>(now - windowStart_).count();
    if (static_cast<double>(inWindow_) < static_cast<double>(limits_.lowSpeedBytes) * seconds) {
      return false;
    }
    windowStart_ = now;
    inWindow_ = 0;
    return true;
  }

 private:
  const FetchLimits& limits_;
  Clock::time_point windowStart_;
  std::int64_t inWindow_ = 0;
};

// A hop's body, when delivered, goes piece by piece to the session's sink; the hop fails (kRead)
// when a read fails or stalls, when the sink refuses a piece, when the caller's stop flag is
// raised, or when the body ends before the length the server announced.
class FetchSession : public HopSender {
 public:
  virtual ~FetchSession() = default;
};

// nullptr when no session can be opened.
[[nodiscard]] std::unique_ptr<FetchSession> OpenFetchSession(const ByteSink& sink,
                                                             const FetchLimits& limits,
                                                             const FetchRange& range = {});

}  // namespace ornivel
