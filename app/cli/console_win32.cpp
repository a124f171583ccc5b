#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

#include <algorithm>
#include <atomic>
#include <chrono>

#include "app/cli/console.h"
#include "service/song_download.h"
#include "text/code_page.h"
#include "text/text_convert.h"

namespace ornivel {
namespace {

std::atomic<int> gInterruption{0};

// Runs on a thread of its own that the system starts for the event.
BOOL WINAPI OnConsoleEvent(DWORD event) {
  switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
      // A second one ends the program as the system does.
      if (gInterruption.exchange(130) != 0) return FALSE;
      StopDownloads();
      return TRUE;
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
      // The system ends the process when this returns, and gives it about five seconds: the
      // downloads get most of them to close their partial files.
      gInterruption.store(129);
      StopDownloads();
      (void)WaitForDownloads(std::chrono::milliseconds(4000));
      return TRUE;
    default:
      return FALSE;
  }
}

// UTF-8 and the UTF-16 of the console and the command line, through the program's one
// code-page conversion.
std::wstring Wide(std::string_view utf8) {
  const std::u16string units = TextToUtf16(utf8, kCodePageUtf8);
  return std::wstring(units.begin(), units.end());
}

std::string Utf8(std::wstring_view wide) {
  return Utf16ToText(std::u16string(wide.begin(), wide.end()), kCodePageUtf8);
}

bool IsConsole(HANDLE handle) {
  DWORD mode = 0;
  return handle != nullptr && handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode) != 0;
}

bool Write(DWORD which, std::string_view utf8) {
  const HANDLE handle = GetStdHandle(which);
  if (utf8.empty()) return true;
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return false;
  if (IsConsole(handle)) {
    const std::wstring wide = Wide(utf8);
    std::size_t done = 0;
    while (done < wide.size()) {
      DWORD written = 0;
      const auto chunk = static_cast<DWORD>(std::min<std::size_t>(wide.size() - done, 8192));
      if (!WriteConsoleW(handle, wide.data() + done, chunk, &written, nullptr) || written == 0) {
        return false;
      }
      done += written;
    }
    return true;
  }
  while (!utf8.empty()) {
    DWORD written = 0;
    const auto chunk = static_cast<DWORD>(std::min<std::size_t>(utf8.size(), 1 << 20));
    if (!WriteFile(handle, utf8.data(), chunk, &written, nullptr) || written == 0) return false;
    utf8.remove_prefix(written);
  }
  return true;
}

class Win32Console final : public Console {
 public:
  bool Out(std::string_view utf8) override { return Write(STD_OUTPUT_HANDLE, utf8); }
  void Err(std::string_view utf8) override { (void)Write(STD_ERROR_HANDLE, utf8); }
  bool OutIsTerminal() override { return IsConsole(GetStdHandle(STD_OUTPUT_HANDLE)); }
  bool ErrIsTerminal() override { return IsConsole(GetStdHandle(STD_ERROR_HANDLE)); }

  std::string ReadInput() override {
    const HANDLE handle = GetStdHandle(STD_INPUT_HANDLE);
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return {};
    if (IsConsole(handle)) {
      // Typed lines until Ctrl+Z (or Ctrl+C): the console hands them over as UTF-16.
      std::wstring typed;
      wchar_t buffer[4096];
      for (;;) {
        DWORD read = 0;
        if (!ReadConsoleW(handle, buffer, 4096, &read, nullptr) || read == 0) break;
        const std::wstring_view piece(buffer, read);
        const auto end = piece.find(L'\x1A');
        typed.append(piece.substr(0, end));
        if (end != std::wstring_view::npos) break;
      }
      return Utf8(typed);
    }
    std::string input;
    char buffer[65536];
    for (;;) {
      DWORD read = 0;
      if (!ReadFile(handle, buffer, sizeof buffer, &read, nullptr) || read == 0) break;
      input.append(buffer, read);
    }
    return input;
  }
};

}  // namespace

void CatchInterruptions() {
  (void)SetConsoleCtrlHandler(&OnConsoleEvent, TRUE);
}

int InterruptionStatus() {
  return gInterruption.load();
}

std::unique_ptr<Console> StandardConsole() {
  return std::make_unique<Win32Console>();
}

std::vector<std::string> ProgramArguments(int /*argc*/, char** /*argv*/) {
  std::vector<std::string> arguments;
  int count = 0;
  wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (wide == nullptr) return arguments;
  for (int i = 1; i < count; ++i) arguments.push_back(Utf8(wide[i]));
  LocalFree(wide);
  return arguments;
}

}  // namespace ornivel
