#include "http/cookie_text.h"

#include "text/gbk_text.h"

namespace ornivel {

std::string SetCookiePair(std::string_view headerLine) {
  if (headerLine.find(';') != std::string_view::npos) {
    return TextTrim(TextBetween(headerLine, "Set-Cookie:", ";"));
  }
  return TextTrim(TextReplace(headerLine, "Set-Cookie:", "", /*ignoreCase=*/true));
}

std::string MergeCookies(std::string& cookies, std::string& newCookies) {
  cookies = RemoveSpaces(cookies);
  newCookies = RemoveSpaces(newCookies);
  const std::vector<std::string> old = TextSplit(cookies, ";");
  std::vector<std::string> fresh = TextSplit(newCookies, ";");
  for (const std::string& piece : old) {
    if (!HasCookie(fresh, CookieName(piece))) fresh.push_back(piece);
  }
  constexpr std::string_view kDeleted = "=deleted";
  std::string result;
  for (const std::string& piece : fresh) {
    if (piece.size() >= kDeleted.size() && piece.ends_with(kDeleted)) continue;
    result.append(piece).append("; ");
  }
  if (!result.empty()) result.resize(result.size() - 2);
  result = JoinDistinct(result, "; ");
  cookies = result;
  return result;
}

std::string CookieName(std::string_view pair) {
  const long long p = TextFind(pair, "=");
  return TextTrim(p == -1 ? std::string(pair) : TextLeft(pair, p - 1));
}

bool HasCookie(const std::vector<std::string>& pairs, std::string_view name) {
  for (const std::string& pair : pairs) {
    if (CookieName(pair) == name) return true;
  }
  return false;
}

std::string JoinDistinct(std::string_view text, std::string_view separator) {
  std::vector<std::string> kept;
  std::string result;
  for (std::string& piece : TextSplit(text, separator)) {
    if (IndexOfText(kept, piece) != -1) continue;
    result.append(piece).append(separator);
    kept.push_back(std::move(piece));
  }
  if (!result.empty()) result.resize(result.size() - std::min(result.size(), separator.size()));
  return result;
}

long long IndexOfText(const std::vector<std::string>& list, std::string_view text) {
  for (std::size_t i = 0; i < list.size(); ++i) {
    if (list[i] == text) return static_cast<long long>(i) + 1;
  }
  return -1;
}

}  // namespace ornivel
