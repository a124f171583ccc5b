#pragma once
// HttpFailure: why an HTTP exchange failed, carried as a value. Each failure has a numbered GBK
// message ("711 发送请求失败!" and so on), which is the status text callers show.

#include <string>

namespace ornivel {

// The numbered failures of HttpRequest (there is no 706).
enum class HttpFailure {
  kNone = 0,
  kNoPlatformSupport = 700,
  kBadUrl = 701,
  kSession = 702,
  kConnection = 703,
  kRequest = 704,
  kTimeouts = 705,
  kCredentials = 707,
  kCookieOption = 708,
  kRedirectOption = 709,
  kHeaders = 710,
  kSend = 711,
  kNoResponse = 712,
  kRead = 713,
};

// The message of a failure, in GBK; empty for kNone.
[[nodiscard]] std::string HttpFailureMessage(HttpFailure failure);

// A request's outcome as its callers report it: the failure, and the status text they show
// ("200 OK" and the like after an answer, the failure's message otherwise).
struct HttpStatus {
  HttpFailure failure = HttpFailure::kNone;
  std::string text;

  [[nodiscard]] bool failed() const { return failure != HttpFailure::kNone; }
};

}  // namespace ornivel
