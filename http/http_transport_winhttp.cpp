// The HTTP transport over WinHTTP: one synchronous session per exchange, kept across its hops,
// and per hop one connection and one request, closed when the hop is done. WinHTTP's own
// following of redirects is turned off.
//
// WinHTTP's synchronous calls block for as long as the server takes, up to the time-outs set on
// each request. On a thread with windows each hop runs on a helper thread while this one keeps
// taking its messages (win/helper_wait.h), so a request made on the window thread keeps the
// window painting; any other thread makes the calls itself.
#include <windows.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <climits>
#include <memory>
#include <optional>
#include <string>

#include "http/http_transport.h"
#include "text/gbk_text.h"
#include "win/helper_wait.h"
#include "win/wide_text.h"
#include "win/winhttp_api.h"

namespace ornivel {
namespace {

constexpr bool FitsDword(std::size_t size) {
  if constexpr (sizeof(std::size_t) > sizeof(DWORD)) return size <= MAXDWORD;
  return true;  // a 32-bit size always fits
}

// The address of one hop as WinHTTP is given it: the object name as it goes on the wire
// (UTF-8, percent-encoded where it must be), without the fragment, which is not sent.
std::string WireUrl(const HttpUrl& url) {
  const std::string object = url.objectName.substr(0, url.objectName.find('#'));
  return (url.secure ? "https://" : "http://") + url.host + ":" + std::to_string(url.port) +
         UrlForWire(object);
}

class Session final : public HttpSession {
 public:
  Session(const WinHttpApi& api, const HttpExchangeRequest& request, HttpExchangeResult& result)
      : api_(api), request_(request), result_(result) {}

  HttpFailure Open() {
    if (!api_.CheckPlatform()) return HttpFailure::kNoPlatformSupport;
    // The system's proxy settings are never used. A named proxy serves every scheme for an https
    // address, and only http for an http one.
    const bool viaProxy = !request_.proxy.empty();
    const std::wstring proxyName =
        Wide(request_.url.secure || !viaProxy ? request_.proxy : "http=" + request_.proxy);
    session_ = WinHttpHandle(api_.Open(
        nullptr, viaProxy ? WINHTTP_ACCESS_TYPE_NAMED_PROXY : WINHTTP_ACCESS_TYPE_NO_PROXY,
        viaProxy ? proxyName.c_str() : WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0));
    return session_ ? HttpFailure::kNone : HttpFailure::kSession;
  }

  HttpFailure Send(const HttpHop& hop, const HopHeadRule& onHead) override {
    HttpFailure failure = HttpFailure::kNone;
    RunWhilePumping([&] { failure = Perform(hop, onHead); });
    return failure;
  }

