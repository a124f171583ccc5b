#include "http/curl_global.h"

#include <curl/curl.h>

#include <mutex>

namespace ornivel {

bool EnsureCurlGlobalInit() {
  static std::once_flag once;
  static bool ok = false;
  std::call_once(once, [] { ok = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK; });
  return ok;
}

}  // namespace ornivel
