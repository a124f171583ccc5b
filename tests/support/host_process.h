#pragma once
// Linux programs that a test starts beside itself (tinyproxy), on either platform: on Linux
// directly (host_process_posix.cpp); on Windows through Wine, which starts Linux programs as
// well as Windows ones (host_process_wine.cpp). A Windows system without Wine has none.

#include <filesystem>
#include <string>
#include <vector>

namespace ornivel::test {

// `path` as the Linux programs see it; empty when there is no such path.
[[nodiscard]] std::string HostPath(const std::filesystem::path& path);

// Starts the Linux program `arguments[0]` (an absolute path) with the rest as its arguments and
// waits until that process has ended (a daemon forks and ends at once); true when it ended
// with status 0, or, where its end cannot be seen (Wine), when it started.
[[nodiscard]] bool RunHostProgram(const std::vector<std::string>& arguments);

// Ends the Linux process `pid` with SIGTERM.
void TerminateHostProcess(int pid);

}  // namespace ornivel::test
