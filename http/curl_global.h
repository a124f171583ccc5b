#pragma once
// libcurl's process-wide set-up and the owners of its handles, shared by the libcurl backends.
// Linux backends only.

#include <curl/curl.h>

#include <memory>
#include <string>
#include <string_view>

#include "http/http_url.h"

namespace ornivel {

// Runs curl_global_init once, whichever thread asks first; true when it succeeded.
[[nodiscard]] bool EnsureCurlGlobalInit();

struct CurlEasyDeleter {
  void operator()(CURL* easy) const { curl_easy_cleanup(easy); }
};
struct CurlMultiDeleter {
  void operator()(CURLM* multi) const { curl_multi_cleanup(multi); }
};
struct CurlSlistDeleter {
  void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
using CurlEasyPtr = std::unique_ptr<CURL, CurlEasyDeleter>;
using CurlMultiPtr = std::unique_ptr<CURLM, CurlMultiDeleter>;
using CurlSlistPtr = std::unique_ptr<curl_slist, CurlSlistDeleter>;

// The address curl is given for `url`; curl refuses spaces and raw non-ASCII bytes.
[[nodiscard]] std::string CurlUrl(const HttpUrl& url);

// The value of the last header line named `name` (any letter case) in `headers`, a head as the
// header callback hands it over, without the blanks around it; empty when there is none.
[[nodiscard]] std::string CurlHeaderValue(std::string_view headers, std::string_view name);

}  // namespace ornivel
