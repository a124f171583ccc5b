#pragma once
// A loopback TCP server for tests where the exact bytes on the wire matter. It serves each
// connection on a thread of its own: it reads each request (headers and a body of
// Content-Length bytes), records it, and answers with what the test's handler returns. The
// handler may also delay, answer nothing and hold the connection open, or keep the connection
// alive for the client's next request. A held connection is never read again: a client that
// sends another request on it meets a silent server. The same on every platform: the sockets
// are test_socket.h's.

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <list>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

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

  explicit RawHttpServer(Handler handler)
      : handler_(std::move(handler)), listener_(TestSocket::ListenOnLoopback()) {
    port_ = listener_.LocalPort();
    thread_ = std::thread([this] { Serve(); });
  }

  ~RawHttpServer() {
    stop_ = true;
    thread_.join();
    for (std::thread& connection : connections_) connection.join();
    CloseHeldConnections();
  }

  RawHttpServer(const RawHttpServer&) = delete;
  RawHttpServer& operator=(const RawHttpServer&) = delete;

  int port() const { return port_; }
  std::string url(const std::string& path = "/") const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
  }

  // Every request received so far, in the order they arrived.
  std::vector<std::string> requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
  }

  // Closes every connection held open so far, so that a client still waiting on one sees the
  // end of it.
  void CloseHeldConnections() {
    std::lock_guard lock(mutex_);
    held_.clear();
  }

 private:
  bool WaitReadable(const TestSocket& socket) {
    while (!stop_) {
      if (socket.WaitReadable(20)) return true;
    }
    return false;
  }

  void Serve() {
    while (WaitReadable(listener_)) {
      TestSocket connection = listener_.Accept();
      if (!connection) continue;
      connections_.emplace_back([this](TestSocket socket) { ServeConnection(std::move(socket)); },
                                std::move(connection));
    }
  }

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
      if (!WaitReadable(connection)) break;
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
      {
        std::lock_guard lock(mutex_);
        requests_.push_back(request);
      }
      const RawReply reply = handler_(request);
      const auto until = std::chrono::steady_clock::now() + reply.delay;
      while (!stop_ && std::chrono::steady_clock::now() < until) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
      }
      connection.SendAll(reply.bytes);
      if (reply.holdOpen) {
        std::lock_guard lock(mutex_);
        held_.push_back(std::move(connection));
        return;
      }
      if (!reply.keepAlive || stop_) {
        connection.ShutdownSend();
        return;
      }
    }
  }

  Handler handler_;
  TestSocket listener_;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  std::list<std::thread> connections_;  // only the accepting thread adds to it
  mutable std::mutex mutex_;            // guards requests_ and held_
  std::vector<std::string> requests_;
  std::vector<TestSocket> held_;
  std::thread thread_;
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
