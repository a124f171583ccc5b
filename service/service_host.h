#pragma once
// The music service: one host, and the three addresses built from it.

#include <string>
#include <string_view>

namespace ornivel {

// Where ornivel-catalog listens unless told otherwise.
inline constexpr std::string_view kDefaultServiceHost = "127.0.0.1:8089";

// The service host, "host[:port]": the one set by SetServiceHost, else the environment variable
// ORNIVEL_SERVICE_HOST when it is set and not empty, else kDefaultServiceHost.
[[nodiscard]] std::string ServiceHost();

// Sets the service host for the rest of the process, for a front end that takes it from its own
// options; an empty text goes back to the environment's. Call it before the first request.
void SetServiceHost(std::string host);

// Whether `text` can stand for the service host in an address: a host name, an IPv4 address or
// a bracketed IPv6 address, then optionally ":" and a port from 1 to 65535; nothing else (no
// scheme, path, user or white space).
[[nodiscard]] bool IsServiceHost(std::string_view text);

// The search address for an already encoded keyword.
[[nodiscard]] std::string SearchAddress(std::string_view encodedKeyword);

// The file-location lookup address for a song identifier, which is appended as it is.
[[nodiscard]] std::string LookupAddress(std::string_view identifier);

// The address of a song's file at a file server.
[[nodiscard]] std::string ResourceAddress(std::string_view fileServer, std::string_view filePath);

}  // namespace ornivel
