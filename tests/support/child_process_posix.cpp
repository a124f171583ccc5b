// Child processes on Linux: posix_spawn with three pipes, or fork onto a pseudo-terminal for
// standard error; poll() collects the output while the input is written.
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

#include "tests/support/child_process.h"

extern char** environ;

namespace ornivel::test {
namespace {

using Clock = std::chrono::steady_clock;

struct Pipe {
  int read = -1;
  int write = -1;
  bool Open() {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) return false;
    read = fds[0];
    write = fds[1];
    return true;
  }
};

void CloseFd(int& fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

// Collects `out` and `err` and writes `input` until both outputs end or the limit passes; then
// reaps the child. A pseudo-terminal's reader ends with EIO once the child has gone.
void Collect(pid_t pid, int inputFd, int outFd, int errFd, const ChildOptions& options,
             ChildRun& run, Clock::time_point start) {
  std::string_view input = options.input;
  if (input.empty()) CloseFd(inputFd);
  const auto deadline = start + options.limit;
  char buffer[65536];
  while (outFd >= 0 || errFd >= 0) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) {
      run.timedOut = true;
      ::kill(pid, SIGKILL);
      break;
    }
    pollfd fds[3];
    int count = 0;
    int* owners[3];
    for (int* fd : {&outFd, &errFd}) {
      if (*fd < 0) continue;
      fds[count] = {*fd, POLLIN, 0};
      owners[count++] = fd;
    }
    if (inputFd >= 0) {
      fds[count] = {inputFd, POLLOUT, 0};
      owners[count++] = &inputFd;
    }
    const int ready = ::poll(fds, static_cast<nfds_t>(count), static_cast<int>(left.count()));
    if (ready < 0 && errno == EINTR) continue;
    if (ready < 0) break;
    for (int i = 0; i < count; ++i) {
      if (fds[i].revents == 0) continue;
      if (owners[i] == &inputFd) {
        const ssize_t n = ::write(inputFd, input.data(), input.size());
        if (n > 0) input.remove_prefix(static_cast<std::size_t>(n));
        if (n <= 0 || input.empty()) CloseFd(inputFd);
        continue;
      }
      const ssize_t n = ::read(*owners[i], buffer, sizeof buffer);
      if (n > 0) {
        (owners[i] == &outFd ? run.out : run.err).append(buffer, static_cast<std::size_t>(n));
      } else if (n == 0 || errno != EINTR) {
        CloseFd(*owners[i]);
      }
    }
  }
  CloseFd(inputFd);
  CloseFd(outFd);
  CloseFd(errFd);
  int status = 0;
  if (::waitpid(pid, &status, 0) == pid && WIFEXITED(status) && !run.timedOut) {
    run.exitCode = WEXITSTATUS(status);
  }
  run.elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
}

}  // namespace

ChildRun RunChild(const std::filesystem::path& program, const std::vector<std::string>& arguments,
                  const ChildOptions& options) {
  ChildRun run;
  const std::string path = program.string();
  std::vector<char*> argv = {const_cast<char*>(path.c_str())};
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  // A child that ends while its input is being written must not end the test.
  ::signal(SIGPIPE, SIG_IGN);

  Pipe input;
  Pipe out;
  if (!input.Open() || !out.Open()) return run;
  const auto start = Clock::now();
  if (options.errOnTerminal) {
    int terminal = -1;
    const pid_t pid = ::forkpty(&terminal, nullptr, nullptr, nullptr);
    if (pid < 0) return run;
    if (pid == 0) {
      ::dup2(input.read, STDIN_FILENO);
      ::dup2(out.write, STDOUT_FILENO);
      ::execv(argv[0], argv.data());
      ::_exit(127);
    }
    CloseFd(input.read);
    CloseFd(out.write);
    Collect(pid, input.write, out.read, terminal, options, run, start);
    return run;
  }

  Pipe err;
  if (!err.Open()) return run;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, input.read, STDIN_FILENO);
  posix_spawn_file_actions_adddup2(&actions, out.write, STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&actions, err.write, STDERR_FILENO);
  pid_t pid = 0;
  const int spawned = ::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  CloseFd(input.read);
  CloseFd(out.write);
  CloseFd(err.write);
  if (spawned != 0) {
    CloseFd(input.write);
    CloseFd(out.read);
    CloseFd(err.read);
    return run;
  }
  if (options.closeOut) CloseFd(out.read);
  Collect(pid, input.write, out.read, err.read, options, run, start);
  return run;
}

}  // namespace ornivel::test
