#include "http/http_request.h"

#include <algorithm>
#include <limits>
#include <span>
#include <string_view>

#include "http/cookie_text.h"
#include "http/http_transport.h"
#include "http/response_decoding.h"
#include "text/gbk_text.h"
#include "text/message_pump.h"
#include "text/text_convert.h"

namespace ornivel {
namespace {

struct DefaultHeader {
  std::string_view probe;
  bool ignoreCase;
  std::string_view line;
};

// Each default line is added when its probe occurs nowhere in the caller's header text. The
// Content-Type probe alone is exact and has no space: a caller's "content-type: text/plain"
// does not keep the default line out.
constexpr DefaultHeader kDefaultHeaders[] = {
    {"User-Agent: ", true,
     "User-Agent: Mozilla/5.0 (compatible; MSIE 9.0; Windows NT 6.1; WOW64; Trident/5.0)\r\n"},
    {"Accept: ", true, "Accept: text/html, application/xhtml+xml, */*\r\n"},
    {"Accept-Encoding: ", true, "Accept-Encoding: gbk, GB2312\r\n"},
    {"Accept-Language: ", true, "Accept-Language: zh-cn\r\n"},
    {"Content-Type:", false, "Content-Type: application/x-www-form-urlencoded\r\n"},
    {"Cache-Control: ", true, "Cache-Control: no-cache\r\n"},
};

std::string HeaderText(const HttpRequestParams& params) {
  // The probes are looked for in the caller's lines alone: no default line holds another's
  // probe, nor the Cookie probe.
  const std::string& caller = params.extraHeaders;
  std::string text = caller.empty() ? std::string() : caller + "\r\n";
  for (const DefaultHeader& header : kDefaultHeaders) {
    if (TextFind(caller, header.probe, 1, header.ignoreCase) == -1) {
      text.append(header.line);
    }
  }
  if (params.cookies && !params.cookies->empty() && TextFind(caller, "Cookie: ", 1, true) == -1) {
    text.append("Cookie: ").append(*params.cookies).append("\r\n");
  }
  return text;
}

// `headers` with every line ending in CRLF: a server may end its header lines in a bare LF, and
// every step below reads lines up to a CRLF.
std::string WithCrlfLines(std::string_view headers) {
  std::string out;
  out.reserve(headers.size() + 16);
  for (std::size_t i = 0; i < headers.size(); ++i) {
    if (headers[i] == '\n' && (i == 0 || headers[i - 1] != '\r')) out.push_back('\r');
    out.push_back(headers[i]);
  }
  return out;
}

// The status line's code and reason: from its tenth character to the first CRLF after it.
std::string StatusText(std::string_view headers) {
  if (headers.size() < 10) return {};
  const auto end = headers.find("\r\n", 9);
  if (end == headers.npos) return {};
  return std::string(headers.substr(9, end - 9));
}

}  // namespace

bool AppendBody(HttpExchangeResult& result, std::span<const std::uint8_t> piece) {
  const std::size_t room = kMaxResponseBody - result.body.size();
  const bool fits = piece.size() <= room;
  const auto kept = fits ? piece : piece.first(room);
  // Grown as a vector grows, but never past the limit: a body at the limit holds no more.
  std::vector<std::uint8_t>& body = result.body;
  if (body.capacity() - body.size() < kept.size()) {
    body.reserve(
        std::min(kMaxResponseBody, std::max(body.size() + kept.size(), body.capacity() * 2)));
  }
  body.insert(body.end(), kept.begin(), kept.end());
  return fits;
}

HttpFailure PerformHttpExchange(const HttpExchangeRequest& request, HttpExchangeResult& result) {
  HttpFailure failure = HttpFailure::kNone;
  const std::unique_ptr<HttpSession> session = OpenHttpSession(request, result, failure);
  if (!session) return failure;
  const HttpHop first{request.url, request.method, request.method != HttpMethod::kHead, true, 0};
  const ChainRules rules{request.followRedirects, /*unfollowableIsAnswer=*/true};
  return FollowRedirects(*session, first, rules, [](const HopHead&) { return HopBody::kDeliver; })
      .failure;
}

long RequestTimeoutMs(int timeoutSeconds) {
  if (timeoutSeconds <= 0) return 30000L;
  // long is 32 bits on Windows: a time-out of more than 24 days is cut to the longest it holds.
  const long long ms = static_cast<long long>(timeoutSeconds) * 1000LL;
  return static_cast<long>(std::min<long long>(ms, std::numeric_limits<long>::max()));
}

std::string HttpRequest(HttpRequestParams& params) {
  const auto url = CrackHttpUrl(params.url);
  if (!url) {
    params.failure = HttpFailure::kBadUrl;
    params.status = HttpFailureMessage(params.failure);
    ProcessPendingMessages();
    return {};
  }

  HttpExchangeRequest request;
  request.url = *url;
  request.method = KnownMethod(params.method);
  request.headerText = HeaderText(params);
  request.body = params.body;
  request.proxy = params.proxy;
  if (!params.userName.empty() && !params.password.empty()) {
    request.userName = params.userName;
    request.password = params.password;
  }
  if (!params.proxyUserName.empty() && !params.proxyPassword.empty()) {
    request.proxyUserName = params.proxyUserName;
    request.proxyPassword = params.proxyPassword;
  }
  request.cookieEngine = params.cookies.has_value();
  request.followRedirects = !params.noRedirect;
  request.timeoutMs = RequestTimeoutMs(params.timeoutSeconds);

  HttpExchangeResult exchange;
  const HttpFailure failure = PerformHttpExchange(request, exchange);
  params.failure = failure;
  switch (failure) {
    case HttpFailure::kNone:
    case HttpFailure::kRead:
      break;
    case HttpFailure::kCredentials:
    case HttpFailure::kCookieOption:
    case HttpFailure::kRedirectOption:
      // These options are refused before anything is sent: the routine returns at once.
      params.status = HttpFailureMessage(failure);
      return {};
    default:
      params.status = HttpFailureMessage(failure);
      ProcessPendingMessages();
      return {};
  }

  std::string result;
  if (failure == HttpFailure::kRead) params.status = HttpFailureMessage(HttpFailure::kRead);
  if (exchange.rawHeaders) {
    params.responseHeaders =
        TextReplace(WithCrlfLines(*exchange.rawHeaders), "Set-Cookie", "Set-Cookie", true);
    // A body cut short keeps its 713: the status line alone would report a success.
    if (failure == HttpFailure::kNone) params.status = StatusText(params.responseHeaders);

    std::string cookieList;
    for (const std::string& line : TextSplit(params.responseHeaders, "\r\n")) {
      if (TextFind(line, "Set-Cookie") != -1) cookieList.append(SetCookiePair(line)).append("; ");
      if (TextFind(TextLeft(line, 10), "Location: ", 1, true) == 1 && line.size() >= 10) {
        params.location = line.substr(10);
      }
      ProcessPendingMessages();
    }
    if (!cookieList.empty()) cookieList.resize(cookieList.size() - 2);
    params.newCookies = cookieList;
    if (params.cookies) MergeCookies(*params.cookies, params.newCookies);

    params.responseBytes = std::move(exchange.body);
    result = DecodeResponseText(params.responseBytes);
  }
  ProcessPendingMessages();
  ProcessPendingMessages();
  return result;
}

std::string HttpRequest(const std::string& url) {
  HttpRequestParams params;
  params.url = url;
  return HttpRequest(params);
}

}  // namespace ornivel
