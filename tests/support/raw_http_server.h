#pragma once
// A loopback TCP server for tests where the exact bytes on the wire matter. It serves each
// connection on a thread of its own: it reads each request (headers and a body of
// Content-Length bytes), records it, and answers with what the test's handler returns. The
// handler may also delay, answer nothing and hold the connection open, or keep the connection
// alive for the client's next request. A held connection is never read again: a client that
// sends another request on it meets a silent server. The same on every platform: the sockets
// are test_socket.h's.

#include <algorithm>
#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "tests/support/loopback_connections.h"
#include "tests/support/test_socket.h"

namespace ornivel::test {

struct RawReply {
  std::string bytes;                   // sent as they are
  std::chrono::milliseconds delay{0};  // before anything is sent
  bool holdOpen = false;               // after sending, keep the connection until the end
  bool keepAlive = false;              // after sending, read the next request on it
};

class RawHttpServer {
 public:
  using Handler = std::function<RawReply(const std::string& request)>;

  explicit RawHttpServer(Handler handler) : handler_(std::move(handler)) {}

  int port() const { return connections_.port(); }
  std::string url(const std::string& path = "/") const { return connections_.url(path); }

  // Every request received so far, in the order they arrived.
  std::vector<std::string> requests() const { return connections_.requests(); }

  // Closes every connection held open so far, so that a client still waiting on one sees the
  // end of it.
  void CloseHeldConnections() {
    std::lock_guard lock(mutex_);
    held_.clear();
  }

 private:
  // The next request of the connection, leaving what follows it in `pending`; empty when the
  // client closed (or the server stops) before a whole request head arrived.
  std::string NextRequest(const TestSocket& connection, std::string& pending) {
    std::size_t need = std::string::npos;
    char buffer[4096];
    for (;;) {
      const auto end = pending.find("\r\n\r\n");
      if (end != std::string::npos && need == std::string::npos) {
        std::size_t body = 0;
        const auto at = pending.find("Content-Length: ");
        if (at != std::string::npos && at < end) body = std::stoul(pending.substr(at + 16));
        need = end + 4 + body;
      }
      if (pending.size() >= need) break;
      if (!connections_.WaitReadable(connection)) break;
      const long n = connection.Receive(buffer, sizeof buffer);
      if (n <= 0) break;
      pending.append(buffer, static_cast<std::size_t>(n));
    }
    if (need == std::string::npos) {
      // No whole head: what arrived is the request (empty when nothing did).
      return std::exchange(pending, std::string());
    }
    std::string request = pending.substr(0, need);
    pending.erase(0, std::min(need, pending.size()));
    return request;
  }

  void ServeConnection(TestSocket connection) {
    std::string pending;
    for (bool first = true;; first = false) {
      std::string request = NextRequest(connection, pending);
      // A kept-alive connection that the client closes asks for nothing more.
      if (request.empty() && !first) return;
      connections_.Record(request);
      const RawReply reply = handler_(request);
      (void)connections_.Pause(reply.delay);
      connection.SendAll(reply.bytes);
      if (reply.holdOpen) {
        std::lock_guard lock(mutex_);
        held_.push_back(std::move(connection));
        return;
      }
      if (!reply.keepAlive || connections_.stopping()) {
        connection.ShutdownSend();
        return;
      }
    }
  }

  Handler handler_;
  std::mutex mutex_;  // guards held_
  std::vector<TestSocket> held_;
  // Last: its threads start once the members above are made, and are stopped and joined before
  // they go (the held connections closed after).
  LoopbackConnections connections_{
      [this](TestSocket socket) { ServeConnection(std::move(socket)); }};
};

// A whole response with the given status line, extra header lines and body, after which the
// server closes the connection.
inline std::string HttpResponse(const std::string& status, const std::string& headers,
                                const std::string& body) {
  return "HTTP/1.1 " + status + "\r\n" + headers +
         "Content-Length: " + std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
}

// The same response for a connection the server keeps alive (send it with keepAlive).
inline std::string KeptAliveResponse(const std::string& status, const std::string& headers,
                                     const std::string& body) {
  return "HTTP/1.1 " + status + "\r\n" + headers +
         "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

// The request's target: "/path?query" of "GET /path?query HTTP/1.1".
inline std::string RequestTarget(const std::string& request) {
  const auto start = request.find(' ');
  if (start == std::string::npos) return {};
  const auto end = request.find(' ', start + 1);
  return request.substr(start + 1, end == std::string::npos ? end : end - start - 1);
}

// The value of the request's first header line called `name` (matched exactly), empty when it
// has none.
inline std::string RequestHeader(const std::string& request, const std::string& name) {
  const std::string key = "\r\n" + name + ": ";
  const auto at = request.find(key);
  if (at == std::string::npos || at > request.find("\r\n\r\n")) return {};
  const auto start = at + key.size();
  return request.substr(start, request.find("\r\n", start) - start);
}

}  // namespace ornivel::test
