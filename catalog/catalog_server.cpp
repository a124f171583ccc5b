#include "catalog/catalog_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <microhttpd.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <charconv>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <thread>
#include <unordered_set>

#include "catalog/catalog_replies.h"
#include "catalog/file_beneath.h"

namespace ornivel::catalog {
namespace {

using Clock = std::chrono::steady_clock;

// Descriptors kept for refusing connections past the cap (each is closed as soon as accepted).
constexpr unsigned kRefusalRoom = 64;

std::int64_t Now() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now().time_since_epoch())
      .count();
}

// One client connection, from its accept to its close. The watchdog reads the clock fields
// while a pool thread changes them.
struct Connection {
  int fd = -1;
  sockaddr_storage peer{};
  socklen_t peerLength = 0;
  std::atomic<std::int64_t> waitingSince{0};  // for a request head, since this many ms
  std::atomic<bool> inHead{true};             // no complete head yet since waitingSince
  bool cut = false;                           // the watchdog has shut it down
};

// One request, from its request line to the end of its answer.
struct Request {
  std::string target;  // as the client sent it, undecoded
  std::string remote;
  std::string method = "-";
  unsigned status = 0;
  bool headSeen = false;
  Connection* connection = nullptr;
};

std::string AddressText(const sockaddr* address) {
  char text[INET6_ADDRSTRLEN] = "-";
  if (address == nullptr) return text;
  if (address->sa_family == AF_INET) {
    ::inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(address)->sin_addr, text,
                sizeof text);
  } else if (address->sa_family == AF_INET6) {
    ::inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6*>(address)->sin6_addr, text,
                sizeof text);
  }
  return text;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The path of a request target, percent-decoded byte for byte (a "%00" stays a NUL byte, which
// names no song); the query is not part of it.
std::string DecodedPath(std::string_view target) {
  target = target.substr(0, target.find('?'));
  std::string out;
  out.reserve(target.size());
  for (std::size_t i = 0; i < target.size(); ++i) {
    if (target[i] == '%' && i + 2 < target.size() && HexValue(target[i + 1]) >= 0 &&
        HexValue(target[i + 2]) >= 0) {
      out.push_back(static_cast<char>(HexValue(target[i + 1]) * 16 + HexValue(target[i + 2])));
      i += 2;
    } else {
      out.push_back(target[i]);
    }
  }
  return out;
}

// A query argument as text ("" when missing); MHD has decoded it.
std::string Argument(MHD_Connection* connection, const char* name) {
  const char* value = nullptr;
  std::size_t length = 0;
  if (MHD_lookup_connection_value_n(connection, MHD_GET_ARGUMENT_KIND, name, std::strlen(name),
                                    &value, &length) != MHD_YES ||
      value == nullptr) {
    return "";
  }
  return std::string(value, length);
}

// The leading decimal number of an argument, or `fallback` where it has none.
int IntArgument(MHD_Connection* connection, const char* name, int fallback) {
  const std::string text = Argument(connection, name);
  int value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  return error == std::errc() && end != text.data() ? value : fallback;
}

}  // namespace

struct CatalogServer::State {
  const Library& library;
  std::string musicFolderPath;
  FileDescriptor musicFolder;
  std::string publicHost;
  ServerLimits limits;
  int port = 0;
  FileDescriptor listener;
  MHD_Daemon* daemon = nullptr;

  std::atomic<unsigned> open{0};  // connections held now
  std::mutex mutex;               // guards connections and stopping
  std::unordered_set<Connection*> connections;
  bool stopping = false;
  std::condition_variable wake;
  std::thread watchdog;

  State(const Library& l, std::string folder, std::string host, ServerLimits ls)
      : library(l), musicFolderPath(std::move(folder)), publicHost(std::move(host)), limits(ls) {}

  // Closes every connection whose request head is overdue; the pool thread that holds it sees
  // the end of its stream and lets it go.
  void Watch() {
    std::unique_lock lock(mutex);
    while (!stopping) {
      wake.wait_for(lock, std::chrono::milliseconds(100));
      const std::int64_t now = Now();
      for (Connection* c : connections) {
        if (c->cut || !c->inHead.load() ||
            now - c->waitingSince.load() < limits.headDeadline.count()) {
          continue;
        }
        // The descriptor is still this connection's: the close notice, which takes the same
        // lock, comes before the library closes it. The peer is compared all the same.
        sockaddr_storage peer{};
        socklen_t length = sizeof peer;
        if (::getpeername(c->fd, reinterpret_cast<sockaddr*>(&peer), &length) == 0 &&
            length == c->peerLength && std::memcmp(&peer, &c->peer, length) == 0) {
          ::shutdown(c->fd, SHUT_RDWR);
        }
        c->cut = true;
      }
    }
  }

