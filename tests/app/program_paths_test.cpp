#include "app/program_paths.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "service/file_system.h"
#include "tests/support/temp_dir.h"

namespace ornivel {
namespace {

namespace fs = std::filesystem;

TEST(ProgramPathsTest, AWritableProgramFolderKeepsEverythingBesideTheExecutable) {
  const ProgramPaths paths = CurrentProgramPaths();
  ASSERT_EQ(::access(paths.programDirectory.c_str(), W_OK), 0) << "the build folder is writable";
  EXPECT_EQ(paths.programDirectory, fs::read_symlink("/proc/self/exe").parent_path().string());
  EXPECT_EQ(paths.settingsFile, JoinPath(paths.programDirectory, "yyst.ini"));
  EXPECT_EQ(paths.defaultSaveFolder, paths.programDirectory);
}

// An installed copy: run as a user who cannot write the executable's folder. The paths are
// worked out in a child process that gives up root; only root can make such a user here.
TEST(ProgramPathsTest, AnInstalledCopyUsesTheUsersConfigurationAndMusicFolders) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to act as another user";
  const fs::path home = test::FreshTestFolder("program-paths-home");
  fs::create_directories(home / ".config");
  std::ofstream(home / ".config" / "user-dirs.dirs") << "XDG_MUSIC_DIR=\"$HOME/Musik\"\n";
  for (const fs::path& p : {home, home / ".config", home / ".config" / "user-dirs.dirs"}) {
    ::chown(p.c_str(), 65534, 65534);
  }
  int out[2];
  ASSERT_EQ(::pipe(out), 0);
  const pid_t child = ::fork();
  if (child == 0) {
    ::close(out[0]);
    ::setenv("HOME", home.c_str(), 1);
    ::unsetenv("XDG_CONFIG_HOME");
    if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(3);
    const ProgramPaths paths = CurrentProgramPaths();
    const std::string text = paths.settingsFile + "\n" + paths.defaultSaveFolder + "\n";
    if (::write(out[1], text.data(), text.size()) < 0) ::_exit(4);
    ::_exit(0);
  }
  ::close(out[1]);
  std::string text;
  char buffer[512];
  ssize_t n;
  while ((n = ::read(out[0], buffer, sizeof buffer)) > 0)
    text.append(buffer, static_cast<std::size_t>(n));
  ::close(out[0]);
  int status = 0;
  ::waitpid(child, &status, 0);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_EQ(text,
            (home / ".config/ornivel/yyst.ini").string() + "\n" + (home / "Musik").string() + "\n");
  EXPECT_TRUE(fs::is_directory(home / ".config/ornivel"));
  EXPECT_TRUE(fs::is_directory(home / "Musik"));
  fs::remove_all(home);
}

}  // namespace
}  // namespace ornivel