 private:
  // One request and its response.
  HttpFailure Perform(const HttpHop& hop, const HopHeadRule& onHead) {
    const std::wstring url = Wide(WireUrl(hop.url));
    URL_COMPONENTS parts{};
    parts.dwStructSize = sizeof parts;
    parts.dwSchemeLength = parts.dwHostNameLength = parts.dwUrlPathLength =
        parts.dwExtraInfoLength = static_cast<DWORD>(-1);
    if (!api_.CrackUrl(url.c_str(), static_cast<DWORD>(url.size()), 0, &parts)) {
      return HttpFailure::kBadUrl;
    }
    const std::wstring host(parts.lpszHostName, parts.dwHostNameLength);
    std::wstring object = L"/";
    if (parts.dwUrlPathLength >= 1) {
      object.assign(parts.lpszUrlPath, parts.dwUrlPathLength)
          .append(parts.lpszExtraInfo, parts.dwExtraInfoLength);
    }
    const bool secure = parts.nScheme == INTERNET_SCHEME_HTTPS;

    // Closed in the reverse order: the request, then the connection.
    WinHttpHandle connection(api_.Connect(session_.get(), host.c_str(), parts.nPort, 0));
    if (!connection) return HttpFailure::kConnection;
    const std::wstring verb = Wide(MethodName(hop.method));
    WinHttpHandle request(api_.OpenRequest(connection.get(), verb.c_str(), object.c_str(), nullptr,
                                           WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES,
                                           secure ? WINHTTP_FLAG_SECURE : 0));
    if (!request) return HttpFailure::kRequest;
    HINTERNET r = request.get();

    // Resolving, connecting, sending, and every wait for the server: each bounded alike.
    const int timeout = static_cast<int>(std::clamp<long>(request_.timeoutMs, 1, INT_MAX));
    if (!api_.SetTimeouts(r, timeout, timeout, timeout, timeout)) return HttpFailure::kTimeouts;
    // The wait for the response's head has a time-out of its own, which WinHttpSetTimeouts does
    // not set everywhere.
    DWORD responseTimeout = static_cast<DWORD>(timeout);
    if (!api_.SetOption(r, WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, &responseTimeout,
                        sizeof responseTimeout)) {
      return HttpFailure::kTimeouts;
    }

    if (hop.withCredentials && !request_.userName.empty()) {
      const std::wstring user = Wide(request_.userName), password = Wide(request_.password);
      if (!api_.SetCredentials(r, WINHTTP_AUTH_TARGET_SERVER, WINHTTP_AUTH_SCHEME_BASIC,
                               user.c_str(), password.c_str(), nullptr)) {
        return HttpFailure::kCredentials;
      }
    }
    if (!request_.proxyUserName.empty()) {
      const std::wstring user = Wide(request_.proxyUserName);
      const std::wstring password = Wide(request_.proxyPassword);
      if (!api_.SetCredentials(r, WINHTTP_AUTH_TARGET_PROXY, WINHTTP_AUTH_SCHEME_BASIC,
                               user.c_str(), password.c_str(), nullptr)) {
        return HttpFailure::kCredentials;
      }
    }

    // Without the caller's cookies WinHTTP keeps none; with them it keeps the ones set during
    // redirects for the next hop, and checks certificate revocation.
    DWORD cookieFeature =
        request_.cookieEngine ? WINHTTP_ENABLE_SSL_REVOCATION : WINHTTP_DISABLE_COOKIES;
    if (!api_.SetOption(
            r,
            request_.cookieEngine ? WINHTTP_OPTION_ENABLE_FEATURE : WINHTTP_OPTION_DISABLE_FEATURE,
            &cookieFeature, sizeof cookieFeature)) {
      return HttpFailure::kCookieOption;
    }
    // Whether a second call adds to the features the first disabled or replaces them is nothing
    // to rely on: the cookie bit is given again, so that it holds either way.
    DWORD disabled =
        WINHTTP_DISABLE_REDIRECTS | (request_.cookieEngine ? 0 : WINHTTP_DISABLE_COOKIES);
    if (!api_.SetOption(r, WINHTTP_OPTION_DISABLE_FEATURE, &disabled, sizeof disabled)) {
      return HttpFailure::kRedirectOption;
    }

    const std::wstring headers = Wide(request_.headerText);
    if (!headers.empty() &&
        !api_.AddRequestHeaders(r, headers.c_str(), static_cast<DWORD>(headers.size()),
                                WINHTTP_ADDREQ_FLAG_ADD | WINHTTP_ADDREQ_FLAG_REPLACE)) {
      return HttpFailure::kHeaders;
    }

    const std::string_view body = hop.withBody ? request_.body : std::string_view();
    if (!FitsDword(body.size())) return HttpFailure::kSend;
    const auto bodyLength = static_cast<DWORD>(body.size());
    if (!api_.SendRequest(r, WINHTTP_NO_ADDITIONAL_HEADERS, 0,
                          const_cast<char*>(body.empty() ? nullptr : body.data()), bodyLength,
                          bodyLength, 0)) {
      return HttpFailure::kSend;
    }
    if (!api_.ReceiveResponse(r, nullptr)) return HttpFailure::kNoResponse;

    // A reply that does not start with an HTTP status line is no response.
    std::optional<std::string> headerText = QueryText(r, WINHTTP_QUERY_RAW_HEADERS_CRLF);
    if (!headerText || !headerText->starts_with("HTTP/")) return HttpFailure::kNoResponse;
    HopHead head;
    head.status = static_cast<int>(QueryNumber(r, WINHTTP_QUERY_STATUS_CODE).value_or(0));
    head.location = QueryText(r, WINHTTP_QUERY_LOCATION).value_or("");
    result_.rawHeaders = headerText;
    const HopBody use = onHead(head);
    if (use == HopBody::kAbandon) return HttpFailure::kNone;
    const bool bodyWhole = ReadBody(r, hop, static_cast<DWORD>(head.status), use);
    // Read again after the body: the raw headers then include any trailer lines.
    if (auto finalHeaders = QueryText(r, WINHTTP_QUERY_RAW_HEADERS_CRLF)) headerText = finalHeaders;
    result_.rawHeaders = std::move(headerText);
    return bodyWhole ? HttpFailure::kNone : HttpFailure::kRead;
  }