  MHD_Response* Text(const std::string& body, const char* type) {
    MHD_Response* response = MHD_create_response_from_buffer(
        body.size(), const_cast<char*>(body.data()), MHD_RESPMEM_MUST_COPY);
    if (response != nullptr) MHD_add_response_header(response, "Content-Type", type);
    return response;
  }

  // The answer to a request whose head is complete, and its status.
  MHD_Response* Answer(MHD_Connection* connection, const Request& request, std::string_view url,
                       std::string_view method, unsigned& status) {
    if (method != "GET" && method != "HEAD") {
      status = MHD_HTTP_METHOD_NOT_ALLOWED;
      MHD_Response* response = Text("only GET and HEAD\n", "text/plain");
      if (response != nullptr) MHD_add_response_header(response, "Allow", "GET, HEAD");
      return response;
    }
    status = MHD_HTTP_OK;
    if (url == "/webmusic/getsjplayinfo") {
      return Text(
          SearchReply(library, Argument(connection, "key"), IntArgument(connection, "pn", 1),
                      IntArgument(connection, "pr", kMaxPageSize)),
          "text/plain; charset=utf-8");
    }
    if (url == "/webmusic/st/getNewMuiseByRid") {
      return Text(LookupReply(library, Argument(connection, "rid"), publicHost), "text/xml");
    }
    constexpr std::string_view kResource = "/resource/";
    const std::string path = DecodedPath(request.target);
    if (path.starts_with(kResource)) {
      if (MHD_Response* response = Song(connection, path.substr(kResource.size()), status)) {
        return response;
      }
    }
    status = MHD_HTTP_NOT_FOUND;
    return Text("not found\n", "text/plain");
  }

  // A song file, opened beneath the music folder now, whole or the part a Range asks for.
  MHD_Response* Song(MHD_Connection* connection, std::string_view path, unsigned& status) {
    const catalog::Song* song = ResolveResource(library, path);
    if (song == nullptr) return nullptr;
    OpenedFile file = OpenBeneath(musicFolder.get(), song->relativePath);
    if (!file.fd) return nullptr;
    const std::string etag = SongEntityTag(file.size, file.modified);
    const std::string modified = HttpDate(file.modified);
    const char* header =
        MHD_lookup_connection_value(connection, MHD_HEADER_KIND, MHD_HTTP_HEADER_RANGE);
    const char* ifRange =
        MHD_lookup_connection_value(connection, MHD_HEADER_KIND, MHD_HTTP_HEADER_IF_RANGE);
    // A Range on a copy that has changed since (If-Range names another one) gets the whole file.
    const bool sameCopy = ifRange == nullptr || etag == ifRange || modified == ifRange;
    const ByteRange range = ParseByteRange(header == nullptr || !sameCopy ? "" : header, file.size);
    if (range.kind == ByteRange::Kind::kUnsatisfiable) {
      status = MHD_HTTP_RANGE_NOT_SATISFIABLE;
      MHD_Response* response = Text("", "text/plain");
      const std::string contentRange = "bytes */" + std::to_string(file.size);
      if (response != nullptr) {
        MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_RANGE, contentRange.c_str());
      }
      return response;
    }
    const bool part = range.kind == ByteRange::Kind::kPart;
    const std::uint64_t first = part ? range.first : 0;
    const std::uint64_t length = part ? range.length : file.size;
    // The response owns the descriptor from here, and closes it when it is done.
    MHD_Response* response = MHD_create_response_from_fd_at_offset64(length, file.fd.get(), first);
    if (response == nullptr) return nullptr;
    (void)file.fd.Release();
    MHD_add_response_header(response, "Content-Type", "audio/mpeg");
    MHD_add_response_header(response, MHD_HTTP_HEADER_ACCEPT_RANGES, "bytes");
    MHD_add_response_header(response, MHD_HTTP_HEADER_ETAG, etag.c_str());
    MHD_add_response_header(response, MHD_HTTP_HEADER_LAST_MODIFIED, modified.c_str());
    if (part) {
      status = MHD_HTTP_PARTIAL_CONTENT;
      const std::string contentRange = "bytes " + std::to_string(first) + "-" +
                                       std::to_string(first + length - 1) + "/" +
                                       std::to_string(file.size);
      MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_RANGE, contentRange.c_str());
    }
    return response;
  }
};

