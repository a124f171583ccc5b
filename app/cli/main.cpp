// ornivel-dl: search, look up and download songs from the command line.
#include "app/cli/console.h"
#include "app/cli/ornivel_dl.h"

int main(int argc, char** argv) {
  const auto console = ornivel::StandardConsole();
  return ornivel::RunOrnivelDl(ornivel::ProgramArguments(argc, argv), *console);
}
