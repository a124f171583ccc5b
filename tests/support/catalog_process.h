#pragma once
// ornivel-catalog started beside the test on a free loopback port over a music folder, and
// stopped when the object goes. The catalog is a Linux program on either platform: the Windows
// tests start it through Wine (see host_process.h). ORNIVEL_CATALOG names its Linux path.

#include <chrono>
#include <filesystem>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "tests/support/host_process.h"
#include "tests/support/song_bytes.h"
#include "tests/support/temp_dir.h"

namespace ornivel::test {

class CatalogProcess {
 public:
  explicit CatalogProcess(const std::filesystem::path& music, const std::string& publicHost = "") {
    dir_ = FreshTestFolder("catalog");
    if (dir_.empty()) return;
    const std::filesystem::path out = dir_ / "out.txt";
    const std::filesystem::path pid = dir_ / "pid.txt";
    // A shell that starts the catalog in the background, writes its pid and ends at once.
    std::vector<std::string> arguments = {
        "/bin/sh",
        "-c",
        "out=$1 log=$2 pid=$3; shift 3; \"$@\" >\"$out\" 2>\"$log\" </dev/null & echo $! >\"$pid\"",
        "catalog",
        HostPath(out),
        HostPath(dir_ / "log.txt"),
        HostPath(pid),
        ORNIVEL_CATALOG,
        "--music",
        HostPath(music),
        "--listen",
        "127.0.0.1:0"};
    if (!publicHost.empty()) {
      arguments.push_back("--public-host");
      arguments.push_back(publicHost);
    }
    if (!RunHostProgram(arguments)) return;
    // The first line names the address: "ornivel-catalog: listening on http://127.0.0.1:PORT
    // (...)".
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < deadline) {
      if (pid_ == 0) {
        const std::string text = FileText(pid);
        if (text.ends_with('\n')) pid_ = std::atoi(text.c_str());
      }
      const std::string line = FileText(out);
      const auto at = line.find("http://");
      const auto end = line.find(' ', at);
      if (pid_ != 0 && at != std::string::npos && end != std::string::npos) {
        host_ = line.substr(at + 7, end - at - 7);
        return;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }

  ~CatalogProcess() {
    TerminateHostProcess(pid_);
    std::error_code ignored;
    if (!dir_.empty()) std::filesystem::remove_all(dir_, ignored);
  }

  CatalogProcess(const CatalogProcess&) = delete;
  CatalogProcess& operator=(const CatalogProcess&) = delete;

  // "127.0.0.1:PORT", empty when the catalog did not start.
  const std::string& host() const { return host_; }
  // What it has logged so far on its standard error: one line per answered request.
  std::string log() const { return FileText(dir_ / "log.txt"); }

 private:
  std::filesystem::path dir_;
  int pid_ = 0;  // the Linux process
  std::string host_;
};

}  // namespace ornivel::test
