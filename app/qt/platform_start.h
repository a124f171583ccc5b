#pragma once
// Qt ends the process with abort() (exit code 134) when its window-system plugin cannot start,
// for instance when there is no display to connect to. While a PlatformStartGuard is held, that
// failure ends the program the way a failed start-up does instead: one line on standard error,
// exit code -1. Qt's other messages of that time are held back and passed on by Release(), so a
// start that succeeds prints what it always did.

namespace ornivel {

class PlatformStartGuard {
 public:
  PlatformStartGuard();
  PlatformStartGuard(const PlatformStartGuard&) = delete;
  PlatformStartGuard& operator=(const PlatformStartGuard&) = delete;
  ~PlatformStartGuard() { Release(); }

  // Qt's messages go where they went before; the held ones first. Call once the application
  // object exists.
  void Release();

 private:
  bool held_ = true;
};

}  // namespace ornivel
