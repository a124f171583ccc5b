#pragma once
// The catalog's HTTP service over a scanned library: the search, the file-location lookup and
// the song files under /resource/, for GET and HEAD. Event-driven (a pool of threads, each
// over its own epoll set), so connections that are idle or send their request slowly cost a
// slot each and no thread: they cannot starve the others.

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

#include "catalog/library.h"

namespace ornivel::catalog {

struct ServerLimits {
  // The whole request head must arrive within this long of the connection's start, or of the
  // end of the previous answer on a kept-alive connection (so it is the idle keep-alive limit
  // too); past it the connection is closed.
  std::chrono::milliseconds headDeadline{10'000};
  // A connection that makes no progress for this long while it is being answered (a client
  // that stopped reading) is closed.
  unsigned stalledAnswerSeconds = 60;
  // Connections held at once, from one client address and in all; past either the next
  // connection is refused at accept. Both are lowered to what the process may open.
  unsigned connectionsPerAddress = 2048;
  unsigned connections = 4096;
  unsigned threads = 4;
};

class CatalogServer {
 public:
  // Serves `library`, whose files lie in `musicFolder`; lookups name `publicHost` ("" for the
  // address listened on).
  CatalogServer(const Library& library, std::string musicFolder, std::string publicHost,
                ServerLimits limits = {});
  ~CatalogServer();
  CatalogServer(const CatalogServer&) = delete;
  CatalogServer& operator=(const CatalogServer&) = delete;

  // Listens on `host`:`port` (port 0: a free one) and serves from then on, logging one line
  // per answered request on standard error. False, with the reason in `problem`, when it
  // cannot.
  [[nodiscard]] bool Start(const std::string& host, int port, std::string& problem);
  // The port listened on, once started.
  [[nodiscard]] int port() const;
  // The limits in force (lowered to the process's file limit where it is smaller).
  [[nodiscard]] const ServerLimits& limits() const;

  struct State;

 private:
  std::unique_ptr<State> state_;
};

}  // namespace ornivel::catalog
