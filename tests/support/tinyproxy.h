#pragma once
// Debian's tinyproxy, a real HTTP proxy, listening on a loopback port for a test and stopped
// when the object goes. The port is picked before tinyproxy binds it, so another program may
// take it in between: tinyproxy then cannot listen and exits, and it is started again on another
// port. It is a Linux program on either platform: the Windows tests start it through Wine.

#include <filesystem>

namespace ornivel::test {

class Tinyproxy {
 public:
  Tinyproxy();
  ~Tinyproxy();
  Tinyproxy(const Tinyproxy&) = delete;
  Tinyproxy& operator=(const Tinyproxy&) = delete;

  // Whether it runs and accepts connections.
  bool started() const { return port_ != 0; }
  int port() const { return port_; }

 private:
  void Start(int port);
  void Stop();

  std::filesystem::path dir_;
  int pid_ = 0;  // the Linux process
  int port_ = 0;
};

}  // namespace ornivel::test
