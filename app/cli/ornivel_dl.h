#pragma once
// ornivel-dl: the song search, the address lookup and the download of the window, from the
// command line, over the same service code.

#include <string>
#include <vector>

#include "app/cli/console.h"

namespace ornivel {

// Runs one command line (the arguments after the program's name, UTF-8) against `console`; the
// exit status: 0 when everything asked for was done, 1 when a song or the service failed, 2 on
// a usage error.
[[nodiscard]] int RunOrnivelDl(const std::vector<std::string>& arguments, Console& console);

}  // namespace ornivel
