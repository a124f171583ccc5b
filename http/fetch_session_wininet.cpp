// Song files over WinINet: one session per fetch, and per hop a connection and a request, each
// hop's body streamed to the sink as it arrives. A fetch runs on a worker thread of its own, so
// the synchronous calls may block there, bounded by the time-outs. WinINet's own following of
// redirects is turned off; no cookie, cache entry or credential of the system's goes with a
// request, and WinINet shows no dialog of its own.
#include <windows.h>
#include <wininet.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "http/fetch_session.h"
#include "http/http_url.h"
#include "win/internet_handle.h"
#include "win/wide_text.h"

namespace ornivel {
namespace {

constexpr auto kConnectTimeoutMs = static_cast<DWORD>(kFetchConnectTimeout.count());
constexpr auto kReadBuffer = static_cast<DWORD>(kFetchReadBuffer);
constexpr DWORD kRequestFlags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE |
                                INTERNET_FLAG_NO_AUTO_REDIRECT | INTERNET_FLAG_NO_COOKIES |
                                INTERNET_FLAG_NO_AUTH | INTERNET_FLAG_NO_UI;

// A header of the response, as GBK text; nullopt when the response has none.
std::optional<std::string> ResponseHeader(HINTERNET request, DWORD level) {
  DWORD size = 0;
  if (HttpQueryInfoW(request, level, nullptr, &size, nullptr) ||
      GetLastError() != ERROR_INSUFFICIENT_BUFFER || size == 0) {
    return std::nullopt;
  }
  std::wstring value(size / sizeof(wchar_t) + 1, L'\0');
  size = static_cast<DWORD>(value.size() * sizeof(wchar_t));
  if (!HttpQueryInfoW(request, level, value.data(), &size, nullptr)) return std::nullopt;
  return Narrow(value);  // up to its first zero unit
}

DWORD StatusCode(HINTERNET request) {
  DWORD status = 0;
  DWORD size = sizeof status;
  if (!HttpQueryInfoW(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size,
                      nullptr)) {
    return 0;
  }
  return status;
}

// The length the server announced; -1 when it announced none (or none that reads as a number).
std::int64_t AnnouncedLength(HINTERNET request) {
  const std::optional<std::string> text = ResponseHeader(request, HTTP_QUERY_CONTENT_LENGTH);
  if (!text) return -1;
  std::int64_t length = -1;
  const auto [end, error] = std::from_chars(text->data(), text->data() + text->size(), length);
  if (error != std::errc() || end != text->data() + text->size() || length < 0) return -1;
  return length;
}

bool SetTimeout(HINTERNET handle, DWORD option, DWORD milliseconds) {
  return InternetSetOptionW(handle, option, &milliseconds, sizeof milliseconds) != FALSE;
}

// The stall window in the milliseconds WinINet counts, at least one (0 would mean none at all):
// a server silent for that long has stalled whatever the speed before.
DWORD StallMilliseconds(const FetchLimits& limits) {
  return static_cast<DWORD>(
      std::clamp<std::chrono::milliseconds::rep>(limits.lowSpeedWindow.count(), 1, MAXDWORD));
}

// The header lines every request adds to WinINet's own, each ended by CR LF.
std::wstring RequestHeaders(const FetchRange& range) {
  std::string lines = "Accept-Encoding: identity\r\n";
  for (const std::string& line : RangeHeaderLines(range)) lines.append(line).append("\r\n");
  return Wide(lines);
}

class Session final : public FetchSession {
 public:
  Session(const ByteSink& sink, const FetchLimits& limits, const FetchRange& range)
      : sink_(sink), limits_(limits), headers_(RequestHeaders(range)) {}

  bool Open() {
    // The system's proxy settings are never used.
    session_ = InternetHandle(InternetOpenW(Wide(kFetchUserAgent).c_str(),
                                            INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0));
    return session_ && SetTimeouts(session_.get());
  }

  HttpFailure Send(const HttpHop& hop, const HopHeadRule& onHead) override {
    if (!SendRequest(hop.url)) return HttpFailure::kSend;
    HopHead head;
    head.status = static_cast<int>(StatusCode(request_.get()));
    head.location = ResponseHeader(request_.get(), HTTP_QUERY_LOCATION).value_or("");
    head.announced = AnnouncedLength(request_.get());
    const auto header = [this](DWORD level) {
      return ResponseHeader(request_.get(), level).value_or("");
    };
    head.contentType = header(HTTP_QUERY_CONTENT_TYPE);
    head.contentEncoding = header(HTTP_QUERY_CONTENT_ENCODING);
    head.contentRange = header(HTTP_QUERY_CONTENT_RANGE);
    head.etag = header(HTTP_QUERY_ETAG);
    head.lastModified = header(HTTP_QUERY_LAST_MODIFIED);
    head.retryAfter = header(HTTP_QUERY_RETRY_AFTER);
    // A body not delivered goes with its connection, which serves no other hop.
    if (onHead(head) != HopBody::kDeliver) return HttpFailure::kNone;
    return Receive(head.announced) ? HttpFailure::kNone : HttpFailure::kRead;
  }