  // Reads the body in pieces of the size WinHTTP reports available: delivered up to
  // kMaxResponseBody, otherwise read past so the connection can serve again. False when the
  // body could not be read whole: a failed read, a longer body than the limit, or a connection
  // that closed before the length the response announced.
  bool ReadBody(HINTERNET r, const HttpHop& hop, DWORD status, HopBody use) {
    std::vector<std::uint8_t> piece;
    std::uint64_t received = 0;
    for (;;) {
      DWORD available = 0;
      if (!api_.QueryDataAvailable(r, &available)) return false;
      if (available < 1) break;
      piece.resize(available);
      DWORD read = 0;
      if (!api_.ReadData(r, piece.data(), available, &read)) return false;
      if (read == 0) break;
      read = std::min(read, available);
      received += read;
      if (use == HopBody::kDeliver &&
          !AppendBody(result_, std::span<const std::uint8_t>(piece.data(), read))) {
        return false;
      }
    }
    // A response without a body may announce one: to HEAD, and as 204 and 304.
    if (hop.method == HttpMethod::kHead || status == 204 || status == 304 ||
        (status >= 100 && status < 200)) {
      return true;
    }
    // A chunked body ends with its last chunk; any other ends when the connection closes, which
    // may be early.
    if (const auto coding = QueryText(r, WINHTTP_QUERY_TRANSFER_ENCODING);
        coding && TextFind(*coding, "chunked", 1, true) != -1) {
      return true;
    }
    const std::string length = QueryText(r, WINHTTP_QUERY_CONTENT_LENGTH).value_or("");
    unsigned long long announced = 0;
    const auto [end, ec] = std::from_chars(length.data(), length.data() + length.size(), announced);
    return ec != std::errc() || end != length.data() + length.size() || received >= announced;
  }

  // A header query as GBK text; nullopt when WinHTTP has no such value.
  std::optional<std::string> QueryText(HINTERNET r, DWORD query) {
    DWORD size = 0;
    // The first call only asks for the size, and fails for want of a buffer when there is a value.
    if (api_.QueryHeaders(r, query, WINHTTP_HEADER_NAME_BY_INDEX, WINHTTP_NO_OUTPUT_BUFFER, &size,
                          WINHTTP_NO_HEADER_INDEX) ||
        GetLastError() != ERROR_INSUFFICIENT_BUFFER || size == 0) {
      return std::nullopt;
    }
    std::wstring buffer(size / sizeof(wchar_t) + 1, L'\0');
    if (!api_.QueryHeaders(r, query, WINHTTP_HEADER_NAME_BY_INDEX, buffer.data(), &size,
                           WINHTTP_NO_HEADER_INDEX)) {
      return std::nullopt;
    }
    buffer.resize(size / sizeof(wchar_t));
    return Narrow(buffer);
  }

  std::optional<DWORD> QueryNumber(HINTERNET r, DWORD query) {
    DWORD value = 0;
    DWORD size = sizeof value;
    if (!api_.QueryHeaders(r, query | WINHTTP_QUERY_FLAG_NUMBER, WINHTTP_HEADER_NAME_BY_INDEX,
                           &value, &size, WINHTTP_NO_HEADER_INDEX)) {
      return std::nullopt;
    }
    return value;
  }

  const WinHttpApi& api_;
  const HttpExchangeRequest& request_;
  HttpExchangeResult& result_;
  WinHttpHandle session_;  // outlives each hop's connection and request
};

}  // namespace

std::unique_ptr<HttpSession> OpenHttpSession(const HttpExchangeRequest& request,
                                             HttpExchangeResult& result, HttpFailure& failure) {
  const WinHttpApi* api = WinHttp();
  if (api == nullptr) {
    failure = HttpFailure::kNoPlatformSupport;
    return nullptr;
  }
  auto session = std::make_unique<Session>(*api, request, result);
  failure = session->Open();
  if (failure != HttpFailure::kNone) return nullptr;
  return session;
}

}  // namespace ornivel
