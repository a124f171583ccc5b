#pragma once
// The command line's seam to the platform: the program's arguments and its standard streams.
// Texts cross this seam as UTF-8 both ways; each backend converts for its platform
// (console_posix.cpp | console_win32.cpp).

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace ornivel {

class Console {
 public:
  virtual ~Console() = default;
  // Writes to standard output; false when it could not all be written (the reader has gone).
  [[nodiscard]] virtual bool Out(std::string_view utf8) = 0;
  // Writes to standard error; what cannot be written there is lost.
  virtual void Err(std::string_view utf8) = 0;
  // Whether standard output / standard error is a terminal (a person watches it): texts from
  // the service are shown there without control characters, and progress is drawn on it.
  [[nodiscard]] virtual bool OutIsTerminal() = 0;
  [[nodiscard]] virtual bool ErrIsTerminal() = 0;
  // All of standard input, as UTF-8.
  [[nodiscard]] virtual std::string ReadInput() = 0;
};

// The process's own standard streams. On Windows a console gets UTF-16 through the console's
// own calls, so Chinese reads right whatever its code page; a file or pipe gets UTF-8. On Linux
// a standard stream that was closed when the program started is opened on /dev/null, so no file
// the program opens can take its place, and a reader that goes away ends no more than the
// writes to it (no SIGPIPE).
[[nodiscard]] std::unique_ptr<Console> StandardConsole();

// From now on an interruption (SIGINT, SIGTERM or SIGHUP; on Windows Ctrl+C, Ctrl+Break or the
// console's closing) stops the downloads (service/song_download.h's StopDownloads) so that each
// keeps its partial file, instead of ending the program at once; a second one ends it at once.
void CatchInterruptions();

// The exit status an interruption asks for: 128 and the signal's number (130 for SIGINT and
// Ctrl+C, 143 for SIGTERM, 129 for SIGHUP and the console's closing); 0 when none came.
[[nodiscard]] int InterruptionStatus();

// The program's arguments after its name, as UTF-8. On Windows they are read from the process's
// UTF-16 command line, so no character is lost to the system code page.
[[nodiscard]] std::vector<std::string> ProgramArguments(int argc, char** argv);

}  // namespace ornivel
