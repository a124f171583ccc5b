#include "service/service_host.h"

#include <algorithm>
#include <cstdlib>
#include <mutex>

namespace ornivel {
namespace {

std::mutex g_hostMutex;
std::string g_host;  // set by SetServiceHost; empty for the environment's

bool IsHostNameCharacter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
         c == '.' || c == '_';
}

}  // namespace

void SetServiceHost(std::string host) {
  std::lock_guard lock(g_hostMutex);
  g_host = std::move(host);
}

bool IsServiceHost(std::string_view text) {
  std::string_view name = text;
  std::string_view port;
  if (text.starts_with('[')) {
    const auto close = text.find(']');
    if (close == std::string_view::npos || close == 1) return false;
    const std::string_view inside = text.substr(1, close - 1);
    if (!std::all_of(inside.begin(), inside.end(), [](char c) {
          return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F') ||
                 c == ':' || c == '.';
        })) {
      return false;
    }
    const std::string_view rest = text.substr(close + 1);
    if (!rest.empty() && !rest.starts_with(':')) return false;
    if (!rest.empty()) port = rest.substr(1);
    if (!rest.empty() && port.empty()) return false;
    name = {};
  } else {
    const auto colon = text.find(':');
    if (colon != std::string_view::npos) {
      name = text.substr(0, colon);
      port = text.substr(colon + 1);
      if (port.empty()) return false;
    }
    if (name.empty() || !std::all_of(name.begin(), name.end(), IsHostNameCharacter)) return false;
  }
  if (port.empty()) return true;
  if (port.size() > 5 ||
      !std::all_of(port.begin(), port.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    return false;
  }
  const int number = std::stoi(std::string(port));
  return number >= 1 && number <= 65535;
}

std::string ServiceHost() {
  {
    std::lock_guard lock(g_hostMutex);
    if (!g_host.empty()) return g_host;
  }
  const char* host = std::getenv("ORNIVEL_SERVICE_HOST");
  return (host != nullptr && *host != '\0') ? std::string(host) : std::string(kDefaultServiceHost);
}

std::string SearchAddress(std::string_view encodedKeyword) {
  return "http://" + ServiceHost() +
         "/webmusic/getsjplayinfo?flag=6&pn=1&pr=500&type=music&key=" + std::string(encodedKeyword);
}

std::string LookupAddress(std::string_view identifier) {
  // The path is spelled so by the service, with "Muise".
  return "http://" + ServiceHost() + "/webmusic/st/getNewMuiseByRid?rid=" + std::string(identifier);
}

std::string ResourceAddress(std::string_view fileServer, std::string_view filePath) {
  return "http://" + std::string(fileServer) + "/resource/" + std::string(filePath);
}

}  // namespace ornivel
