#pragma once
// A loopback TCP server for tests where the exact bytes on the wire matter. It accepts
// connections one after another on its own thread, reads each request (headers and a body of
// Content-Length bytes), records it, and answers with what the test's handler returns. The
// handler may also delay, or answer nothing and hold the connection open. A held connection is
// never read again: a client that sends another request on it meets a silent server.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace ornivel::test {

struct RawReply {
  std::string bytes;                      // sent as they are
  std::chrono::milliseconds delay{0};     // before anything is sent
  bool holdOpen = false;                  // after sending, keep the connection until the end
};

class RawHttpServer {
 public:
  using Handler = std::function<RawReply(const std::string& request)>;

  explicit RawHttpServer(Handler handler) : handler_(std::move(handler)) {
    listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
    int yes = 1;
    ::setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::listen(listener_, 16);
    socklen_t length = sizeof address;
    ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { Serve(); });
  }

  ~RawHttpServer() {
    stop_ = true;
    thread_.join();
    CloseHeldConnections();
    ::close(listener_);
  }

  int port() const { return port_; }
  std::string url(const std::string& path = "/") const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
  }

  std::vector<std::string> requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
  }

  // Closes every connection held open so far, so that a client still waiting on one sees the
  // end of it.
  void CloseHeldConnections() {
    std::lock_guard lock(mutex_);
    for (int fd : held_) ::close(fd);
    held_.clear();
  }

 private:
  bool WaitReadable(int fd) {
    while (!stop_) {
      pollfd p{fd, POLLIN, 0};
      if (::poll(&p, 1, 20) > 0) return true;
    }
    return false;
  }

  void Serve() {
    while (WaitReadable(listener_)) {
      const int fd = ::accept(listener_, nullptr, nullptr);
      if (fd < 0) continue;
      std::string request;
      char buffer[4096];
      std::size_t need = std::string::npos;
      while (request.size() < need && WaitReadable(fd)) {
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0) break;
        request.append(buffer, static_cast<std::size_t>(n));
        const auto end = request.find("\r\n\r\n");
        if (end != std::string::npos && need == std::string::npos) {
          std::size_t body = 0;
          const auto at = request.find("Content-Length: ");
          if (at != std::string::npos && at < end) body = std::stoul(request.substr(at + 16));
          need = end + 4 + body;
        }
      }
      {
        std::lock_guard lock(mutex_);
        requests_.push_back(request);
      }
      const RawReply reply = handler_(request);
      const auto until = std::chrono::steady_clock::now() + reply.delay;
      while (!stop_ && std::chrono::steady_clock::now() < until) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
      }
      ::send(fd, reply.bytes.data(), reply.bytes.size(), MSG_NOSIGNAL);
      if (reply.holdOpen) {
        std::lock_guard lock(mutex_);
        held_.push_back(fd);
      } else {
        ::shutdown(fd, SHUT_WR);
        ::close(fd);
      }
    }
  }

  Handler handler_;
  int listener_ = -1;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  std::vector<int> held_;
  mutable std::mutex mutex_;
  std::vector<std::string> requests_;
  std::thread thread_;
};

// A whole response with the given status line, extra header lines and body.
inline std::string HttpResponse(const std::string& status, const std::string& headers,
                                const std::string& body) {
  return "HTTP/1.1 " + status + "\r\n" + headers + "Content-Length: " +
         std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
}

}  // namespace ornivel::test
