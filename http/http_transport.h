#pragma once
// The HTTP-transport seam: a session that sends the hops of one exchange, as HttpRequest
// prepares it. One backend per platform (libcurl on Linux, WinHTTP on Windows); the redirects
// between hops are followed by the one loop of redirect_chain.h.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "http/http_failure.h"
#include "http/http_method.h"
#include "http/http_url.h"
#include "http/redirect_chain.h"

namespace ornivel {

// The largest body an exchange reads; the rest of a longer body is not read (kRead).
inline constexpr std::size_t kMaxResponseBody = 64u << 20;

struct HttpExchangeRequest {
  HttpUrl url;
  HttpMethod method = HttpMethod::kGet;
  std::string headerText;  // header lines, each ending in CRLF
  std::string_view body;   // sent with any method but HEAD
  std::string proxy;       // host:port, empty for none (the system's settings are never used)
  std::string userName;    // Basic credentials for the server, both empty for none
  std::string password;
  std::string proxyUserName;  // Basic credentials for the proxy, both empty for none
  std::string proxyPassword;
  // Keep cookies set during redirects for the next hop, sent on one Cookie line together with
  // the pairs of the Cookie line in `headerText`.
  bool cookieEngine = false;
  bool followRedirects = true;  // as NextHop (redirect_chain.h) says
  // Bounds resolving and connecting, and then every silence of every hop, on a new connection
  // or on one kept from the hop before.
  long timeoutMs = 30000;
};

struct HttpExchangeResult {
  std::vector<std::uint8_t> body;  // as received, up to kMaxResponseBody; partial after kRead
  // The raw headers of the final response, status line first, as received: lines end in CRLF
  // or in a bare LF, as the server wrote them. nullopt when no response headers arrived (an
  // answer that is not HTTP at all included).
  std::optional<std::string> rawHeaders;
};

// A backend's session for one exchange. Each hop's raw headers replace the last hop's in the
// result as soon as they arrive; a delivered body goes to AppendBody.
class HttpSession : public HopSender {
 public:
  virtual ~HttpSession() = default;
};

// Opens the session for `request`, writing into `result`; nullptr with the failure (kSession,
// kNoPlatformSupport, ...) in `failure` when it cannot be opened.
[[nodiscard]] std::unique_ptr<HttpSession> OpenHttpSession(const HttpExchangeRequest& request,
                                                           HttpExchangeResult& result,
                                                           HttpFailure& failure);

// Appends a piece of a delivered body to `result`, up to kMaxResponseBody; false when the piece
// went past it (the body is then kept up to the limit, and the read fails with kRead).
[[nodiscard]] bool AppendBody(HttpExchangeResult& result, std::span<const std::uint8_t> piece);

// Performs the exchange over the platform's session. kNone when a response arrived and was read
// whole (any HTTP status); otherwise the failure, with whatever was received kept in `result`.
[[nodiscard]] HttpFailure PerformHttpExchange(const HttpExchangeRequest& request,
                                              HttpExchangeResult& result);

}  // namespace ornivel
