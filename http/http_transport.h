#pragma once
// The HTTP-transport seam: one exchange with a server, as HttpRequest prepares it.
// One backend per platform (libcurl on Linux, WinHTTP on Windows).

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "http/http_request.h"
#include "http/http_url.h"

namespace ornivel {

// The largest body an exchange reads; the rest of a longer body is not read (kRead).
inline constexpr std::size_t kMaxResponseBody = 64u << 20;

// Redirects followed at most, when they are followed at all.
inline constexpr int kMaxRedirects = 10;

struct HttpExchangeRequest {
  HttpUrl url;
  std::string verb;        // GET, POST, HEAD or PUT
  std::string headerText;  // header lines, each ending in CRLF
  std::string_view body;   // sent with any verb but HEAD
  std::string proxy;       // host:port, empty for none (the system's settings are never used)
  std::string userName;    // Basic credentials for the server, both empty for none
  std::string password;
  std::string proxyUserName;  // Basic credentials for the proxy, both empty for none
  std::string proxyPassword;
  // Keep cookies set during redirects for the next hop, sent on one Cookie line together with
  // the pairs of the Cookie line in `headerText`.
  bool cookieEngine = false;
  // http and https only, at most kMaxRedirects. 303 turns any verb but HEAD into a body-less
  // GET, 301 and 302 turn a POST into one; other verbs and codes keep the verb and the body.
  bool followRedirects = true;
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

// Performs the exchange. kNone when a response arrived and was read whole (any HTTP status);
// otherwise the failure, with whatever was received kept in `result`.
[[nodiscard]] HttpFailure PerformHttpExchange(const HttpExchangeRequest& request,
                                              HttpExchangeResult& result);

}  // namespace ornivel
