#pragma once
// ornivel-catalog started as a child process on a free loopback port over a music folder, and
// stopped when the object goes.

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>

namespace ornivel::test {

class CatalogProcess {
 public:
  explicit CatalogProcess(const std::filesystem::path& music, const std::string& publicHost = "") {
    int out[2];
    if (::pipe(out) != 0) return;
    pid_ = ::fork();
    if (pid_ == 0) {
      ::dup2(out[1], STDOUT_FILENO);
      ::close(out[0]);
      ::close(out[1]);
      const int devnull = ::open("/dev/null", O_WRONLY);
      ::dup2(devnull, STDERR_FILENO);
      if (publicHost.empty()) {
        ::execl(ORNIVEL_CATALOG, ORNIVEL_CATALOG, "--music", music.c_str(), "--listen",
                "127.0.0.1:0", static_cast<char*>(nullptr));
      } else {
        ::execl(ORNIVEL_CATALOG, ORNIVEL_CATALOG, "--music", music.c_str(), "--listen",
                "127.0.0.1:0", "--public-host", publicHost.c_str(), static_cast<char*>(nullptr));
      }
      ::_exit(127);
    }
    ::close(out[1]);
    // The first line names the address: "ornivel-catalog: listening on http://127.0.0.1:PORT (...)".
    std::string line;
    char c;
    while (::read(out[0], &c, 1) == 1 && c != '\n') line.push_back(c);
    ::close(out[0]);
    const auto at = line.find("http://");
    if (at == std::string::npos) return;
    const auto end = line.find(' ', at);
    host_ = line.substr(at + 7, end - at - 7);
  }

  ~CatalogProcess() {
    if (pid_ > 0) {
      ::kill(pid_, SIGTERM);
      ::waitpid(pid_, nullptr, 0);
    }
  }

  CatalogProcess(const CatalogProcess&) = delete;
  CatalogProcess& operator=(const CatalogProcess&) = delete;

  // "127.0.0.1:PORT", empty when the catalog did not start.
  const std::string& host() const { return host_; }

 private:
  pid_t pid_ = -1;
  std::string host_;
};

}  // namespace ornivel::test
