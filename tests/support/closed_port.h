#pragma once
// A loopback port where nothing listens, for as long as the object lives. The port is held by a
// TCP socket that is bound but never listens: a connection to it is refused at once, and no
// other program can take the port meanwhile (the socket does not allow reuse), unlike a port
// that was free a moment ago.

#include <string>

#include "tests/support/test_socket.h"

namespace ornivel::test {

class ClosedPort {
 public:
  ClosedPort() : socket_(TestSocket::BindOnLoopback()), port_(socket_.LocalPort()) {}

  // 0 when no port could be held.
  int port() const { return port_; }
  // "127.0.0.1:PORT"
  std::string host() const { return "127.0.0.1:" + std::to_string(port_); }

 private:
  TestSocket socket_;
  int port_ = 0;
};

}  // namespace ornivel::test
