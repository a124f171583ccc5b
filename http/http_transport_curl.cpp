// The HTTP transport over libcurl: one easy handle (and one multi handle to wait on it) per
// exchange, kept across its hops, nothing shared between exchanges. The multi handle lets the
// wait return every 50 ms, so the message pump runs and the idle time-out is checked while the
// network is quiet.
//
// A hop to the same server goes out on the connection kept from the one before, so no connect
// time-out covers it, and the idle time-out has to start when the request is ready to go rather
// than when a connection is made.
#include <curl/curl.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "http/curl_global.h"
#include "http/http_transport.h"
#include "text/ascii.h"
#include "text/gbk_text.h"
#include "text/message_pump.h"

namespace ornivel {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int kPumpIntervalMs = 50;

// What the callbacks see of one hop.
struct Transfer {
  Transfer(HttpExchangeResult& into, CURL* easy, const HopHeadRule& onHead)
      : result(into), head(easy, onHead) {}

  HttpExchangeResult& result;
  CurlHeadReader head;
  bool overflow = false;
  bool requestReady = false;  // a connection stands, made or reused, and the request goes out
  curl_off_t uploaded = 0;
  curl_off_t downloaded = 0;
  Clock::time_point lastActivity = Clock::now();
};

std::string HeaderName(std::string_view line) {
  return TextTrim(std::string(line.substr(0, line.find(':'))));
}

std::size_t OnHeader(char* data, std::size_t size, std::size_t count, void* user) {
  auto* transfer = static_cast<Transfer*>(user);
  transfer->lastActivity = Clock::now();
  return transfer->head.Take(std::string_view(data, size * count)) ? size * count : 0;
}

std::size_t OnBody(char* data, std::size_t size, std::size_t count, void* user) {
  auto* transfer = static_cast<Transfer*>(user);
  const std::size_t length = size * count;
  transfer->lastActivity = Clock::now();
  if (!transfer->head.delivers()) return length;  // a redirect's body, read past
  if (!AppendBody(transfer->result,
                  std::span(reinterpret_cast<const std::uint8_t*>(data), length))) {
    transfer->overflow = true;
    return 0;  // stops the transfer with CURLE_WRITE_ERROR
  }
  return length;
}

int OnProgress(void* user, curl_off_t, curl_off_t downloaded, curl_off_t, curl_off_t uploaded) {
  auto* transfer = static_cast<Transfer*>(user);
  if (uploaded != transfer->uploaded || downloaded != transfer->downloaded) {
    transfer->uploaded = uploaded;
    transfer->downloaded = downloaded;
    transfer->lastActivity = Clock::now();
  }
  return 0;
}

int OnRequestReady(void* user, char*, char*, int, int) {
  auto* transfer = static_cast<Transfer*>(user);
  transfer->requestReady = true;
  transfer->lastActivity = Clock::now();
  return CURL_PREREQFUNC_OK;
}

bool SameName(const std::string& a, std::string_view b) {
  return AsciiEqualIgnoringCase(a, b);
}

// The header lines as the platform adds them: a later line of a name already present replaces
// that line, in its place.
std::vector<std::string> HeaderLines(std::string_view headerText) {
  std::vector<std::string> lines;
  for (const std::string& line : TextSplit(headerText, "\r\n")) {
    if (line.empty()) continue;
    const std::string name = HeaderName(line);
    bool replaced = false;
    for (std::string& kept : lines) {
      if (SameName(HeaderName(kept), name)) {
        kept = line;
        replaced = true;
        break;
      }
    }
    if (!replaced) lines.push_back(line);
  }
  lines.emplace_back("Expect:");  // no 100-continue round trip before a body
  return lines;
}

CurlSlistPtr HeaderList(const std::vector<std::string>& lines, bool& ok) {
  CurlSlistPtr list;
  ok = true;
  for (const std::string& line : lines) {
    curl_slist* grown = curl_slist_append(list.get(), line.c_str());
    if (grown == nullptr) {
      ok = false;
      break;
    }
    (void)list.release();
    list.reset(grown);
  }
  return list;
}

// Which failure a transfer that ended early counts as.
HttpFailure Classify(CURLcode code, const Transfer& transfer) {
  // Once a response has begun, whatever stops it stops the reading of its body.
  if (transfer.overflow || transfer.head.sawHeaders()) return HttpFailure::kRead;
  switch (code) {
    case CURLE_URL_MALFORMAT:
      return HttpFailure::kBadUrl;
    case CURLE_UNSUPPORTED_PROTOCOL:
      // Also what curl reports when the answer does not start like an HTTP response (an SSH
      // banner, a mail server's greeting): that is a server that did not respond in HTTP, and
      // the address was fine.
      return transfer.requestReady ? HttpFailure::kNoResponse : HttpFailure::kBadUrl;
    case CURLE_WEIRD_SERVER_REPLY:
    case CURLE_GOT_NOTHING:
    case CURLE_RECV_ERROR:
      return HttpFailure::kNoResponse;
    default:
      // Resolve, connect (its time-out included), handshake and send failures.
      return HttpFailure::kSend;
  }
}

class Session final : public HttpSession {
 public:
  Session(const HttpExchangeRequest& request, HttpExchangeResult& result)
      : request_(request), result_(result) {}

