#pragma once
// Where the program keeps its one setting, and where songs go by default. GBK texts.

#include <string>

namespace ornivel {

struct ProgramPaths {
  std::string programDirectory;   // the running executable's folder, no trailing separator
  std::string settingsFile;       // the settings file, yyst.ini
  std::string defaultSaveFolder;  // the save folder when none is set
};

// The executable's folder, computed on each call.
[[nodiscard]] std::string ProgramDirectory();

// A copy run from a folder the user can write keeps yyst.ini beside the executable and saves
// into that folder by default. On Linux, an installed copy whose folder the user cannot write
// keeps yyst.ini in $XDG_CONFIG_HOME/ornivel/ and saves into the user's music folder; so does a
// copy installed under /usr, whoever runs it. On Windows both are always beside the executable.
[[nodiscard]] ProgramPaths CurrentProgramPaths();

}  // namespace ornivel
