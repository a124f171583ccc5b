#include "service/service_host.h"

#include <cstdlib>

namespace ornivel {

std::string ServiceHost() {
  const char* host = std::getenv("ORNIVEL_SERVICE_HOST");
  return (host != nullptr && *host != '\0') ? std::string(host) : std::string(kDefaultServiceHost);
}

std::string SearchAddress(std::string_view encodedKeyword) {
  return "http://" + ServiceHost() + "/webmusic/getsjplayinfo?flag=6&pn=1&pr=500&type=music&key=" +
         std::string(encodedKeyword);
}

std::string LookupAddress(std::string_view identifier) {
  // The path is spelled so by the service, with "Muise".
  return "http://" + ServiceHost() + "/webmusic/st/getNewMuiseByRid?rid=" + std::string(identifier);
}

std::string ResourceAddress(std::string_view fileServer, std::string_view filePath) {
  return "http://" + std::string(fileServer) + "/resource/" + std::string(filePath);
}

}  // namespace ornivel