  HttpFailure Open() {
    if (!EnsureCurlGlobalInit()) return HttpFailure::kNoPlatformSupport;
    multi_.reset(curl_multi_init());
    if (!multi_) return HttpFailure::kSession;
    easy_.reset(curl_easy_init());
    if (!easy_) return HttpFailure::kRequest;
    return Configure(easy_.get());
  }

  HttpFailure Send(const HttpHop& hop, const HopHeadRule& onHead) override {
    CURL* e = easy_.get();
    const std::string url = CurlUrl(hop.url);
    if (curl_easy_setopt(e, CURLOPT_URL, url.c_str()) != CURLE_OK) return HttpFailure::kBadUrl;
    if (const HttpFailure failure = ConfigureHop(e, hop); failure != HttpFailure::kNone) {
      return failure;
    }
    Transfer transfer(result_, e, onHead);
    for (const CURLoption option :
         {CURLOPT_HEADERDATA, CURLOPT_WRITEDATA, CURLOPT_XFERINFODATA, CURLOPT_PREREQDATA}) {
      if (curl_easy_setopt(e, option, &transfer) != CURLE_OK) return HttpFailure::kRequest;
    }
    const auto [code, timedOut] = Perform(multi_.get(), e, transfer);
    const curl_off_t bodySize = hop.withBody ? static_cast<curl_off_t>(request_.body.size()) : 0;
    if (transfer.head.sawHeaders()) result_.rawHeaders = transfer.head.headers();
    if (timedOut) {
      if (transfer.head.sawHeaders()) return HttpFailure::kRead;
      if (!transfer.requestReady) return HttpFailure::kSend;
      return transfer.uploaded >= bodySize ? HttpFailure::kNoResponse : HttpFailure::kSend;
    }
    if (transfer.head.abandoned()) return HttpFailure::kNone;
    if (code != CURLE_OK) return Classify(code, transfer);
    transfer.head.Finish();
    return HttpFailure::kNone;
  }

