// ornivel-catalog: a small music service over a local folder of MP3 files, answering the
// requests of the program (search, file-location lookup, /resource/ downloads).
//
//   ornivel-catalog --music DIR [--listen 127.0.0.1:8089] [--public-host HOST:PORT]
//
// It binds loopback unless told otherwise and logs one line per request on standard error.
// "--listen HOST:0" picks a free port; the first line on standard output names the address.
#include <csignal>
#include <iostream>
#include <string>

#include "catalog/catalog_server.h"
#include "catalog/library.h"

namespace {

using ornivel::catalog::Library;

int Usage(const std::string& problem) {
  if (!problem.empty()) std::cerr << "ornivel-catalog: " << problem << "\n";
  std::cerr
      << "usage: ornivel-catalog --music DIR [--listen HOST:PORT] [--public-host HOST:PORT]\n";
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::string music, listen = "127.0.0.1:8089", publicHost;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if ((arg == "--music" || arg == "--listen" || arg == "--public-host") && i + 1 < argc) {
      (arg == "--music" ? music : arg == "--listen" ? listen : publicHost) = argv[++i];
    } else if (arg == "--help" || arg == "-h") {
      Usage("");
      return 0;
    } else {
      return Usage("unexpected argument " + arg);
    }
  }
  if (music.empty()) return Usage("--music DIR is required");
  const auto colon = listen.rfind(':');
  if (colon == std::string::npos) return Usage("--listen wants HOST:PORT");
  const std::string host = listen.substr(0, colon);
  int port = 0;
  try {
    port = std::stoi(listen.substr(colon + 1));
  } catch (...) {
    return Usage("bad port in --listen");
  }
  if (port < 0 || port > 65535) return Usage("bad port in --listen");

  // A client that goes away while a song is being sent must not end the process; the signals
  // that end it are taken by this thread alone, so the service stops cleanly.
  std::signal(SIGPIPE, SIG_IGN);
  sigset_t ending;
  sigemptyset(&ending);
  sigaddset(&ending, SIGINT);
  sigaddset(&ending, SIGTERM);
  sigaddset(&ending, SIGHUP);
  pthread_sigmask(SIG_BLOCK, &ending, nullptr);

  ornivel::catalog::InstallLatin1FieldReader();
  const Library library = Library::Scan(music);
  ornivel::catalog::CatalogServer server(library, music, publicHost);
  std::string problem;
  if (!server.Start(host, port, problem)) {
    std::cerr << "ornivel-catalog: cannot listen on " << listen << ": " << problem << "\n";
    return 1;
  }
  std::cout << "ornivel-catalog: listening on http://" << host << ":" << server.port() << " ("
            << library.songs().size() << " songs from " << music << ")" << std::endl;
  int signal = 0;
  sigwait(&ending, &signal);
  return 0;
}
