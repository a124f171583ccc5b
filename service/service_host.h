#pragma once
// The music service: one host, and the three addresses built from it.

#include <string>
#include <string_view>

namespace ornivel {

// Where ornivel-catalog listens unless told otherwise.
inline constexpr std::string_view kDefaultServiceHost = "127.0.0.1:8089";

// The service host, "host[:port]": the environment variable ORNIVEL_SERVICE_HOST when it is set
// and not empty, else kDefaultServiceHost.
[[nodiscard]] std::string ServiceHost();

// The search address for an already encoded keyword.
[[nodiscard]] std::string SearchAddress(std::string_view encodedKeyword);

// The file-location lookup address for a song identifier, which is appended as it is.
[[nodiscard]] std::string LookupAddress(std::string_view identifier);

// The address of a song's file at a file server.
[[nodiscard]] std::string ResourceAddress(std::string_view fileServer, std::string_view filePath);

}  // namespace ornivel
