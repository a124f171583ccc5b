// The HTTP transport over libcurl: one easy handle (and one multi handle to wait on it) per
// exchange, nothing shared between exchanges. The multi handle lets the wait return every
// 50 ms, so the message pump runs and the idle time-out is checked while the network is quiet.
//
// Redirects are followed here, hop by hop, on the same handle: a hop to the same server goes out
// on the connection kept from the one before, so no connect time-out covers it, and the idle
// time-out has to start when the request is ready to go rather than when a connection is made.
#include <curl/curl.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "http/curl_global.h"
#include "http/http_transport.h"
#include "text/gbk_text.h"
#include "text/message_pump.h"

namespace ornivel {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int kPumpIntervalMs = 50;

// What the callbacks see of one exchange.
struct Transfer {
  HttpExchangeResult* result = nullptr;
  std::string headers;  // of the response being received
  bool sawHeaders = false;
  bool overflow = false;
  bool requestReady = false;  // a connection stands, made or reused, and the request goes out
  curl_off_t uploaded = 0;
  curl_off_t downloaded = 0;
  Clock::time_point lastActivity = Clock::now();
};

std::size_t OnHeader(char* data, std::size_t size, std::size_t count, void* user) {
  auto* transfer = static_cast<Transfer*>(user);
  const std::string_view line(data, size * count);
  // Every status line starts a new response: an interim 100, or the next hop of a redirect.
  if (line.starts_with("HTTP/")) transfer->headers.clear();
  transfer->headers.append(line);
  transfer->sawHeaders = true;
  transfer->lastActivity = Clock::now();
  return size * count;
}

std::size_t OnBody(char* data, std::size_t size, std::size_t count, void* user) {
  auto* transfer = static_cast<Transfer*>(user);
  auto& body = transfer->result->body;
  const std::size_t length = size * count;
  transfer->lastActivity = Clock::now();
  if (body.size() + length > kMaxResponseBody) {
    body.insert(body.end(), data, data + (kMaxResponseBody - body.size()));
    transfer->overflow = true;
    return 0;  // stops the transfer with CURLE_WRITE_ERROR
  }
  body.insert(body.end(), data, data + length);
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

// The address curl is given; it refuses spaces and raw non-ASCII bytes.
std::string CurlUrl(const HttpUrl& url) {
  std::string out = url.secure ? "https://" : "http://";
  out.append(UrlForWire(url.host)).append(":").append(std::to_string(url.port));
  return out.append(UrlForWire(url.objectName));
}

std::string HeaderName(std::string_view line) {
  return TextTrim(std::string(line.substr(0, line.find(':'))));
}

bool SameName(const std::string& a, std::string_view b) {
  return a.size() == b.size() && TextFind(a, b, 1, true) == 1;
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

bool IsRedirect(long code) {
  return code == 301 || code == 302 || code == 303 || code == 307 || code == 308;
}

bool SameOrigin(const HttpUrl& a, const HttpUrl& b) {
  return a.secure == b.secure && a.port == b.port && a.host.size() == b.host.size() &&
         TextFind(a.host, b.host, 1, true) == 1;
}

// Which failure a transfer that ended early counts as.
HttpFailure Classify(CURLcode code, const Transfer& transfer) {
  // Once a response has begun, whatever stops it stops the reading of its body.
  if (transfer.overflow || transfer.sawHeaders) return HttpFailure::kRead;
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

class Exchange {
 public:
  Exchange(const HttpExchangeRequest& request, HttpExchangeResult& result)
      : request_(request), result_(result) {
    transfer_.result = &result;
  }

  HttpFailure Run() {
    if (!EnsureCurlGlobalInit()) return HttpFailure::kNoPlatformSupport;
    CurlMultiPtr multi(curl_multi_init());
    if (!multi) return HttpFailure::kSession;
    CurlEasyPtr easy(curl_easy_init());
    if (!easy) return HttpFailure::kRequest;
    CURL* e = easy.get();
    if (const HttpFailure failure = Configure(e); failure != HttpFailure::kNone) return failure;

    bool withBody = request_.verb != "HEAD";
    std::string url = CurlUrl(request_.url);
    for (int hop = 0;; ++hop) {
      if (curl_easy_setopt(e, CURLOPT_URL, url.c_str()) != CURLE_OK) return HttpFailure::kBadUrl;
      result_.body.clear();
      transfer_.headers.clear();
      transfer_.sawHeaders = false;
      transfer_.requestReady = false;
      transfer_.uploaded = transfer_.downloaded = 0;
      const auto [code, timedOut] = Perform(multi.get(), e);
      const curl_off_t bodySize = withBody ? static_cast<curl_off_t>(request_.body.size()) : 0;
      if (transfer_.sawHeaders) result_.rawHeaders = transfer_.headers;
      if (timedOut) {
        if (transfer_.sawHeaders) return HttpFailure::kRead;
        if (!transfer_.requestReady) return HttpFailure::kSend;
        return transfer_.uploaded >= bodySize ? HttpFailure::kNoResponse : HttpFailure::kSend;
      }
      if (code != CURLE_OK) return Classify(code, transfer_);

      long status = 0;
      curl_easy_getinfo(e, CURLINFO_RESPONSE_CODE, &status);
      char* next = nullptr;
      curl_easy_getinfo(e, CURLINFO_REDIRECT_URL, &next);
      if (!request_.followRedirects || !IsRedirect(status) || next == nullptr ||
          hop == kMaxRedirects || !IsSafeHttpUrl(next)) {
        return HttpFailure::kNone;  // the last response received is the answer
      }
      const auto target = CrackHttpUrl(next);
      if (!target) return HttpFailure::kNone;
      url = next;
      // As browsers do: 303 turns any request into a GET, 301 and 302 turn a POST into one.
      // The verb of a PUT (or of a GET with a body) was set by name; it goes too.
      if ((status == 303 && request_.verb != "HEAD") ||
          ((status == 301 || status == 302) && request_.verb == "POST")) {
        curl_easy_setopt(e, CURLOPT_HTTPGET, 1L);
        curl_easy_setopt(e, CURLOPT_CUSTOMREQUEST, nullptr);
        withBody = false;
      }
      if (hop == 0 && request_.cookieEngine) {
        if (const HttpFailure failure = HandCookieLineToEngine(e); failure != HttpFailure::kNone) {
          return failure;
        }
      }
      // Credentials go to the origin they were given for, never to another one.
      if (!SameOrigin(*target, request_.url)) {
        curl_easy_setopt(e, CURLOPT_HTTPAUTH, CURLAUTH_NONE);
        curl_easy_setopt(e, CURLOPT_USERNAME, nullptr);
        curl_easy_setopt(e, CURLOPT_PASSWORD, nullptr);
      }
    }
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
    set(CURLOPT_HEADERFUNCTION, &OnHeader);
    set(CURLOPT_HEADERDATA, &transfer_);
    set(CURLOPT_WRITEFUNCTION, &OnBody);
    set(CURLOPT_WRITEDATA, &transfer_);
    set(CURLOPT_NOPROGRESS, 0L);
    set(CURLOPT_XFERINFOFUNCTION, &OnProgress);
    set(CURLOPT_XFERINFODATA, &transfer_);
    set(CURLOPT_PREREQFUNCTION, &OnRequestReady);
    set(CURLOPT_PREREQDATA, &transfer_);
    set(CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
    // An empty proxy turns off the proxy variables of the environment as well.
    set(CURLOPT_PROXY, request_.proxy.c_str());
    set(CURLOPT_PROXYTYPE, static_cast<long>(CURLPROXY_HTTP));
    if (!ok) return HttpFailure::kRequest;

    set(CURLOPT_CONNECTTIMEOUT_MS, request_.timeoutMs);
    if (!ok) return HttpFailure::kTimeouts;

    if (!request_.userName.empty()) {
      set(CURLOPT_HTTPAUTH, static_cast<long>(CURLAUTH_BASIC));
      set(CURLOPT_USERNAME, request_.userName.c_str());
      set(CURLOPT_PASSWORD, request_.password.c_str());
    }
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

    if (request_.verb == "HEAD") {
      set(CURLOPT_NOBODY, 1L);
    } else if (request_.verb == "POST" || request_.verb == "PUT" || !request_.body.empty()) {
      set(CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(request_.body.size()));
      set(CURLOPT_POSTFIELDS, request_.body.data());
      if (request_.verb != "POST") set(CURLOPT_CUSTOMREQUEST, request_.verb.c_str());
    }
    return ok ? HttpFailure::kNone : HttpFailure::kRequest;
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
  Outcome Perform(CURLM* multi, CURL* e) {
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
      if (transfer_.requestReady ? now - transfer_.lastActivity > idleLimit
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
  Transfer transfer_;
  std::vector<std::string> headerLines_;
  CurlSlistPtr headers_;
  std::string cookieLine_;  // the caller's cookies, once curl adds them to its own
};

}  // namespace

HttpFailure PerformHttpExchange(const HttpExchangeRequest& request, HttpExchangeResult& result) {
  return Exchange(request, result).Run();
}

}  // namespace ornivel
