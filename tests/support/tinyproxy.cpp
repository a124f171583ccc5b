#include "tests/support/tinyproxy.h"

#include <chrono>
#include <fstream>
#include <string>
#include <thread>

#include "tests/support/host_process.h"
#include "tests/support/song_bytes.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_socket.h"

namespace ornivel::test {
namespace {

// Runs tinyproxy in the foreground under a shell that ends at once: the shell's background job
// writes tinyproxy's pid, logs what tinyproxy prints, and marks its exit in a file of its own.
constexpr const char* kLauncher =
    "(/usr/bin/tinyproxy -d -c \"$1\" >\"$2\" 2>&1 & echo $! >\"$3\"; wait $!; echo exit >\"$4\")"
    " </dev/null >/dev/null 2>&1 &";

}  // namespace

Tinyproxy::Tinyproxy() {
  dir_ = FreshTestFolder("tinyproxy");
  if (dir_.empty()) return;
  for (int attempt = 0; attempt < 5 && port_ == 0; ++attempt) Start(FreeLoopbackPort());
}

Tinyproxy::~Tinyproxy() {
  Stop();
  std::error_code ignored;
  std::filesystem::remove_all(dir_, ignored);
}

// Starts tinyproxy on `port` and waits until it accepts connections, or until it has exited
// (the port was taken).
void Tinyproxy::Start(int port) {
  const std::string name = std::to_string(port);
  const std::filesystem::path config = dir_ / ("tinyproxy-" + name + ".conf");
  const std::filesystem::path log = dir_ / ("tinyproxy-" + name + ".log");
  const std::filesystem::path pid = dir_ / ("tinyproxy-" + name + ".pid");
  const std::filesystem::path exited = dir_ / ("tinyproxy-" + name + ".exit");
  // Binary: the file is for a Linux program, whose lines end in LF alone on either platform.
  std::ofstream(config, std::ios::binary)
      << "Port " << port << "\nListen 127.0.0.1\nTimeout 30\nMaxClients 4\n"
      << "Allow 127.0.0.1\nLogLevel Info\n";
  if (!RunHostProgram({"/bin/sh", "-c", kLauncher, "tinyproxy", HostPath(config), HostPath(log),
                       HostPath(pid), HostPath(exited)})) {
    return;
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (std::chrono::steady_clock::now() < deadline) {
    if (pid_ == 0) pid_ = std::atoi(FileText(pid).c_str());
    if (std::filesystem::exists(exited)) {
      pid_ = 0;
      return;
    }
    if (pid_ != 0 && FileText(log).find("Accepting connections") != std::string::npos) {
      port_ = port;
      return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  Stop();
}

void Tinyproxy::Stop() {
  if (pid_ == 0) return;
  TerminateHostProcess(pid_);
  pid_ = 0;
}

}  // namespace ornivel::test
