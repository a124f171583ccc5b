// The program's paths on Windows: everything beside the executable, whose path comes from
// GetModuleFileNameW and becomes GBK through code page 936, whatever Windows' own code page is.
#include <windows.h>

#include <string>

#include "app/program_paths.h"
#include "service/file_system.h"
#include "text/text_convert.h"

namespace ornivel {
namespace {

// The longest path the W functions take (with the "\\?\" prefix), in UTF-16 units.
constexpr DWORD kLongestPath = 32768;

// The running executable's full path; empty when it cannot be had.
std::u16string ExecutablePath() {
  std::u16string path(MAX_PATH, u'\0');
  for (;;) {
    const auto size = static_cast<DWORD>(path.size());
    const DWORD length = GetModuleFileNameW(nullptr, reinterpret_cast<wchar_t*>(path.data()), size);
    if (length == 0) return {};
    // A path that fills the buffer was cut short: try again with more room.
    if (length < size) {
      path.resize(length);
      return path;
    }
    if (size >= kLongestPath) return {};
    path.assign(size * 2, u'\0');
  }
}

}  // namespace

std::string ProgramDirectory() {
  const std::u16string executable = ExecutablePath();
  const std::size_t separator = executable.find_last_of(u"\\/");
  if (separator == std::u16string::npos) return {};
  return Utf16ToText(std::u16string_view(executable).substr(0, separator), kCodePageGbk);
}

ProgramPaths CurrentProgramPaths() {
  ProgramPaths paths;
  paths.programDirectory = ProgramDirectory();
  paths.settingsFile = JoinPath(paths.programDirectory, "yyst.ini");
  paths.defaultSaveFolder = paths.programDirectory;
  return paths;
}

}  // namespace ornivel
