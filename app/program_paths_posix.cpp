#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "app/program_paths.h"
#include "service/file_system.h"
#include "text/text_convert.h"

namespace ornivel {
namespace {

namespace fs = std::filesystem;

std::string Home() {
  const char* home = std::getenv("HOME");
  return home != nullptr ? home : "/";
}

// $XDG_MUSIC_DIR from the user's user-dirs.dirs, else ~/Music.
std::string MusicFolder(const std::string& configHome) {
  std::ifstream dirs(configHome + "/user-dirs.dirs");
  std::string line;
  while (std::getline(dirs, line)) {
    if (line.rfind("XDG_MUSIC_DIR=", 0) != 0) continue;
    std::string value = line.substr(14);
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
      value = value.substr(1, value.size() - 2);
    }
    if (value.rfind("$HOME", 0) == 0) value = Home() + value.substr(5);
    if (!value.empty()) return value;
  }
  return Home() + "/Music";
}

}  // namespace

std::string ProgramDirectory() {
  std::error_code error;
  const fs::path exe = fs::read_symlink("/proc/self/exe", error);
  if (error) return Utf8ToGbk(fs::current_path(error).string());
  return Utf8ToGbk(exe.parent_path().string());
}

ProgramPaths CurrentProgramPaths() {
  ProgramPaths paths;
  paths.programDirectory = ProgramDirectory();
  // A copy installed into the system's folders is an installed copy for root too, who could
  // write there: nothing of a user's belongs beside a packaged program.
  const bool systemFolder = paths.programDirectory.rfind("/usr/", 0) == 0;
  if (!systemFolder && ::access(GbkToUtf8(paths.programDirectory).c_str(), W_OK) == 0) {
    paths.settingsFile = JoinPath(paths.programDirectory, "yyst.ini");
    paths.defaultSaveFolder = paths.programDirectory;
    return paths;
  }
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  const std::string configHome = (xdg != nullptr && *xdg == '/') ? xdg : Home() + "/.config";
  std::error_code error;
  fs::create_directories(configHome + "/ornivel", error);
  paths.settingsFile = Utf8ToGbk(configHome + "/ornivel/yyst.ini");
  const std::string music = MusicFolder(configHome);
  fs::create_directories(music, error);
  paths.defaultSaveFolder = Utf8ToGbk(music);
  return paths;
}

}  // namespace ornivel
