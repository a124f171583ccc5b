// Child processes on Windows: CreateProcessW with three pipes; a thread of its own reads each
// output while the input is written.
#include <windows.h>

#include <thread>

#include "tests/support/child_process.h"
#include "text/code_page.h"
#include "text/text_convert.h"

namespace ornivel::test {
namespace {

using Clock = std::chrono::steady_clock;

std::wstring Wide(std::string_view utf8) {
  const std::u16string units = TextToUtf16(utf8, kCodePageUtf8);
  return std::wstring(units.begin(), units.end());
}

// One argument quoted as the command-line parser of the C runtime and CommandLineToArgvW read it
// back: backslashes are literal except before a quote.
std::wstring Quoted(const std::wstring& argument) {
  std::wstring out = L"\"";
  std::size_t backslashes = 0;
  for (const wchar_t c : argument) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    out.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
    backslashes = 0;
    out += c;
  }
  out.append(backslashes * 2, L'\\');
  return out + L"\"";
}

class Handle {
 public:
  Handle() = default;
  explicit Handle(HANDLE handle) : handle_(handle) {}
  ~Handle() { Close(); }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  HANDLE* out() { return &handle_; }
  HANDLE get() const { return handle_; }
  void Close() {
    if (handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
    handle_ = nullptr;
  }

 private:
  HANDLE handle_ = nullptr;
};

// A pipe whose `inherited` end the child gets.
bool OpenPipe(Handle& read, Handle& write, bool childReads) {
  SECURITY_ATTRIBUTES security{sizeof security, nullptr, TRUE};
  if (!CreatePipe(read.out(), write.out(), &security, 0)) return false;
  // The parent's end stays with the parent.
  return SetHandleInformation(childReads ? write.get() : read.get(), HANDLE_FLAG_INHERIT, 0) != 0;
}

void ReadAll(HANDLE handle, std::string& into) {
  if (handle == nullptr) return;
  char buffer[65536];
  DWORD read = 0;
  while (ReadFile(handle, buffer, sizeof buffer, &read, nullptr) && read > 0)
    into.append(buffer, read);
}

}  // namespace

ChildRun RunChild(const std::filesystem::path& program, const std::vector<std::string>& arguments,
                  const ChildOptions& options) {
  ChildRun run;
  if (options.errOnTerminal) return run;
  Handle inRead, inWrite, outRead, outWrite, errRead, errWrite;
  if (!OpenPipe(inRead, inWrite, true) || !OpenPipe(outRead, outWrite, false) ||
      !OpenPipe(errRead, errWrite, false)) {
    return run;
  }
  std::wstring commandLine = Quoted(program.wstring());
  for (const std::string& argument : arguments) commandLine += L" " + Quoted(Wide(argument));
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = inRead.get();
  startup.hStdOutput = outWrite.get();
  startup.hStdError = errWrite.get();
  PROCESS_INFORMATION process{};
  const auto start = Clock::now();
  if (!CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW,
                      nullptr, nullptr, &startup, &process)) {
    return run;
  }
  Handle processHandle(process.hProcess);
  CloseHandle(process.hThread);
  inRead.Close();
  outWrite.Close();
  errWrite.Close();
  if (options.closeOut) outRead.Close();

  std::thread outReader([&] { ReadAll(outRead.get(), run.out); });
  std::thread errReader([&] { ReadAll(errRead.get(), run.err); });
  std::string_view input = options.input;
  while (!input.empty()) {
    DWORD written = 0;
    const auto chunk = static_cast<DWORD>(std::min<std::size_t>(input.size(), 65536));
    if (!WriteFile(inWrite.get(), input.data(), chunk, &written, nullptr) || written == 0) break;
    input.remove_prefix(written);
  }
  inWrite.Close();
  const auto limit = std::chrono::duration_cast<std::chrono::milliseconds>(options.limit);
  if (WaitForSingleObject(processHandle.get(), static_cast<DWORD>(limit.count())) !=
      WAIT_OBJECT_0) {
    run.timedOut = true;
    TerminateProcess(processHandle.get(), 1);
    WaitForSingleObject(processHandle.get(), INFINITE);
  }
  outReader.join();
  errReader.join();
  DWORD code = 0;
  if (!run.timedOut && GetExitCodeProcess(processHandle.get(), &code)) {
    run.exitCode = static_cast<int>(code);
  }
  run.elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
  return run;
}

}  // namespace ornivel::test
