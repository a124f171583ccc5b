#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>

#include <atomic>

#include "app/cli/console.h"
#include "service/song_download.h"

namespace ornivel {
namespace {

std::atomic<int> gInterruption{0};

void OnInterruption(int signal) {
  gInterruption.store(signal);
  StopDownloads();
}

bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;  // a closed pipe or a full disk: nothing more can be said there
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

class PosixConsole final : public Console {
 public:
  bool Out(std::string_view utf8) override { return WriteAll(STDOUT_FILENO, utf8); }
  void Err(std::string_view utf8) override { (void)WriteAll(STDERR_FILENO, utf8); }
  bool OutIsTerminal() override { return ::isatty(STDOUT_FILENO) == 1; }
  bool ErrIsTerminal() override { return ::isatty(STDERR_FILENO) == 1; }
  std::string ReadInput() override {
    std::string input;
    char buffer[65536];
    for (;;) {
      const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      input.append(buffer, static_cast<std::size_t>(n));
    }
    return input;
  }
};

}  // namespace

std::unique_ptr<Console> StandardConsole() {
  for (const int fd : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) {
    if (::fcntl(fd, F_GETFD) == -1 && errno == EBADF) {
      const int null = ::open("/dev/null", fd == STDIN_FILENO ? O_RDONLY : O_WRONLY);
      if (null >= 0 && null != fd) {
        ::dup2(null, fd);
        ::close(null);
      }
    }
  }
  ::signal(SIGPIPE, SIG_IGN);
  return std::make_unique<PosixConsole>();
}

void CatchInterruptions() {
  struct sigaction action = {};
  action.sa_handler = &OnInterruption;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESETHAND;  // a second one ends the program as the system does
  for (const int signal : {SIGINT, SIGTERM, SIGHUP}) ::sigaction(signal, &action, nullptr);
}

int InterruptionStatus() {
  const int signal = gInterruption.load();
  return signal == 0 ? 0 : 128 + signal;
}

std::vector<std::string> ProgramArguments(int argc, char** argv) {
  return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
}

}  // namespace ornivel
