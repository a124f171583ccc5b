// Test sockets over Winsock.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <climits>
#include <utility>

#include "tests/support/test_socket.h"

namespace ornivel::test {
namespace {

// Winsock is started once for the test program and left running until it exits.
bool StartWinsock() {
  static const bool started = [] {
    WSADATA data;
    return WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }();
  return started;
}

SOCKET Sock(std::intptr_t handle) {
  return static_cast<SOCKET>(handle);
}

sockaddr_in Loopback(int port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<u_short>(port));
  return address;
}

std::intptr_t NewSocket() {
  if (!StartWinsock()) return -1;
  const SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (s == INVALID_SOCKET) return -1;
  // Not inherited by the child processes a test starts.
  SetHandleInformation(reinterpret_cast<HANDLE>(s), HANDLE_FLAG_INHERIT, 0);
  return static_cast<std::intptr_t>(s);
}

}  // namespace

void TestSocket::Close() {
  if (handle_ != kNone) ::closesocket(Sock(std::exchange(handle_, kNone)));
}

TestSocket TestSocket::ListenOnLoopback() {
  TestSocket socket = BindOnLoopback();
  if (!socket || ::listen(Sock(socket.handle_), 16) != 0) return {};
  return socket;
}

TestSocket TestSocket::BindOnLoopback() {
  TestSocket socket(NewSocket());
  if (!socket) return {};
  // Exclusive: no other socket may take the port while this one holds it.
  const BOOL yes = TRUE;
  ::setsockopt(Sock(socket.handle_), SOL_SOCKET, SO_EXCLUSIVEADDRUSE,
               reinterpret_cast<const char*>(&yes), sizeof yes);
  sockaddr_in address = Loopback(0);
  if (::bind(Sock(socket.handle_), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    return {};
  }
  return socket;
}

TestSocket TestSocket::ConnectToLoopback(int port) {
  TestSocket socket(NewSocket());
  if (!socket) return {};
  sockaddr_in address = Loopback(port);
  if (::connect(Sock(socket.handle_), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    return {};
  }
  return socket;
}

TestSocket::operator bool() const {
  return handle_ != kNone;
}

int TestSocket::LocalPort() const {
  sockaddr_in address{};
  int length = sizeof address;
  if (::getsockname(Sock(handle_), reinterpret_cast<sockaddr*>(&address), &length) != 0) return 0;
  return ntohs(address.sin_port);
}

bool TestSocket::WaitReadable(int timeoutMs) const {
  WSAPOLLFD p{Sock(handle_), POLLRDNORM, 0};
  return ::WSAPoll(&p, 1, timeoutMs) > 0;
}

TestSocket TestSocket::Accept() const {
  const SOCKET s = ::accept(Sock(handle_), nullptr, nullptr);
  return TestSocket(s == INVALID_SOCKET ? kNone : static_cast<std::intptr_t>(s));
}

long TestSocket::Receive(char* buffer, std::size_t size) const {
  const int n =
      ::recv(Sock(handle_), buffer, static_cast<int>(std::min<std::size_t>(size, INT_MAX)), 0);
  return n == SOCKET_ERROR ? -1 : n;
}

bool TestSocket::SendAll(std::string_view bytes) const {
  while (!bytes.empty()) {
    const int sent = ::send(Sock(handle_), bytes.data(),
                            static_cast<int>(std::min<std::size_t>(bytes.size(), INT_MAX)), 0);
    if (sent == SOCKET_ERROR || sent <= 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(sent));
  }
  return true;
}

void TestSocket::ShutdownSend() const {
  ::shutdown(Sock(handle_), SD_SEND);
}

}  // namespace ornivel::test
