#include <unistd.h>

#include <cerrno>

#include "app/cli/console.h"

namespace ornivel {
namespace {

void WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;  // a closed pipe or a full disk: nothing more can be said there
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
}

class PosixConsole final : public Console {
 public:
  void Out(std::string_view utf8) override { WriteAll(STDOUT_FILENO, utf8); }
  void Err(std::string_view utf8) override { WriteAll(STDERR_FILENO, utf8); }
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
  return std::make_unique<PosixConsole>();
}

std::vector<std::string> ProgramArguments(int argc, char** argv) {
  return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
}

}  // namespace ornivel
