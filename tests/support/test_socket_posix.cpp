// Test sockets over POSIX sockets.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <utility>

#include "tests/support/test_socket.h"

namespace ornivel::test {
namespace {

int Fd(std::intptr_t handle) {
  return static_cast<int>(handle);
}

sockaddr_in Loopback(int port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  return address;
}

}  // namespace

void TestSocket::Close() {
  if (handle_ != kNone) ::close(Fd(std::exchange(handle_, kNone)));
}

TestSocket TestSocket::ListenOnLoopback() {
  TestSocket socket(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (!socket) return {};
  const int yes = 1;
  ::setsockopt(Fd(socket.handle_), SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  sockaddr_in address = Loopback(0);
  if (::bind(Fd(socket.handle_), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(Fd(socket.handle_), 16) != 0) {
    return {};
  }
  return socket;
}

TestSocket TestSocket::BindOnLoopback() {
  TestSocket socket(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (!socket) return {};
  sockaddr_in address = Loopback(0);
  if (::bind(Fd(socket.handle_), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    return {};
  }
  return socket;
}

TestSocket TestSocket::ConnectToLoopback(int port) {
  TestSocket socket(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (!socket) return {};
  sockaddr_in address = Loopback(port);
  if (::connect(Fd(socket.handle_), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    return {};
  }
  return socket;
}

TestSocket::operator bool() const {
  return handle_ >= 0;
}

int TestSocket::LocalPort() const {
  sockaddr_in address{};
  socklen_t length = sizeof address;
  if (::getsockname(Fd(handle_), reinterpret_cast<sockaddr*>(&address), &length) != 0) return 0;
  return ntohs(address.sin_port);
}

bool TestSocket::WaitReadable(int timeoutMs) const {
  pollfd p{Fd(handle_), POLLIN, 0};
  return ::poll(&p, 1, timeoutMs) > 0;
}

TestSocket TestSocket::Accept() const {
  return TestSocket(::accept4(Fd(handle_), nullptr, nullptr, SOCK_CLOEXEC));
}

long TestSocket::Receive(char* buffer, std::size_t size) const {
  return static_cast<long>(::recv(Fd(handle_), buffer, size, 0));
}

bool TestSocket::SendAll(std::string_view bytes) const {
  while (!bytes.empty()) {
    const ssize_t sent = ::send(Fd(handle_), bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (sent <= 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(sent));
  }
  return true;
}

void TestSocket::ShutdownSend() const {
  ::shutdown(Fd(handle_), SHUT_WR);
}

}  // namespace ornivel::test
