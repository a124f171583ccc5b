#pragma once
// Cookie and header text routines of the HTTP client. All work on GBK texts and never fail:
// missing pieces give empty texts.
//
// A cookie pair is "name=value"; a cookie text is pairs joined by "; ".

#include <string>
#include <string_view>
#include <vector>

namespace ornivel {

// The first name=value of a "Set-Cookie:" header line; attributes are dropped.
[[nodiscard]] std::string SetCookiePair(std::string_view headerLine);

// Merges `newCookies` (set by a response) into `cookies` (kept between requests): pairs the
// response set come first and win over older pairs of the same name, "name=deleted" pairs are
// dropped, repeats are removed. Writes the merged text back into `cookies`, writes `newCookies`
// back without spaces, and returns the merged text.
std::string MergeCookies(std::string& cookies, std::string& newCookies);

// The trimmed name of a cookie pair: the part before its first "=", or the whole pair.
[[nodiscard]] std::string CookieName(std::string_view pair);

// Whether some pair of `pairs` has exactly the name `name` (case-sensitive).
[[nodiscard]] bool HasCookie(const std::vector<std::string>& pairs, std::string_view name);

// `text` split at `separator` with repeated pieces removed, joined again by `separator`.
[[nodiscard]] std::string JoinDistinct(std::string_view text, std::string_view separator);

// 1-based index of the first element of `list` equal to `text`, or -1.
[[nodiscard]] long long IndexOfText(const std::vector<std::string>& list, std::string_view text);

}  // namespace ornivel
