// ornivel-fetch: one HttpRequest from the command line, for people who debug a music service
// and for scripts. The response's status, location, cookies and headers go to standard error as
// labelled lines, the body to standard output; every text is converted from GBK to UTF-8 for
// the terminal (--raw writes the body's bytes unchanged).
//
// Exit status: 0 when the exchange happened (any HTTP status), 1 when a numbered failure was
// reported, 2 on a usage error.
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>
#include <string_view>

#include "http/http_request.h"
#include "text/gbk_text.h"
#include "text/text_convert.h"

namespace {

constexpr std::string_view kUsage =
    "usage: ornivel-fetch [options] URL\n"
    "  --method M            GET, POST, HEAD, PUT, or a number (0 GET, 1 POST, 2 HEAD, 3 PUT;\n"
    "                        any other number is GET)\n"
    "  --body TEXT           request body, sent with any method\n"
    "  --cookies TEXT        cookies to send (name=value; ...); given, even empty, it turns on\n"
    "                        cookie handling and the merged cookies are printed\n"
    "  --header LINE         an extra request header line (repeatable)\n"
    "  --no-redirect         do not follow redirects\n"
    "  --user NAME           Basic credentials for the server (with --password)\n"
    "  --password TEXT\n"
    "  --proxy HOST:PORT     send the request through this HTTP proxy\n"
    "  --proxy-user NAME     Basic credentials for the proxy (with --proxy-password)\n"
    "  --proxy-password TEXT\n"
    "  --timeout SECONDS     0 or less: 30 seconds\n"
    "  --raw                 write the body's bytes as received, unconverted\n"
    "Texts on the command line are UTF-8; the request carries them as GBK.\n";

int Usage(std::string_view problem) {
  std::cerr << "ornivel-fetch: " << problem << "\n" << kUsage;
  return 2;
}

bool ParseInt(std::string_view text, int& value) {
  if (text.empty()) return false;
  char* end = nullptr;
  const std::string copy(text);
  const long parsed = std::strtol(copy.c_str(), &end, 10);
  if (*end != '\0' || parsed < -1000000 || parsed > 1000000) return false;
  value = static_cast<int>(parsed);
  return true;
}

bool ParseMethod(std::string_view text, ornivel::HttpMethod& method) {
  using ornivel::HttpMethod;
  static constexpr std::pair<std::string_view, HttpMethod> kVerbs[] = {{"GET", HttpMethod::kGet},
                                                                       {"POST", HttpMethod::kPost},
                                                                       {"HEAD", HttpMethod::kHead},
                                                                       {"PUT", HttpMethod::kPut}};
  for (const auto& [verb, value] : kVerbs) {
    if (text.size() == verb.size() && ornivel::TextFind(text, verb, 1, /*ignoreCase=*/true) == 1) {
      method = value;
      return true;
    }
  }
  // A number, as HttpRequest takes it: one outside the four is sent as GET.
  int number = 0;
  if (!ParseInt(text, number)) return false;
  method = static_cast<HttpMethod>(number);
  return true;
}

void Label(std::string_view label, const std::string& gbk) {
  std::cerr << label << ": " << ornivel::GbkToUtf8(gbk) << "\n";
}

}  // namespace

int main(int argc, char** argv) {
  using ornivel::Utf8ToGbk;
  ornivel::HttpRequestParams params;
  bool raw = false;
  std::string url;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    auto value = [&](std::string& out) {
      if (i + 1 >= argc) return false;
      out = Utf8ToGbk(argv[++i]);
      return true;
    };
    std::string text;
    if (arg == "--help" || arg == "-h") {
      std::cout << kUsage;
      return 0;
    } else if (arg == "--raw") {
      raw = true;
    } else if (arg == "--no-redirect") {
      params.noRedirect = true;
    } else if (arg == "--method") {
      if (!value(text) || !ParseMethod(text, params.method)) return Usage("bad --method");
    } else if (arg == "--timeout") {
      if (!value(text) || !ParseInt(text, params.timeoutSeconds)) return Usage("bad --timeout");
    } else if (arg == "--body") {
      if (!value(params.body)) return Usage("--body needs a value");
    } else if (arg == "--cookies") {
      if (!value(text)) return Usage("--cookies needs a value");
      params.cookies = text;
    } else if (arg == "--header") {
      if (!value(text)) return Usage("--header needs a value");
      if (!params.extraHeaders.empty()) params.extraHeaders += "\r\n";
      params.extraHeaders += text;
    } else if (arg == "--user") {
      if (!value(params.userName)) return Usage("--user needs a value");
    } else if (arg == "--password") {
      if (!value(params.password)) return Usage("--password needs a value");
    } else if (arg == "--proxy") {
      if (!value(params.proxy)) return Usage("--proxy needs a value");
    } else if (arg == "--proxy-user") {
      if (!value(params.proxyUserName)) return Usage("--proxy-user needs a value");
    } else if (arg == "--proxy-password") {
      if (!value(params.proxyPassword)) return Usage("--proxy-password needs a value");
    } else if (arg.starts_with("--")) {
      return Usage("unknown option " + std::string(arg));
    } else if (url.empty()) {
      url = Utf8ToGbk(arg);
    } else {
      return Usage("only one URL, please");
    }
  }
  if (url.empty()) return Usage("no URL given");
  params.url = url;

  const std::string body = ornivel::HttpRequest(params);
  const bool failed = params.failure != ornivel::HttpFailure::kNone;

  Label("status", params.status);
  Label("location", params.location);
  Label("newCookies", params.newCookies);
  if (params.cookies) Label("cookies", *params.cookies);
  for (const std::string& line : ornivel::TextSplit(params.responseHeaders, "\r\n")) {
    if (!line.empty()) Label("responseHeaders", line);
  }
  if (raw) {
    std::fwrite(params.responseBytes.data(), 1, params.responseBytes.size(), stdout);
  } else {
    const std::string utf8 = ornivel::GbkToUtf8(body);
    std::fwrite(utf8.data(), 1, utf8.size(), stdout);
  }
  std::fflush(stdout);
  return failed ? 1 : 0;
}
