// Linux programs started from a Windows test program under Wine: Wine's CreateProcess starts a
// Linux executable given by its Linux path, and wine_get_unix_file_name (a kernel32 export only
// Wine has) tells a Windows path's Linux one. Wine gives no handle to wait on for such a process.
#include <windows.h>

#include "tests/support/host_process.h"

namespace ornivel::test {
namespace {

// Wine's own export: a Linux path for a Windows one, allocated on the process heap.
using WineUnixFileName = char*(CDECL*)(const wchar_t* dosName);

WineUnixFileName UnixFileNameFunction() {
  const HMODULE kernel32 = GetModuleHandleW(L"kernel32.dll");
  if (kernel32 == nullptr) return nullptr;
  return reinterpret_cast<WineUnixFileName>(
      reinterpret_cast<void (*)()>(GetProcAddress(kernel32, "wine_get_unix_file_name")));
}

// One argument quoted as the command-line parser reads it back.
std::wstring Quoted(const std::string& argument) {
  std::wstring out = L"\"";
  for (const char c : argument) {
    if (c == '"') out += L'\\';
    out += static_cast<wchar_t>(static_cast<unsigned char>(c));
  }
  return out + L"\"";
}

}  // namespace

std::string HostPath(const std::filesystem::path& path) {
  const WineUnixFileName unixFileName = UnixFileNameFunction();
  if (unixFileName == nullptr) return {};
  char* name = unixFileName(path.wstring().c_str());
  if (name == nullptr) return {};
  std::string out(name);
  HeapFree(GetProcessHeap(), 0, name);
  return out;
}

bool RunHostProgram(const std::vector<std::string>& arguments) {
  if (arguments.empty() || UnixFileNameFunction() == nullptr) return false;
  std::wstring commandLine;
  for (const std::string& argument : arguments) {
    if (!commandLine.empty()) commandLine += L' ';
    commandLine += Quoted(argument);
  }
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &process)) {
    return false;
  }
  // Nothing to close: for a Linux program Wine's CreateProcess succeeds without filling in either
  // handle, and what the structure holds then is whatever was left on Wine's stack. Closing those
  // values closed live handles of this process (a pooled helper's event among them, which then
  // woke the helper without work).
  return true;
}

void TerminateHostProcess(int pid) {
  if (pid > 0) (void)RunHostProgram({"/bin/kill", "-TERM", std::to_string(pid)});
}

}  // namespace ornivel::test
