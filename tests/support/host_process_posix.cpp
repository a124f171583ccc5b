// Linux programs started directly.
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include "tests/support/host_process.h"

extern char** environ;

namespace ornivel::test {

std::string HostPath(const std::filesystem::path& path) {
  return path.string();
}

bool RunHostProgram(const std::vector<std::string>& arguments) {
  if (arguments.empty()) return false;
  std::vector<char*> argv;
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  pid_t pid = 0;
  if (posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) return false;
  int status = 0;
  if (waitpid(pid, &status, 0) != pid) return false;
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

void TerminateHostProcess(int pid) {
  if (pid > 0) ::kill(pid, SIGTERM);
}

}  // namespace ornivel::test
