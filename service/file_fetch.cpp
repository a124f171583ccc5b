#include "service/file_fetch.h"

#include <cstdint>
#include <optional>

#include "http/fetch_session.h"
#include "http/http_url.h"

namespace ornivel {
namespace {

bool IsSuccess(int status) {
  return status >= 200 && status <= 299;
}

}  // namespace

FetchOutcome FetchFile(const std::string& url, const FetchRange& range, const AnswerRule& accept,
                       const ByteSink& sink, const FetchLimits& limits) {
  FetchOutcome outcome;
  outcome.end = FetchEnd::kBadAddress;
  if (!IsSafeHttpUrl(url)) return outcome;
  const std::optional<HttpUrl> first = CrackHttpUrl(url);
  if (!first) return outcome;
  bool sinkRefused = false;
  const ByteSink guarded = [&](std::span<const std::uint8_t> piece) {
    if (sink(piece)) return true;
    sinkRefused = true;
    return false;
  };
  outcome.end = FetchEnd::kUnreachable;
  const std::unique_ptr<FetchSession> session = OpenFetchSession(guarded, limits, range);
  if (!session) return outcome;
  HttpHop hop;
  hop.url = *first;
  bool refused = false;
  const ChainEnd end = FollowRedirects(
      *session, hop, ChainRules{true, /*unfollowableIsAnswer=*/false}, [&](const HopHead& head) {
        refused = !accept(head);
        return refused ? HopBody::kAbandon : HopBody::kDeliver;
      });
  outcome.answered = end.answered;
  outcome.head = end.head;
  const bool stopped = limits.stop != nullptr && limits.stop->load();
  if (end.unfollowable) {
    outcome.end = FetchEnd::kUnfollowable;
  } else if (end.failure != HttpFailure::kNone) {
    outcome.end = stopped        ? FetchEnd::kStopped
                  : sinkRefused  ? FetchEnd::kSinkRefused
                  : end.answered ? FetchEnd::kCut
                                 : FetchEnd::kUnreachable;
  } else if (!end.answered) {
    outcome.end = FetchEnd::kUnreachable;
  } else {
    outcome.end = refused ? FetchEnd::kRefused : FetchEnd::kWhole;
  }
  return outcome;
}

bool FetchUrl(const std::string& url, const ByteSink& sink, const LengthSink& onLength,
              const FetchLimits& limits) {
  std::int64_t announced = -1;
  std::int64_t received = 0;
  const ByteSink counted = [&](std::span<const std::uint8_t> piece) {
    if (received == 0 && onLength) onLength(announced);
    received += static_cast<std::int64_t>(piece.size());
    return sink(piece);
  };
  const FetchOutcome outcome = FetchFile(
      url, {},
      [&announced](const HopHead& head) {
        announced = head.announced;
        // An error page is no song: nothing of it reaches the sink.
        return IsSuccess(head.status);
      },
      counted, limits);
  return outcome.end == FetchEnd::kWhole && received > 0;
}

std::vector<std::uint8_t> FetchUrlBytes(const std::string& url, const FetchLimits& limits) {
  std::vector<std::uint8_t> bytes;
  const ByteSink collect = [&bytes](std::span<const std::uint8_t> piece) {
    bytes.insert(bytes.end(), piece.begin(), piece.end());
    return true;
  };
  (void)FetchFile(
      url, {}, [](const HopHead&) { return true; }, collect, limits);
  return bytes;
}

}  // namespace ornivel
