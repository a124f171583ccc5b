#include "tests/support/tinyproxy.h"

#include <chrono>
#include <fstream>
#include <string>
#include <thread>

#include "tests/support/host_process.h"
#include "tests/support/test_socket.h"

namespace ornivel::test {
namespace {

constexpr auto kStartDeadline = std::chrono::seconds(10);

}  // namespace

Tinyproxy::Tinyproxy() {
  port_ = FreeLoopbackPort();
  dir_ = std::filesystem::temp_directory_path() / ("ornivel-proxy-" + std::to_string(port_));
  std::error_code error;
  std::filesystem::create_directories(dir_, error);
  const std::string pidFile = HostPath(dir_ / "pid");
  const std::string config = HostPath(dir_ / "tinyproxy.conf");
  if (error || pidFile.empty() || config.empty()) return;
  // Binary: the file is for a Linux program, whose lines end in LF alone on either platform.
  std::ofstream(dir_ / "tinyproxy.conf", std::ios::binary)
      << "Port " << port_ << "\nListen 127.0.0.1\nTimeout 30\nMaxClients 4\nAllow 127.0.0.1\n"
      << "LogLevel Critical\nPidFile \"" << pidFile << "\"\n";
  if (!RunHostProgram({"/usr/bin/tinyproxy", "-c", config})) return;
  // Started once its pid file is written and it takes connections.
  const auto deadline = std::chrono::steady_clock::now() + kStartDeadline;
  while (std::chrono::steady_clock::now() < deadline) {
    if (std::filesystem::exists(dir_ / "pid") && TestSocket::ConnectToLoopback(port_)) {
      started_ = true;
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

Tinyproxy::~Tinyproxy() {
  std::ifstream pid(dir_ / "pid");
  int value = 0;
  if (pid >> value) TerminateHostProcess(value);
  pid.close();
  std::error_code ignored;
  std::filesystem::remove_all(dir_, ignored);
}

}  // namespace ornivel::test