 private:
  HttpFailure Configure(CURL* e) {
    bool ok = true;
    auto set = [&](CURLoption option, auto value) {
      ok = ok && curl_easy_setopt(e, option, value) == CURLE_OK;
    };
    set(CURLOPT_NOSIGNAL, 1L);
    set(CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
    set(CURLOPT_PROTOCOLS_STR, "http,https");
    set(CURLOPT_FOLLOWLOCATION, 0L);  // redirects are followed here, hop by hop
    ok = ok && SetTrustedAuthorities(e);
    set(CURLOPT_HEADERFUNCTION, &OnHeader);
    set(CURLOPT_WRITEFUNCTION, &OnBody);
    set(CURLOPT_NOPROGRESS, 0L);
    set(CURLOPT_XFERINFOFUNCTION, &OnProgress);
    set(CURLOPT_PREREQFUNCTION, &OnRequestReady);
    set(CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
    // An empty proxy turns off the proxy variables of the environment as well.
    set(CURLOPT_PROXY, request_.proxy.c_str());
    set(CURLOPT_PROXYTYPE, static_cast<long>(CURLPROXY_HTTP));
    if (!ok) return HttpFailure::kRequest;

    set(CURLOPT_CONNECTTIMEOUT_MS, request_.timeoutMs);
    if (!ok) return HttpFailure::kTimeouts;

    if (!request_.proxyUserName.empty()) {
      set(CURLOPT_PROXYAUTH, static_cast<long>(CURLAUTH_BASIC));
      set(CURLOPT_PROXYUSERNAME, request_.proxyUserName.c_str());
      set(CURLOPT_PROXYPASSWORD, request_.proxyPassword.c_str());
    }
    if (!ok) return HttpFailure::kCredentials;

    // Cookies set during redirects reach the next hop only when the caller keeps cookies.
    if (request_.cookieEngine) set(CURLOPT_COOKIEFILE, "");
    if (!ok) return HttpFailure::kCookieOption;

    bool listOk = false;
    headerLines_ = HeaderLines(request_.headerText);
    headers_ = HeaderList(headerLines_, listOk);
    set(CURLOPT_HTTPHEADER, headers_.get());
    if (!ok || !listOk) return HttpFailure::kHeaders;

    return HttpFailure::kNone;
  }

  // The method, the body and the credentials of one hop.
  HttpFailure ConfigureHop(CURL* e, const HttpHop& hop) {
    bool ok = true;
    auto set = [&](CURLoption option, auto value) {
      ok = ok && curl_easy_setopt(e, option, value) == CURLE_OK;
    };
    // The names are literals, so each ends in a NUL as curl wants.
    const char* const name = MethodName(hop.method).data();
    if (hop.method == HttpMethod::kHead) {
      set(CURLOPT_NOBODY, 1L);
    } else if (hop.withBody && (hop.method == HttpMethod::kPost || hop.method == HttpMethod::kPut ||
                                !request_.body.empty())) {
      set(CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(request_.body.size()));
      set(CURLOPT_POSTFIELDS, request_.body.data());
      set(CURLOPT_CUSTOMREQUEST, hop.method == HttpMethod::kPost ? nullptr : name);
    } else {
      set(CURLOPT_HTTPGET, 1L);
      set(CURLOPT_CUSTOMREQUEST, hop.method == HttpMethod::kGet ? nullptr : name);
    }
    if (!ok) return HttpFailure::kRequest;

    // Credentials go to the origin they were given for, never to another one.
    const bool credentials = hop.withCredentials && !request_.userName.empty();
    set(CURLOPT_HTTPAUTH, static_cast<long>(credentials ? CURLAUTH_BASIC : CURLAUTH_NONE));
    set(CURLOPT_USERNAME, credentials ? request_.userName.c_str() : nullptr);
    set(CURLOPT_PASSWORD, credentials ? request_.password.c_str() : nullptr);
    if (!ok) return HttpFailure::kCredentials;

    if (hop.redirects == 1 && request_.cookieEngine) return HandCookieLineToEngine(e);
    return HttpFailure::kNone;
  }

  // From the second hop on, cookies that responses set during the redirects go out as well, and
  // curl would add them on a Cookie line of their own beside the caller's. Handed to curl, the
  // caller's pairs follow the new ones on one line (the first request has gone out as it was).
  HttpFailure HandCookieLineToEngine(CURL* e) {
    const auto line = std::find_if(headerLines_.begin(), headerLines_.end(),
                                   [](const auto& l) { return SameName(HeaderName(l), "Cookie"); });
    if (line == headerLines_.end()) return HttpFailure::kNone;
    const auto colon = line->find(':');
    cookieLine_ = colon == std::string::npos ? std::string() : TextTrim(line->substr(colon + 1));
    headerLines_.erase(line);
    bool listOk = false;
    CurlSlistPtr list = HeaderList(headerLines_, listOk);
    if (!listOk || curl_easy_setopt(e, CURLOPT_HTTPHEADER, list.get()) != CURLE_OK) {
      return HttpFailure::kHeaders;
    }
    headers_ = std::move(list);
    if (!cookieLine_.empty() &&
        curl_easy_setopt(e, CURLOPT_COOKIE, cookieLine_.c_str()) != CURLE_OK) {
      return HttpFailure::kHeaders;
    }
    return HttpFailure::kNone;
  }

  struct Outcome {
    CURLcode code;
    bool timedOut;
  };

  // Runs one transfer, pumping messages at least every 50 ms. Until the request is ready to go
  // out, curl's connect time-out bounds resolving, connecting and any handshake; from then on
  // the idle time-out bounds every silence, on a new connection and on a kept one alike.
  Outcome Perform(CURLM* multi, CURL* e, Transfer& transfer) {
    if (curl_multi_add_handle(multi, e) != CURLM_OK) return {CURLE_FAILED_INIT, false};
    const auto idleLimit = std::chrono::milliseconds(request_.timeoutMs);
    // Only a backstop behind curl's connect time-out; resolving and connecting may take one
    // time-out each.
    const auto readyLimit = 2 * idleLimit;
    const auto start = Clock::now();
    Outcome outcome{CURLE_OK, false};
    for (;;) {
      int running = 0;
      if (curl_multi_perform(multi, &running) != CURLM_OK) {
        outcome.code = CURLE_FAILED_INIT;
        break;
      }
      if (running == 0) {
        int left = 0;
        while (CURLMsg* message = curl_multi_info_read(multi, &left)) {
          if (message->msg == CURLMSG_DONE) outcome.code = message->data.result;
        }
        break;
      }
      curl_multi_poll(multi, nullptr, 0, kPumpIntervalMs, nullptr);
      ProcessPendingMessages();
      const auto now = Clock::now();
      if (transfer.requestReady ? now - transfer.lastActivity > idleLimit
                                : now - start > readyLimit) {
        outcome = {CURLE_OPERATION_TIMEDOUT, true};
        break;
      }
    }
    curl_multi_remove_handle(multi, e);
    return outcome;
  }

  const HttpExchangeRequest& request_;
  HttpExchangeResult& result_;
  CurlMultiPtr multi_;  // declared first: cleaned up after the easy handle
  CurlEasyPtr easy_;
  std::vector<std::string> headerLines_;
  CurlSlistPtr headers_;
  std::string cookieLine_;  // the caller's cookies, once curl adds them to its own
};

}  // namespace

std::unique_ptr<HttpSession> OpenHttpSession(const HttpExchangeRequest& request,
                                             HttpExchangeResult& result, HttpFailure& failure) {
  auto session = std::make_unique<Session>(request, result);
  failure = session->Open();
  if (failure != HttpFailure::kNone) return nullptr;
  return session;
}

}  // namespace ornivel
