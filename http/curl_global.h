#pragma once
// libcurl's process-wide set-up, shared by the libcurl backends. Linux backends only.

namespace ornivel {

// Runs curl_global_init once, whichever thread asks first; true when it succeeded.
[[nodiscard]] bool EnsureCurlGlobalInit();

}  // namespace ornivel
