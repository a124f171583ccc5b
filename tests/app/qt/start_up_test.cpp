// The built program started where it cannot show its window.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

extern char** environ;

namespace {

struct ProgramRun {
  int status = -1;    // as waitpid gives it
  std::string error;  // what it wrote to standard error
  bool finished = false;
};

// Runs the program with `environment`, its standard error captured; gives up after 30 seconds.
ProgramRun RunProgram(const std::vector<std::string>& environment) {
  ProgramRun run;
  int pipeFds[2];
  if (::pipe(pipeFds) != 0) return run;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDERR_FILENO);
  posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", 0, 0);
  std::vector<char*> env;
  for (const std::string& entry : environment) env.push_back(const_cast<char*>(entry.c_str()));
  env.push_back(nullptr);
  std::string program = ORNIVEL_PROGRAM;
  char* argv[] = {program.data(), nullptr};
  pid_t child = -1;
  const int spawned = ::posix_spawn(&child, program.c_str(), &actions, nullptr, argv, env.data());
  posix_spawn_file_actions_destroy(&actions);
  ::close(pipeFds[1]);
  if (spawned != 0) {
    ::close(pipeFds[0]);
    return run;
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  char buffer[1024];
  while (std::chrono::steady_clock::now() < deadline) {
    pollfd p{pipeFds[0], POLLIN, 0};
    if (::poll(&p, 1, 100) <= 0) continue;
    const ssize_t n = ::read(pipeFds[0], buffer, sizeof buffer);
    if (n <= 0) break;  // the program has closed its end: it has ended
    run.error.append(buffer, static_cast<std::size_t>(n));
  }
  ::close(pipeFds[0]);
  if (std::chrono::steady_clock::now() >= deadline) ::kill(child, SIGKILL);
  run.finished = ::waitpid(child, &run.status, 0) == child;
  return run;
}

// This process's environment without the display variables, with `extra` added.
std::vector<std::string> EnvironmentWithoutDisplay(const std::vector<std::string>& extra) {
  std::vector<std::string> environment;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string text = *entry;
    const std::string name = text.substr(0, text.find('='));
    if (name == "DISPLAY" || name == "WAYLAND_DISPLAY" || name == "QT_QPA_PLATFORM") continue;
    environment.push_back(text);
  }
  environment.insert(environment.end(), extra.begin(), extra.end());
  return environment;
}

TEST(StartUpTest, WithoutADisplayTheProgramSaysSoInOneLineAndExitsWithMinusOne) {
  for (const std::vector<std::string>& extra :
       {std::vector<std::string>{"QT_QPA_PLATFORM=xcb"},
        std::vector<std::string>{"QT_QPA_PLATFORM=xcb", "DISPLAY=:97"}}) {
    const ProgramRun run = RunProgram(EnvironmentWithoutDisplay(extra));
    SCOPED_TRACE(extra.back());
    ASSERT_TRUE(run.finished);
    ASSERT_TRUE(WIFEXITED(run.status)) << "ended by signal " << WTERMSIG(run.status);
    EXPECT_EQ(WEXITSTATUS(run.status), 255);
    // One line, ending the output, that names the failure.
    ASSERT_FALSE(run.error.empty());
    EXPECT_EQ(run.error.find('\n'), run.error.size() - 1) << run.error;
    EXPECT_NE(run.error.find("载入启动窗口失败"), std::string::npos) << run.error;
  }
}

}  // namespace
