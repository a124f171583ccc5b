#pragma once
// Loopback TCP sockets for the test servers and the test proxy, over the platform's socket API:
// POSIX sockets on Linux (test_socket_posix.cpp), Winsock on Windows (test_socket_winsock.cpp),
// one backend file picked by CMake. Only 127.0.0.1 is ever bound or connected to.

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <utility>

namespace ornivel::test {

// An owned TCP socket, closed when it goes.
class TestSocket {
 public:
  TestSocket() = default;
  ~TestSocket() { Close(); }
  TestSocket(TestSocket&& other) noexcept : handle_(std::exchange(other.handle_, kNone)) {}
  TestSocket& operator=(TestSocket&& other) noexcept {
    if (this != &other) {
      Close();
      handle_ = std::exchange(other.handle_, kNone);
    }
    return *this;
  }
  TestSocket(const TestSocket&) = delete;
  TestSocket& operator=(const TestSocket&) = delete;

  // A socket listening on 127.0.0.1 at a port the system picks; empty on failure.
  [[nodiscard]] static TestSocket ListenOnLoopback();
  // A socket bound to 127.0.0.1 at a port the system picks, which never listens and lets no other
  // socket share the port; empty on failure.
  [[nodiscard]] static TestSocket BindOnLoopback();
  // A socket connected to 127.0.0.1:port; empty on failure.
  [[nodiscard]] static TestSocket ConnectToLoopback(int port);

  explicit operator bool() const;
  // The port the socket is bound to; 0 when it is bound to none.
  [[nodiscard]] int LocalPort() const;
  // Whether the socket becomes readable (data, the peer's close, or a connection to accept)
  // within `timeoutMs`.
  [[nodiscard]] bool WaitReadable(int timeoutMs) const;
  // The next connection of a listening socket; empty on failure.
  [[nodiscard]] TestSocket Accept() const;
  // Up to `size` bytes: the count received, 0 when the peer closed, -1 on failure.
  [[nodiscard]] long Receive(char* buffer, std::size_t size) const;
  // Sends every byte; false when the connection failed first.
  bool SendAll(std::string_view bytes) const;
  // Sends the end of the stream; receiving goes on.
  void ShutdownSend() const;

 private:
  explicit TestSocket(std::intptr_t handle) : handle_(handle) {}
  void Close();

  static constexpr std::intptr_t kNone = -1;
  std::intptr_t handle_ = kNone;  // a file descriptor, or a SOCKET (the same width)
};

// A loopback port that was free a moment ago (nothing holds it now, so anything may take it).
[[nodiscard]] inline int FreeLoopbackPort() {
  return TestSocket::ListenOnLoopback().LocalPort();
}

}  // namespace ornivel::test
