#pragma once
// What every raw test server here builds on: a free loopback port, an accepting thread, a thread
// for each connection it accepts, one stop flag they all watch, and the record of the requests
// the server read. The same on every platform: the sockets are test_socket.h's.
//
// A server holds one as its last member, so that the threads stop and are joined before any
// other member of the server goes, and start only once every other member is made. It is never
// copied or moved (its threads hold its address), and so neither is a server that holds it.

#include <atomic>
#include <chrono>
#include <functional>
#include <list>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "tests/support/test_socket.h"

namespace ornivel::test {

class LoopbackConnections {
 public:
  using Serve = std::function<void(TestSocket connection)>;

  // Listens at once; `serve` runs for each connection, on a thread of its own.
  explicit LoopbackConnections(Serve serve)
      : serve_(std::move(serve)), listener_(TestSocket::ListenOnLoopback()) {
    port_ = listener_.LocalPort();
    thread_ = std::thread([this] {
      while (WaitReadable(listener_)) {
        TestSocket connection = listener_.Accept();
        if (!connection) continue;
        connections_.emplace_back([this](TestSocket socket) { serve_(std::move(socket)); },
                                  std::move(connection));
      }
    });
  }
  // Stops, and waits for the accepting thread and every connection's.
  ~LoopbackConnections() {
    stop_ = true;
    thread_.join();
    for (std::thread& connection : connections_) connection.join();
  }
  LoopbackConnections(const LoopbackConnections&) = delete;
  LoopbackConnections& operator=(const LoopbackConnections&) = delete;

  int port() const { return port_; }
  std::string url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
  }
  bool stopping() const { return stop_; }

  // Waits until `socket` can be read; false when the server stops first.
  bool WaitReadable(const TestSocket& socket) const {
    while (!stop_) {
      if (socket.WaitReadable(20)) return true;
    }
    return false;
  }

  // Waits `duration`, or less when the server stops; false then.
  bool Pause(std::chrono::milliseconds duration) const {
    const auto until = std::chrono::steady_clock::now() + duration;
    while (!stop_ && std::chrono::steady_clock::now() < until) {
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return !stop_;
  }

  // Keeps `request` in the record.
  void Record(std::string request) {
    const std::lock_guard lock(mutex_);
    requests_.push_back(std::move(request));
  }

  // Every request recorded so far, in the order they arrived.
  std::vector<std::string> requests() const {
    const std::lock_guard lock(mutex_);
    return requests_;
  }

 private:
  Serve serve_;
  TestSocket listener_;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  std::list<std::thread> connections_;  // only the accepting thread adds to it
  mutable std::mutex mutex_;            // guards requests_
  std::vector<std::string> requests_;
  std::thread thread_;
};

}  // namespace ornivel::test