namespace {

using State = CatalogServer::State;

void* BeginRequest(void* cls, const char* uri, MHD_Connection* connection) {
  auto* request = new Request;
  request->target = uri == nullptr ? "" : uri;
  const MHD_ConnectionInfo* info =
      MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CLIENT_ADDRESS);
  request->remote = AddressText(info == nullptr ? nullptr : info->client_addr);
  const MHD_ConnectionInfo* context =
      MHD_get_connection_info(connection, MHD_CONNECTION_INFO_SOCKET_CONTEXT);
  if (context != nullptr) request->connection = static_cast<Connection*>(context->socket_context);
  (void)cls;
  return request;
}

MHD_Result HandleRequest(void* cls, MHD_Connection* connection, const char* url, const char* method,
                         const char* /*version*/, const char* /*upload*/, std::size_t* uploadSize,
                         void** requestContext) {
  auto* state = static_cast<State*>(cls);
  auto* request = static_cast<Request*>(*requestContext);
  if (request == nullptr) return MHD_NO;
  if (request->connection != nullptr) request->connection->inHead = false;
  // The first call only says the head is complete; a body, if any, comes in the calls after it
  // and is dropped. The answer is queued once the request is whole: queued earlier, the library
  // could not tell where the next request on the connection begins, and would close it.
  if (!request->headSeen || *uploadSize != 0) {
    request->headSeen = true;
    *uploadSize = 0;
    return MHD_YES;
  }
  if (request->status != 0) return MHD_YES;
  request->method = method == nullptr ? "-" : method;
  unsigned status = MHD_HTTP_INTERNAL_SERVER_ERROR;
  MHD_Response* response =
      state->Answer(connection, *request, url == nullptr ? "" : url, request->method, status);
  if (response == nullptr) return MHD_NO;
  request->status = status;
  const MHD_Result queued = MHD_queue_response(connection, status, response);
  MHD_destroy_response(response);
  return queued;
}

void EndRequest(void* /*cls*/, MHD_Connection* /*connection*/, void** requestContext,
                MHD_RequestTerminationCode /*why*/) {
  auto* request = static_cast<Request*>(*requestContext);
  if (request == nullptr) return;
  // One line per request, once it has been answered (or given up), nothing raw of the client's.
  const std::string status = request->status == 0 ? "-" : std::to_string(request->status);
  std::fprintf(stderr, "%s %s %s %s\n", request->remote.c_str(),
               EscapeForLog(request->method).c_str(), EscapeForLog(request->target).c_str(),
               status.c_str());
  if (request->connection != nullptr) {
    request->connection->waitingSince = Now();
    request->connection->inHead = true;
  }
  delete request;
  *requestContext = nullptr;
}

void ConnectionChanged(void* cls, MHD_Connection* connection, void** socketContext,
                       MHD_ConnectionNotificationCode code) {
  auto* state = static_cast<State*>(cls);
  if (code == MHD_CONNECTION_NOTIFY_STARTED) {
    ++state->open;
    auto* c = new Connection;
    const MHD_ConnectionInfo* fd =
        MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CONNECTION_FD);
    c->fd = fd == nullptr ? -1 : fd->connect_fd;
    c->peerLength = sizeof c->peer;
    if (c->fd < 0 ||
        ::getpeername(c->fd, reinterpret_cast<sockaddr*>(&c->peer), &c->peerLength) != 0) {
      c->peerLength = 0;
    }
    c->waitingSince = Now();
    *socketContext = c;
    const std::lock_guard lock(state->mutex);
    state->connections.insert(c);
  } else if (code == MHD_CONNECTION_NOTIFY_CLOSED) {
    auto* c = static_cast<Connection*>(*socketContext);
    if (c == nullptr) return;
    {
      const std::lock_guard lock(state->mutex);
      state->connections.erase(c);
    }
    --state->open;
    delete c;
    *socketContext = nullptr;
  }
}

// A connection past the cap in all is accepted and closed at once, so its client learns at
// once; the library's own limit, set above the cap, would leave it waiting in the backlog.
MHD_Result AcceptOrRefuse(void* cls, const sockaddr* /*address*/, socklen_t /*length*/) {
  const auto* state = static_cast<State*>(cls);
  return state->open.load() < state->limits.connections ? MHD_YES : MHD_NO;
}

