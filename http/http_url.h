#pragma once
// The pieces of a request address that HttpRequest works with.

#include <optional>
#include <string>
#include <string_view>

namespace ornivel {

struct HttpUrl {
  bool secure = false;     // https
  std::string host;        // as written; an IPv6 address keeps its brackets
  int port = 0;            // the explicit port, or 80 / 443
  std::string objectName;  // "/" when the address has no path, else the path and the rest
};

// Cracks an http or https address (the scheme in any letter case). The object name is "/" when
// the address has no path, otherwise the path followed directly by the query (and fragment):
// an address whose query follows the host directly requests "/" without its query. nullopt for
// any other scheme, a missing host, a bad port, or a control character (below 0x20, or 0x7F)
// anywhere in the text, so an address can never carry a header line of its own.
[[nodiscard]] std::optional<HttpUrl> CrackHttpUrl(std::string_view url);

// Whether `url` names the http or https scheme (any letter case) and holds no control character.
[[nodiscard]] bool IsSafeHttpUrl(std::string_view url);

// The address a redirect's Location value `location` leads to from `base`, as a browser reads
// it: a value with a scheme as it is (any scheme; CrackHttpUrl then decides whether it can be
// followed), otherwise resolved against `base` (a network-path "//host/...", an absolute path,
// a query of its own, or a path relative to the base's folder), with "." and ".." segments
// removed. The fragment is dropped. `base` itself for an empty value.
[[nodiscard]] std::string ResolveLocation(const HttpUrl& base, std::string_view location);

// `text` (GBK) as it goes on the wire: converted to UTF-8, with every byte of 0x80 or more and
// every space percent-encoded; everything else stays as it is.
[[nodiscard]] std::string UrlForWire(std::string_view text);

}  // namespace ornivel
