#include "http/redirect_chain.h"

#include <optional>

#include "text/ascii.h"

namespace ornivel {

bool IsRedirectStatus(int status) {
  return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

bool SameOrigin(const HttpUrl& a, const HttpUrl& b) {
  return a.secure == b.secure && a.port == b.port && AsciiEqualIgnoringCase(a.host, b.host);
}

std::optional<HttpHop> NextHop(const HttpHop& hop, const HttpUrl& origin, const HopHead& head) {
  if (!IsRedirectStatus(head.status) || head.location.empty() || hop.redirects >= kMaxRedirects) {
    return std::nullopt;
  }
  const std::optional<HttpUrl> target = CrackHttpUrl(ResolveLocation(hop.url, head.location));
  if (!target) return std::nullopt;  // another scheme, or nothing that can be sent
  // Never from https down to http: the caller's Cookie line and headers would go out in clear.
  if (hop.url.secure && !target->secure) return std::nullopt;
  HttpHop next = hop;
  next.url = *target;
  next.redirects = hop.redirects + 1;
  if ((head.status == 303 && hop.method != HttpMethod::kHead) ||
      ((head.status == 301 || head.status == 302) && hop.method == HttpMethod::kPost)) {
    next.method = HttpMethod::kGet;
    next.withBody = false;
  }
  next.withCredentials = SameOrigin(*target, origin);
  return next;
}

ChainEnd FollowRedirects(HopSender& sender, const HttpHop& first, const ChainRules& rules,
                         const HopHeadRule& onAnswer) {
  HttpHop hop = first;
  for (;;) {
    ChainEnd end;
    std::optional<HttpHop> next;
    const HopHeadRule onHead = [&](const HopHead& head) {
      if (rules.follow && IsRedirectStatus(head.status) && !head.location.empty()) {
        next = NextHop(hop, first.url, head);
        if (next) return HopBody::kDiscard;
        if (!rules.unfollowableIsAnswer) {
          end.unfollowable = true;
          return HopBody::kAbandon;
        }
      }
      end.answered = true;
      end.head = head;
      return onAnswer(head);
    };
    end.failure = sender.Send(hop, onHead);
    if (end.failure != HttpFailure::kNone || !next) return end;
    hop = std::move(*next);
  }
}

}  // namespace ornivel
