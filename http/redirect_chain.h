#pragma once
// Following redirects, once for every backend. A backend sends one request at a time (a hop)
// on a session it keeps across hops, so a connection kept from one hop serves the next; which
// responses lead on, where to, and what the next request keeps are decided here.

#include <cstdint>
#include <functional>
#include <string>

#include "http/http_failure.h"
#include "http/http_method.h"
#include "http/http_url.h"

namespace ornivel {

// Redirects followed at most in one chain.
inline constexpr int kMaxRedirects = 10;

// One request of a chain.
struct HttpHop {
  HttpUrl url;
  HttpMethod method = HttpMethod::kGet;
  bool withBody = true;         // the caller's body goes out (a backend never sends one with HEAD)
  bool withCredentials = true;  // the caller's server credentials go out
  int redirects = 0;            // redirects followed before this hop
};

// What a hop's response head tells the chain.
struct HopHead {
  int status = 0;
  std::string location;         // the Location value as received (GBK); empty for none
  std::int64_t announced = -1;  // the Content-Length the server announced; -1 for none
  // The header values a download weighs, as received (GBK), empty for none.
  std::string contentType;
  std::string contentEncoding;
  std::string contentRange;
  std::string etag;
  std::string lastModified;
  std::string retryAfter;
};

// What becomes of a response's body once its head has arrived.
enum class HopBody {
  kDeliver,  // the caller's: read whole, every piece to the backend's sink
  kDiscard,  // not the caller's (a redirect being followed): read past it or dropped with its
             // connection, as the backend likes
  kAbandon,  // the chain ends here: not read at all
};

using HopHeadRule = std::function<HopBody(const HopHead&)>;

// The seam each backend fills: one hop.
class HopSender {
 public:
  // Sends `hop` and reads its response's head, which `onHead` then hears of (once, for the final
  // response: never for an interim 1xx); the body is then read as it says. kNone when a
  // response arrived and its body was dealt with as told; otherwise the failure.
  virtual HttpFailure Send(const HttpHop& hop, const HopHeadRule& onHead) = 0;

 protected:
  ~HopSender() = default;
};

// Which statuses redirect: 301, 302, 303, 307 and 308.
[[nodiscard]] bool IsRedirectStatus(int status);

// Whether two addresses share scheme, host (any letter case) and port.
[[nodiscard]] bool SameOrigin(const HttpUrl& a, const HttpUrl& b);

// The hop a redirect from `hop` leads to, as browsers follow one: the Location resolved against
// the hop's address, http and https only, never from https to http, at most kMaxRedirects. 303
// turns any method but HEAD into a body-less GET; 301 and 302 turn a POST into one; other methods
// and codes keep the method and the body. Credentials go only to `origin`, the origin they were
// given for. nullopt when the redirect cannot be followed.
[[nodiscard]] std::optional<HttpHop> NextHop(const HttpHop& hop, const HttpUrl& origin,
                                             const HopHead& head);

struct ChainRules {
  bool follow = true;  // follow redirects at all
  // A redirect that cannot be followed (another scheme, one too many): the answer (true), or
  // the chain fails with nothing read of it (false).
  bool unfollowableIsAnswer = true;
};

// How a chain ended.
struct ChainEnd {
  HttpFailure failure = HttpFailure::kNone;  // of the hop that failed
  bool unfollowable = false;  // a redirect that could not be followed ended it, with no answer
  bool answered = false;      // a response became the answer; its head:
  HopHead head;
};

// Sends `first`, and the hop each followed redirect leads to, through `sender`. `onAnswer`
// hears the head of the response that ends the chain and says what becomes of its body
// (kDeliver or kAbandon).
[[nodiscard]] ChainEnd FollowRedirects(HopSender& sender, const HttpHop& first,
                                       const ChainRules& rules, const HopHeadRule& onAnswer);

}  // namespace ornivel
