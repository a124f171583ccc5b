#pragma once
// libcurl's process-wide set-up, the owners of its handles, and the reading of a hop's head,
// shared by the libcurl backends. Linux backends only.

#include <curl/curl.h>

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "http/http_url.h"
#include "http/redirect_chain.h"
#include "text/unique_c_ptr.h"

namespace ornivel {

// Runs curl_global_init once, whichever thread asks first; true when it succeeded.
[[nodiscard]] bool EnsureCurlGlobalInit();

using CurlEasyPtr = UniqueCPtr<CURL, curl_easy_cleanup>;
using CurlMultiPtr = UniqueCPtr<CURLM, curl_multi_cleanup>;
using CurlSlistPtr = UniqueCPtr<curl_slist, curl_slist_free_all>;

// Sets the certificate authorities `easy` trusts for https: the PEM file named by ORNIVEL_CA_FILE
// in the environment, for a service behind an authority of its own (or a test's), in place of the
// system's bundle file; the system's alone when it is unset or empty. True when curl took it.
[[nodiscard]] bool SetTrustedAuthorities(CURL* easy);

// The address curl is given for `url`; curl refuses spaces and raw non-ASCII bytes.
[[nodiscard]] std::string CurlUrl(const HttpUrl& url);

// The value of the last header line named `name` (any letter case) in `headers`, a head as the
// header callback hands it over, without the blanks around it; empty when there is none.
[[nodiscard]] std::string CurlHeaderValue(std::string_view headers, std::string_view name);

// What a hop's header callback learns, line by line: the head of the response being received,
// and what becomes of its body, which the hop's rule says once the head is complete.
class CurlHeadReader {
 public:
  CurlHeadReader(CURL* easy, const HopHeadRule& onHead) : easy_(easy), onHead_(onHead) {}

  // Takes one header line as curl hands it over; false when the rule abandons the hop (the
  // callback then returns 0, which stops the transfer with CURLE_WRITE_ERROR).
  [[nodiscard]] bool Take(std::string_view line);
  // Asks the rule now if it has not been asked: a body-less response cut at the end of its head.
  void Finish();

  [[nodiscard]] const std::string& headers() const { return headers_; }
  [[nodiscard]] bool sawHeaders() const { return !headers_.empty(); }
  [[nodiscard]] bool delivers() const { return body_ == HopBody::kDeliver; }
  [[nodiscard]] bool abandoned() const { return body_ == HopBody::kAbandon; }

 private:
  [[nodiscard]] HopHead Head() const;

  CURL* easy_;
  const HopHeadRule& onHead_;
  std::string headers_;  // of the response being received
  std::optional<HopBody> body_;
};

}  // namespace ornivel
