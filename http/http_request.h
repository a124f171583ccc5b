#pragma once
// HttpRequest: one complete HTTP or HTTPS exchange, synchronous on the caller's thread.
//
// Failures are never shown; each is given as `failure` with its numbered message in `status`,
// and the result is then empty (or, for 713, the part of the body that was read). An HTTP error
// status (404, 500, ...) is a successful exchange. Nothing is kept between calls.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "http/http_failure.h"
#include "http/http_method.h"

namespace ornivel {

// The parameters, inputs and outputs of one request. Every field but `url` is optional: an
// omitted text is empty, a number 0, a flag false.
struct HttpRequestParams {
  std::string url;                       // http or https
  HttpMethod method = HttpMethod::kGet;  // a number outside the four is sent as GET
  std::string body;                      // sent as its bytes with any method
  // Cookie pairs to send, joined by "; ". Supplying it (even empty) turns on cookie handling
  // for the call; it is then replaced by the merge of itself with what the response set.
  std::optional<std::string> cookies;
  std::string newCookies;       // out: the pairs this response set, joined by "; "
  std::string extraHeaders;     // the caller's header lines, CRLF-separated, no final CRLF
  std::string responseHeaders;  // out: the raw response headers, "Set-Cookie" normalised
  bool noRedirect = false;
  std::string userName;  // Basic credentials, used only when both are given
  std::string password;
  std::string proxy;  // host:port; empty for no proxy
  std::string proxyUserName;
  std::string proxyPassword;
  int timeoutSeconds = 0;  // 0 or negative: 30 seconds
  std::string location;    // out: the "Location: " header's value; unchanged when none
  std::string status;      // out: "200 OK" and the like, or the failure's numbered message
  HttpFailure failure = HttpFailure::kNone;  // out: kNone when a response was read whole
  std::vector<std::uint8_t> responseBytes;   // out: the body as received
};

// Performs the request described by `params` and returns the body as GBK text.
std::string HttpRequest(HttpRequestParams& params);

// The program's own use: a GET of `url` with every default.
[[nodiscard]] std::string HttpRequest(const std::string& url);

// The time-out of a request in milliseconds: `timeoutSeconds` × 1000, or 30000 when it is 0 or
// negative; at most the largest long (about 24.8 days where long has 32 bits, as on Windows). It
// bounds resolving and connecting, and every silence of the server after that.
[[nodiscard]] long RequestTimeoutMs(int timeoutSeconds);

}  // namespace ornivel
