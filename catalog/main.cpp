// ornivel-catalog: a small music service over a local folder of MP3 files, answering the
// requests of the program (search, file-location lookup, /resource/ downloads).
//
//   ornivel-catalog --music DIR [--listen 127.0.0.1:8089] [--public-host HOST:PORT]
//
// It binds loopback unless told otherwise and logs one line per request on standard error.
// "--listen HOST:0" picks a free port; the first line on standard output names the address.
#include <fcntl.h>
#include <httplib.h>
#include <unistd.h>

#include <cstdio>
#include <iostream>
#include <memory>
#include <string>

#include "catalog/catalog_replies.h"
#include "catalog/library.h"

namespace {

using ornivel::catalog::Library;

constexpr std::size_t kChunk = 256 * 1024;

int Usage(const std::string& problem) {
  if (!problem.empty()) std::cerr << "ornivel-catalog: " << problem << "\n";
  std::cerr
      << "usage: ornivel-catalog --music DIR [--listen HOST:PORT] [--public-host HOST:PORT]\n";
  return 2;
}

int QueryInt(const httplib::Request& req, const char* name, int fallback) {
  if (!req.has_param(name)) return fallback;
  try {
    return std::stoi(req.get_param_value(name));
  } catch (...) {
    return fallback;
  }
}

// An open file shared by the pieces of one response.
struct Fd {
  explicit Fd(const char* path) : fd(::open(path, O_RDONLY | O_CLOEXEC)) {}
  ~Fd() {
    if (fd >= 0) ::close(fd);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int fd;
};

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

  ornivel::catalog::InstallLatin1FieldReader();
  const Library library = Library::Scan(music);

  httplib::Server server;
  if (port == 0) {
    port = server.bind_to_any_port(host);
  } else if (!server.bind_to_port(host, port)) {
    port = -1;
  }
  if (port <= 0) {
    std::cerr << "ornivel-catalog: cannot listen on " << listen << "\n";
    return 1;
  }
  if (publicHost.empty()) publicHost = host + ":" + std::to_string(port);

  server.Get("/webmusic/getsjplayinfo", [&](const httplib::Request& req, httplib::Response& res) {
    res.set_content(
        ornivel::catalog::SearchReply(library, req.get_param_value("key"), QueryInt(req, "pn", 1),
                                      QueryInt(req, "pr", ornivel::catalog::kMaxPageSize)),
        "text/plain; charset=utf-8");
  });
  server.Get("/webmusic/st/getNewMuiseByRid", [&](const httplib::Request& req,
                                                  httplib::Response& res) {
    res.set_content(ornivel::catalog::LookupReply(library, req.get_param_value("rid"), publicHost),
                    "text/xml");
  });
  server.Get(R"(/resource/(.+))", [&](const httplib::Request& req, httplib::Response& res) {
    const auto* song = ornivel::catalog::ResolveResource(library, req.matches[1].str());
    if (song == nullptr) {
      res.status = 404;
      res.set_content("not found\n", "text/plain");
      return;
    }
    auto fd = std::make_shared<Fd>(song->file.c_str());
    const off_t size = fd->fd < 0 ? -1 : ::lseek(fd->fd, 0, SEEK_END);
    if (size < 0) {
      res.status = 404;
      res.set_content("not found\n", "text/plain");
      return;
    }
    res.set_content_provider(static_cast<std::size_t>(size), "audio/mpeg",
                             [fd](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
                               std::string buffer(std::min(length, kChunk), '\0');
                               const ssize_t n = ::pread(fd->fd, buffer.data(), buffer.size(),
                                                         static_cast<off_t>(offset));
                               if (n <= 0) return false;
                               return sink.write(buffer.data(), static_cast<std::size_t>(n));
                             });
  });
  server.set_logger([](const httplib::Request& req, const httplib::Response& res) {
    std::fprintf(stderr, "%s %s %s %d\n", req.remote_addr.c_str(), req.method.c_str(),
                 req.target.c_str(), res.status);
  });

  std::cout << "ornivel-catalog: listening on http://" << host << ":" << port << " ("
            << library.songs().size() << " songs from " << music << ")" << std::endl;
  return server.listen_after_bind() ? 0 : 1;
}
