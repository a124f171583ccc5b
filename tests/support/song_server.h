#pragma once
// Test servers for song files, the same on every platform (test_socket.h's sockets): SongServer
// sends a body piece by piece, with a length, chunked or ended by the close, slowly or falling
// silent; FtpGreeter greets every connection like a busy FTP server, for redirects to another
// scheme.

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "tests/support/loopback_connections.h"
#include "tests/support/song_bytes.h"
#include "tests/support/test_socket.h"

namespace ornivel::test {

// How a SongServer answers one request.
struct SongReply {
  std::string head;  // the status line and the header lines, with the empty line
  std::string body;
  std::vector<std::size_t> pieces;     // sizes adding up to at most the body; none: all at once
  std::chrono::milliseconds pause{0};  // before each piece after the first: a slow server
  bool chunked = false;                // each piece one chunk, then the last chunk
  bool lastChunk = true;               // false: the connection ends without the last chunk
  bool silentAfter = false;            // then nothing more, the connection held open to the end
};

// A loopback server that sends a body piece by piece, each connection on its own thread. It
// reads one request per connection, records it, and answers as its handler says.
class SongServer {
 public:
  using Handler = std::function<SongReply(const std::string& request)>;

  explicit SongServer(Handler handler) : handler_(std::move(handler)) {}

  std::string url(const std::string& path) const { return connections_.url(path); }
  std::vector<std::string> requests() const { return connections_.requests(); }

 private:
  bool Pause(std::chrono::milliseconds duration) { return connections_.Pause(duration); }

  void Answer(TestSocket connection) {
    std::string request;
    char buffer[4096];
    while (request.find("\r\n\r\n") == std::string::npos) {
      if (!connections_.WaitReadable(connection)) return;
      const long n = connection.Receive(buffer, sizeof buffer);
      if (n <= 0) return;
      request.append(buffer, static_cast<std::size_t>(n));
    }
    connections_.Record(request);
    const SongReply reply = handler_(request);
    if (!connection.SendAll(reply.head)) return;
    std::vector<std::size_t> pieces = reply.pieces;
    if (pieces.empty() && !reply.body.empty()) pieces.push_back(reply.body.size());
    std::size_t offset = 0;
    for (std::size_t i = 0; i < pieces.size(); ++i) {
      if (i > 0 && !Pause(reply.pause)) return;
      const std::string piece = reply.body.substr(offset, pieces[i]);
      offset += pieces[i];
      const bool sent = reply.chunked ? connection.SendAll(ChunkSize(piece.size()) + piece + "\r\n")
                                      : connection.SendAll(piece);
      if (!sent) return;  // the client went away
    }
    if (reply.chunked && reply.lastChunk && !connection.SendAll("0\r\n\r\n")) return;
    if (reply.silentAfter) {
      while (Pause(std::chrono::milliseconds(20))) {
      }
    }
    connection.ShutdownSend();
    // Lets the client see the end before the socket goes.
    while (!connections_.stopping() && connection.WaitReadable(20) &&
           connection.Receive(buffer, sizeof buffer) > 0) {
    }
  }

  static std::string ChunkSize(std::size_t size) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string digits;
    do {
      digits.insert(digits.begin(), kHex[size % 16]);
      size /= 16;
    } while (size > 0);
    return digits + "\r\n";
  }

  Handler handler_;
  // Last: its threads start once the handler is there, and stop before it goes.
  LoopbackConnections connections_{[this](TestSocket socket) { Answer(std::move(socket)); }};
};

// The whole of `song` in uneven pieces, announced with its length or chunked, spread over
// `spread` (a pause before each piece after the first): a song-sized file from a slow server.
inline SongReply UnevenSong(const std::string& song, bool chunked,
                            std::chrono::milliseconds spread = std::chrono::milliseconds(0)) {
  SongReply reply;
  reply.head = chunked ? "HTTP/1.1 200 OK\r\nContent-Type: audio/mpeg\r\n"
                         "Transfer-Encoding: chunked\r\n\r\n"
                       : "HTTP/1.1 200 OK\r\nContent-Type: audio/mpeg\r\nContent-Length: " +
                             std::to_string(song.size()) + "\r\n\r\n";
  reply.body = song;
  reply.pieces = UnevenPieces(song.size(), 7);
  reply.chunked = chunked;
  if (reply.pieces.size() > 1) reply.pause = spread / static_cast<int>(reply.pieces.size() - 1);
  return reply;
}

// A loopback port that greets every connection like a busy FTP server and counts them.
class FtpGreeter {
 public:
  FtpGreeter() = default;

  int port() const { return connections_.port(); }
  int connections() const { return greeted_; }

 private:
  std::atomic<int> greeted_{0};
  LoopbackConnections connections_{[this](TestSocket connection) {
    ++greeted_;
    connection.SendAll("421 Service not available, closing control connection.\r\n");
    connection.ShutdownSend();
  }};
};

}  // namespace ornivel::test
