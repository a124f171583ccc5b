// Writes the program paths of the running copy of this program into the file its argument
// names: the folder, the settings file and the default save folder, each a GBK line. The program
// paths test copies it into folders of its choice and reads what it found.
#include <cstdio>

#include "app/program_paths.h"

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  const ornivel::ProgramPaths paths = ornivel::CurrentProgramPaths();
  const std::string text =
      paths.programDirectory + "\n" + paths.settingsFile + "\n" + paths.defaultSaveFolder + "\n";
  std::FILE* out = std::fopen(argv[1], "wb");
  if (out == nullptr) return 3;
  const bool written = std::fwrite(text.data(), 1, text.size(), out) == text.size();
  return std::fclose(out) == 0 && written ? 0 : 4;
}
