#pragma once
// A cpp-httplib server on a free loopback port, running on its own thread (and answering
// several connections at once, unlike RawHttpServer).

#include <httplib.h>

#include <chrono>
#include <stdexcept>
#include <string>
#include <thread>

#include "tests/support/wait.h"

namespace ornivel::test {

class LoopbackServer {
 public:
  LoopbackServer() {
    port_ = server_.bind_to_any_port("127.0.0.1");
    thread_ = std::thread([this] { server_.listen_after_bind(); });
    if (!WaitUntil([this] { return server_.is_running(); }, std::chrono::seconds(10))) {
      server_.stop();
      thread_.join();
      throw std::runtime_error("the loopback server did not start listening on port " +
                               std::to_string(port_));
    }
  }
  ~LoopbackServer() {
    server_.stop();
    thread_.join();
  }
  LoopbackServer(const LoopbackServer&) = delete;
  LoopbackServer& operator=(const LoopbackServer&) = delete;

  httplib::Server& server() { return server_; }
  int port() const { return port_; }
  std::string host() const { return "127.0.0.1:" + std::to_string(port_); }
  std::string url(const std::string& path) const { return "http://" + host() + path; }

 private:
  httplib::Server server_;
  int port_ = 0;
  std::thread thread_;
};

}  // namespace ornivel::test
