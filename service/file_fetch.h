#pragma once
// Fetching one song file from a file server: a GET over HTTP/1.0 with the user agent
// "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.0)" and "Accept: */*", no cache, no proxy,
// redirects followed, through the platform's fetch session (http/fetch_session.h).

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "http/fetch_session.h"

namespace ornivel {

// Told once, before the first piece reaches the sink, how many bytes the server announced;
// -1 when it announced no length.
using LengthSink = std::function<void(std::int64_t announced)>;

// Streams the body at `url` (GBK) into `sink`. True only when the whole body arrived: the
// server answered with a status from 200 to 299, sent as many bytes as it announced, and sent
// at least one; and the sink took every piece. Redirects to http and https addresses are
// followed (at most ten); one to any other scheme fetches nothing.
[[nodiscard]] bool FetchUrl(const std::string& url, const ByteSink& sink,
                            const LengthSink& onLength = {}, const FetchLimits& limits = {});

// The body at `url` in memory: whatever arrived, an error page included, empty when nothing did.
[[nodiscard]] std::vector<std::uint8_t> FetchUrlBytes(const std::string& url,
                                                      const FetchLimits& limits = {});

}  // namespace ornivel