 private:
  // The time-outs, on the session for what it makes, and again on each request: Wine's WinINet
  // does not hand the session's on to its requests.
  bool SetTimeouts(HINTERNET handle) const {
    const DWORD stallMs = StallMilliseconds(limits_);
    return SetTimeout(handle, INTERNET_OPTION_CONNECT_TIMEOUT, kConnectTimeoutMs) &&
           SetTimeout(handle, INTERNET_OPTION_SEND_TIMEOUT, stallMs) &&
           SetTimeout(handle, INTERNET_OPTION_RECEIVE_TIMEOUT, stallMs) &&
           SetTimeout(handle, INTERNET_OPTION_DATA_RECEIVE_TIMEOUT, stallMs);
  }

  // Sends one GET for `url` on a connection of its own and reads the response's headers.
  bool SendRequest(const HttpUrl& url) {
    request_.Reset();
    connection_.Reset();
    std::string host = url.host;
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']') {
      host = host.substr(1, host.size() - 2);  // an IPv6 address goes without its brackets
    }
    connection_ = InternetHandle(InternetConnectW(session_.get(), Wide(host).c_str(),
                                                  static_cast<INTERNET_PORT>(url.port), nullptr,
                                                  nullptr, INTERNET_SERVICE_HTTP, 0, 0));
    if (!connection_) return false;
    // The object name as it goes on the wire, without the fragment, which is never sent.
    const std::string object = UrlForWire(url.objectName.substr(0, url.objectName.find('#')));
    const wchar_t* acceptTypes[] = {L"*/*", nullptr};
    const DWORD flags = kRequestFlags | (url.secure ? INTERNET_FLAG_SECURE : 0);
    request_ = InternetHandle(HttpOpenRequestW(connection_.get(), L"GET", Wide(object).c_str(),
                                               L"HTTP/1.0", nullptr, acceptTypes, flags, 0));
    return request_ && SetTimeouts(request_.get()) &&
           HttpSendRequestW(request_.get(), headers_.c_str(), static_cast<DWORD>(headers_.size()),
                            nullptr, 0) != FALSE;
  }

  // A body left unread: a request handle may read the rest of it when it is closed, to keep the
  // connection for another request (Wine does, and waits for it), which for a stopped or
  // stalled song means the whole rest or a stall window. A short receive time-out bounds that
  // to what comes without a pause. Always false.
  bool Abandon() {
    (void)SetTimeout(request_.get(), INTERNET_OPTION_RECEIVE_TIMEOUT, 1);
    (void)SetTimeout(request_.get(), INTERNET_OPTION_DATA_RECEIVE_TIMEOUT, 1);
    return false;
  }

  // Reads the body of the response to the last request into the sink; false when a read
  // failed or stalled, the sink refused a piece, the stop flag was raised, or the body ended
  // short of `announced`.
  bool Receive(std::int64_t announced) {
    std::vector<std::uint8_t> buffer(kReadBuffer);
    std::int64_t received = 0;
    LowSpeedWatch watch(limits_);
    for (;;) {
      if (limits_.stop != nullptr && limits_.stop->load()) return Abandon();
      // A read waits until it has filled its whole buffer, which a trickling server keeps it
      // from: it asks only for what has arrived. The wait for that fails when the server falls
      // silent for the whole stall window, or drops the connection with an error; the watch
      // catches a server that trickles.
      DWORD available = 0;
      if (!InternetQueryDataAvailable(request_.get(), &available, 0, 0)) return Abandon();
      if (available == 0) break;
      DWORD read = 0;
      const DWORD wanted = std::min<DWORD>(available, kReadBuffer);
      if (!InternetReadFile(request_.get(), buffer.data(), wanted, &read)) return Abandon();
      if (read == 0) break;
      if (!watch.Take(read)) return Abandon();
      if (!sink_(std::span<const std::uint8_t>(buffer.data(), read))) return Abandon();
      received += read;
    }
    // WinINet ends the body quietly when the connection closes early: a body shorter than its
    // Content-Length is caught here.
    return announced < 0 || received == announced;
  }

  const ByteSink& sink_;
  const FetchLimits& limits_;
  std::wstring headers_;
  InternetHandle session_;  // declared first: closed after the connection and the request
  InternetHandle connection_;
  InternetHandle request_;
};

}  // namespace

std::unique_ptr<FetchSession> OpenFetchSession(const ByteSink& sink, const FetchLimits& limits,
                                               const FetchRange& range) {
  auto session = std::make_unique<Session>(sink, limits, range);
  if (!session->Open()) return nullptr;
  return session;
}

}  // namespace ornivel
