#pragma once
// The song-file seam under service/file_fetch.h: a session that sends the GET of one hop at a
// time, over HTTP/1.0 with the user agent "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.0)"
// and "Accept: */*", no cache, no proxy, no cookie or credential of the system's. One backend
// per platform (libcurl on Linux, WinINet on Windows), beside the request backends; redirects
// are followed by the one loop of redirect_chain.h.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>

#include "http/redirect_chain.h"

namespace ornivel {

// Receives the body piece by piece as it arrives; false stops the transfer (a write failed).
using ByteSink = std::function<bool(std::span<const std::uint8_t>)>;

// What a transfer may take before it has failed. Connecting has 30 seconds of its own.
struct FetchLimits {
  // The longest time without a byte received, headers and body alike: a server that falls
  // silent cannot hold a download forever. Counted in whole seconds (rounded up) on Linux.
  std::chrono::milliseconds stall{60000};
};

// The song file's server asks nothing else of a request.
inline constexpr char kFetchUserAgent[] = "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.0)";

// Connecting has this long, on top of the stall limit.
inline constexpr std::chrono::milliseconds kFetchConnectTimeout{30000};

// The pieces of a body asked for at once.
inline constexpr std::size_t kFetchReadBuffer = 256 * 1024;

// A hop's body, when delivered, goes piece by piece to the session's sink; the hop fails (kRead)
// when a read fails or stalls, when the sink refuses a piece, or when the body ends before the
// length the server announced.
class FetchSession : public HopSender {
 public:
  virtual ~FetchSession() = default;
};

// nullptr when no session can be opened.
[[nodiscard]] std::unique_ptr<FetchSession> OpenFetchSession(const ByteSink& sink,
                                                             const FetchLimits& limits);

}  // namespace ornivel
