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

// Streams the answer's body into `sink`: true when it arrived whole with a status from 200 to
// 299, at least one byte of it. An error page reaches the sink only when `anyStatus` asks for it.
// A redirect that cannot be followed fetches nothing at all.
bool Fetch(const std::string& url, const ByteSink& sink, const LengthSink& onLength,
           const FetchLimits& limits, bool anyStatus) {
  if (!IsSafeHttpUrl(url)) return false;
  const std::optional<HttpUrl> first = CrackHttpUrl(url);
  if (!first) return false;
  std::int64_t announced = -1;
  std::int64_t received = 0;
  const ByteSink counted = [&](std::span<const std::uint8_t> piece) {
    if (received == 0 && onLength) onLength(announced);
    received += static_cast<std::int64_t>(piece.size());
    return sink(piece);
  };
  const std::unique_ptr<FetchSession> session = OpenFetchSession(counted, limits);
  if (!session) return false;
  HttpHop hop;
  hop.url = *first;
  const ChainEnd end = FollowRedirects(
      *session, hop, ChainRules{true, /*unfollowableIsAnswer=*/false}, [&](const HopHead& head) {
        announced = head.announced;
        // An error page is no song: nothing of it reaches the sink.
        return anyStatus || IsSuccess(head.status) ? HopBody::kDeliver : HopBody::kAbandon;
      });
  return end.failure == HttpFailure::kNone && end.answered && IsSuccess(end.head.status) &&
         received > 0;
}

}  // namespace

bool FetchUrl(const std::string& url, const ByteSink& sink, const LengthSink& onLength,
              const FetchLimits& limits) {
  return Fetch(url, sink, onLength, limits, /*anyStatus=*/false);
}

std::vector<std::uint8_t> FetchUrlBytes(const std::string& url, const FetchLimits& limits) {
  std::vector<std::uint8_t> bytes;
  const ByteSink collect = [&bytes](std::span<const std::uint8_t> piece) {
    bytes.insert(bytes.end(), piece.begin(), piece.end());
    return true;
  };
  (void)Fetch(url, collect, LengthSink(), limits, /*anyStatus=*/true);
  return bytes;
}

}  // namespace ornivel