// The listening socket on host:port, bound and listening, not blocking.
FileDescriptor Listen(const std::string& host, int port, std::string& problem) {
  std::string name = host;
  if (name.size() > 2 && name.front() == '[' && name.back() == ']') {
    name = name.substr(1, name.size() - 2);
  }
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
  addrinfo* found = nullptr;
  const std::string service = std::to_string(port);
  if (const int error =
          ::getaddrinfo(name.empty() ? nullptr : name.c_str(), service.c_str(), &hints, &found);
      error != 0) {
    problem = ::gai_strerror(error);
    return {};
  }
  FileDescriptor listener;
  for (const addrinfo* a = found; a != nullptr && !listener; a = a->ai_next) {
    FileDescriptor fd(
        ::socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, a->ai_protocol));
    const int on = 1;
    if (!fd || ::setsockopt(fd.get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0 ||
        ::bind(fd.get(), a->ai_addr, a->ai_addrlen) != 0 || ::listen(fd.get(), SOMAXCONN) != 0) {
      problem = std::strerror(errno);
      continue;
    }
    listener = std::move(fd);
  }
  ::freeaddrinfo(found);
  return listener;
}

// Lets the process open as many files as it may, and lowers the caps to what that allows (a
// few dozen descriptors stay for the log, the folder and the songs being sent).
void FitToTheFileLimit(ServerLimits& limits) {
  rlimit files{};
  if (::getrlimit(RLIMIT_NOFILE, &files) != 0) return;
  files.rlim_cur = files.rlim_max;
  ::setrlimit(RLIMIT_NOFILE, &files);
  ::getrlimit(RLIMIT_NOFILE, &files);
  if (files.rlim_cur == RLIM_INFINITY) return;
  const rlim_t room = files.rlim_cur > 256 ? (files.rlim_cur - 64 - kRefusalRoom) / 2 : 32;
  // Each connection being sent a song holds its socket and the song's file.
  limits.connections = static_cast<unsigned>(std::min<rlim_t>(limits.connections, room));
  limits.connectionsPerAddress = std::min(limits.connectionsPerAddress, limits.connections);
}

}  // namespace

CatalogServer::CatalogServer(const Library& library, std::string musicFolder,
                             std::string publicHost, ServerLimits limits)
    : state_(std::make_unique<State>(library, std::move(musicFolder), std::move(publicHost),
                                     limits)) {}

CatalogServer::~CatalogServer() {
  if (state_->daemon != nullptr) MHD_stop_daemon(state_->daemon);
  {
    const std::lock_guard lock(state_->mutex);
    state_->stopping = true;
  }
  state_->wake.notify_all();
  if (state_->watchdog.joinable()) state_->watchdog.join();
}

bool CatalogServer::Start(const std::string& host, int port, std::string& problem) {
  State& s = *state_;
  s.musicFolder = OpenFolder(s.musicFolderPath.c_str());
  if (!s.musicFolder) {
    problem = "cannot open the music folder " + s.musicFolderPath;
    return false;
  }
  s.listener = Listen(host, port, problem);
  if (!s.listener) return false;
  sockaddr_storage bound{};
  socklen_t length = sizeof bound;
  ::getsockname(s.listener.get(), reinterpret_cast<sockaddr*>(&bound), &length);
  s.port = ntohs(bound.ss_family == AF_INET6 ? reinterpret_cast<sockaddr_in6*>(&bound)->sin6_port
                                             : reinterpret_cast<sockaddr_in*>(&bound)->sin_port);
  if (s.publicHost.empty()) s.publicHost = host + ":" + std::to_string(s.port);
  FitToTheFileLimit(s.limits);

  s.watchdog = std::thread([&s] { s.Watch(); });
  s.daemon = MHD_start_daemon(
      MHD_USE_INTERNAL_POLLING_THREAD | MHD_USE_EPOLL, 0, AcceptOrRefuse, &s, HandleRequest, &s,
      MHD_OPTION_LISTEN_SOCKET, s.listener.get(), MHD_OPTION_THREAD_POOL_SIZE,
      static_cast<unsigned>(s.limits.threads), MHD_OPTION_CONNECTION_LIMIT,
      static_cast<unsigned>(s.limits.connections + kRefusalRoom),
      MHD_OPTION_PER_IP_CONNECTION_LIMIT, static_cast<unsigned>(s.limits.connectionsPerAddress),
      MHD_OPTION_CONNECTION_TIMEOUT, static_cast<unsigned>(s.limits.stalledAnswerSeconds),
      MHD_OPTION_URI_LOG_CALLBACK, BeginRequest, &s, MHD_OPTION_NOTIFY_COMPLETED, EndRequest, &s,
      MHD_OPTION_NOTIFY_CONNECTION, ConnectionChanged, &s, MHD_OPTION_END);
  if (s.daemon == nullptr) {
    problem = "the HTTP service could not start";
    return false;
  }
  (void)s.listener.Release();  // the daemon's from now on
  return true;
}

int CatalogServer::port() const {
  return state_->port;
}

const ServerLimits& CatalogServer::limits() const {
  return state_->limits;
}

}  // namespace ornivel::catalog
