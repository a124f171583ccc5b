#pragma once
// HttpMethod: the request methods, and the word each goes out as.

#include <string_view>

namespace ornivel {

// The request methods, by the numbers callers give them.
enum class HttpMethod { kGet = 0, kPost = 1, kHead = 2, kPut = 3 };

// `method` when it is one of the four; GET for any other number a caller gives.
[[nodiscard]] constexpr HttpMethod KnownMethod(HttpMethod method) {
  switch (method) {
    case HttpMethod::kGet:
    case HttpMethod::kPost:
    case HttpMethod::kHead:
    case HttpMethod::kPut:
      return method;
  }
  return HttpMethod::kGet;
}

// The method's word in the request line.
[[nodiscard]] constexpr std::string_view MethodName(HttpMethod method) {
  switch (KnownMethod(method)) {
    case HttpMethod::kPost:
      return "POST";
    case HttpMethod::kHead:
      return "HEAD";
    case HttpMethod::kPut:
      return "PUT";
    case HttpMethod::kGet:
      break;
  }
  return "GET";
}

}  // namespace ornivel
