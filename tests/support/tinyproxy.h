#pragma once
// Debian's tinyproxy, a real HTTP proxy, started on a free loopback port for a test and stopped
// when the object goes. The Windows tests start the same Linux program through Wine.

#include <filesystem>

namespace ornivel::test {

class Tinyproxy {
 public:
  Tinyproxy();
  ~Tinyproxy();
  Tinyproxy(const Tinyproxy&) = delete;
  Tinyproxy& operator=(const Tinyproxy&) = delete;

  // Whether it runs and takes connections.
  bool started() const { return started_; }
  int port() const { return port_; }

 private:
  int port_ = 0;
  bool started_ = false;
  std::filesystem::path dir_;
};

}  // namespace ornivel::test
