#pragma once
// A program the test runs as a child process, on either platform: its arguments, its standard
// input given, its standard output and error collected whole, its exit code; ended when it runs
// past its time limit (child_process_posix.cpp | child_process_win32.cpp).

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

namespace ornivel::test {

struct ChildRun {
  int exitCode = -1;      // -1 when it could not start or was ended at its time limit
  bool timedOut = false;  // ended at its time limit
  std::string out;        // standard output, as written
  std::string err;        // standard error, as written
  std::chrono::milliseconds elapsed{0};
};

struct ChildOptions {
  std::string input;               // written to its standard input, which is then closed
  std::chrono::seconds limit{50};  // ended after this long
  // Standard output's reading end closed before the child starts: its writes there fail, as
  // when the program it is piped into has ended.
  bool closeOut = false;
  // Standard error on a pseudo-terminal, as a person at a terminal sees it. Linux only: the
  // Windows runner starts nothing when it is asked for.
  bool errOnTerminal = false;
};

// The lines of a child's output, each without its line end ("\r\n" from a Windows console program
// too); no empty line after a final line end.
[[nodiscard]] inline std::vector<std::string> OutputLines(const std::string& text) {
  std::vector<std::string> lines;
  for (std::size_t at = 0; at < text.size();) {
    auto end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(at, end - at);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(std::move(line));
    at = end + 1;
  }
  return lines;
}

// Runs `program` with `arguments` (UTF-8) and waits for it. It inherits this process's
// environment.
[[nodiscard]] ChildRun RunChild(const std::filesystem::path& program,
                                const std::vector<std::string>& arguments,
                                const ChildOptions& options = {});

}  // namespace ornivel::test
