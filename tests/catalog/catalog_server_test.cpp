#include "catalog/catalog_server.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <httplib.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "catalog/file_beneath.h"
#include "catalog/library.h"
#include "tests/catalog/music_folder.h"
#include "tests/support/catalog_process.h"
#include "tests/support/mp3_files.h"
#include "tests/support/temp_dir.h"
#include "tests/support/wait.h"

namespace ornivel::catalog {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using test::TagStyle;
using test::WriteMp3;

// A plain loopback connection to `port`; an empty descriptor when it cannot be made.
FileDescriptor Connect(int port) {
  FileDescriptor fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (!fd || ::connect(fd.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    return {};
  }
  return fd;
}

bool Send(int fd, std::string_view bytes) {
  return ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(bytes.size());
}

// Whether the server has closed `fd` (its end of stream read) within `limit`.
bool ClosedWithin(int fd, std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  char buffer[4096];
  while (std::chrono::steady_clock::now() < deadline) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 50) > 0) {
      const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
      if (n <= 0) return true;
    }
  }
  return false;
}

int PortOf(const std::string& host) {
  return std::stoi(host.substr(host.rfind(':') + 1));
}

using CatalogServerTest = MusicFolderTest;

// Files and folders swapped for links after the scan: the answer is 404, with nothing of what
// the link leads to, where the old catalog served it.
TEST_F(CatalogServerTest, NothingOutsideTheFolderIsServedAfterTheScan) {
  WriteMp3(root_ / "c - three.mp3", TagStyle::kId3v2Unicode, "three", "c", "");
  WriteMp3(root_ / "sub/deep.mp3", TagStyle::kId3v2Unicode, "deep", "d", "");
  WriteMp3(root_ / "loop.mp3", TagStyle::kId3v2Unicode, "loop", "l", "");
  WriteMp3(root_ / "kept.mp3", TagStyle::kId3v2Unicode, "kept", "k", "");
  fs::create_symlink("kept.mp3", root_ / "inner-link.mp3");
  std::ofstream(base_ / "secret.mp3") << "OUTSIDE-SECRET";
  fs::create_directories(base_ / "elsewhere");
  std::ofstream(base_ / "elsewhere/deep.mp3") << "OUTSIDE-DEEP";
  test::CatalogProcess catalog(root_);
  ASSERT_FALSE(catalog.host().empty());
  httplib::Client client("http://" + catalog.host());
  auto before = client.Get("/resource/c%20-%20three.mp3");
  ASSERT_TRUE(before);
  ASSERT_EQ(before->status, 200);

  fs::remove(root_ / "c - three.mp3");
  fs::create_symlink(base_ / "secret.mp3", root_ / "c - three.mp3");
  fs::remove_all(root_ / "sub");
  fs::create_symlink(base_ / "elsewhere", root_ / "sub");
  fs::remove(root_ / "loop.mp3");
  fs::create_symlink("loop.mp3", root_ / "loop.mp3");
  for (const char* path :
       {"/resource/c%20-%20three.mp3", "/resource/sub/deep.mp3", "/resource/loop.mp3"}) {
    auto answer = client.Get(path);
    ASSERT_TRUE(answer) << path;
    EXPECT_EQ(answer->status, 404) << path;
    EXPECT_EQ(answer->body.find("OUTSIDE"), std::string::npos) << path;
  }
  // A link that stays inside the folder is served, as the scan indexed it.
  auto inner = client.Get("/resource/inner-link.mp3");
  ASSERT_TRUE(inner);
  EXPECT_EQ(inner->status, 200);
  EXPECT_EQ(inner->body, FileBytes(root_ / "kept.mp3"));
}

TEST_F(CatalogServerTest, RangesPastTheEndAre416AndHeadHasNoBody) {
  WriteMp3(root_ / "one.mp3", TagStyle::kId3v2Unicode, "one", "o", "", 20);
  const std::string bytes = FileBytes(root_ / "one.mp3");
  ASSERT_GT(bytes.size(), 2000u);
  const std::string length = std::to_string(bytes.size());
  test::CatalogProcess catalog(root_);
  ASSERT_FALSE(catalog.host().empty());
  httplib::Client client("http://" + catalog.host());

  for (const std::string& range : {std::string("bytes=999999999-"), "bytes=" + length + "-"}) {
    auto past = client.Get("/resource/one.mp3", {{"Range", range}});
    ASSERT_TRUE(past) << range;
    EXPECT_EQ(past->status, 416) << range;
    EXPECT_EQ(past->get_header_value("Content-Range"), "bytes */" + length) << range;
    EXPECT_TRUE(past->body.empty()) << range;
  }
  // The rest from a byte in the middle, as a resumed download asks for it.
  auto rest = client.Get("/resource/one.mp3", {{"Range", "bytes=1000-"}});
  ASSERT_TRUE(rest);
  EXPECT_EQ(rest->status, 206);
  EXPECT_EQ(rest->get_header_value("Content-Range"),
            "bytes 1000-" + std::to_string(bytes.size() - 1) + "/" + length);
  EXPECT_EQ(rest->body, bytes.substr(1000));

  auto head = client.Head("/resource/one.mp3");
  ASSERT_TRUE(head);
  EXPECT_EQ(head->status, 200);
  EXPECT_EQ(head->get_header_value("Content-Length"), length);
  EXPECT_TRUE(head->body.empty());
  auto post = client.Post("/webmusic/getsjplayinfo", "key=x", "application/x-www-form-urlencoded");
  ASSERT_TRUE(post);
  EXPECT_EQ(post->status, 405);
}

// 200 idle connections and 16 that send their head a byte at a time, held open: a search is
// still answered at once (the old server, a pool of 8 threads, made it wait a minute).
TEST_F(CatalogServerTest, IdleAndTricklingConnectionsStarveNoSearch) {
  for (int i = 0; i < 50; ++i) {
    WriteMp3(root_ / ("song" + std::to_string(i) + ".mp3"), TagStyle::kId3v2Unicode,
             "Moon " + std::to_string(i), "Band", "");
  }
  test::CatalogProcess catalog(root_);
  ASSERT_FALSE(catalog.host().empty());
  const int port = PortOf(catalog.host());
  std::vector<FileDescriptor> idle, trickling;
  for (int i = 0; i < 200; ++i) {
    idle.push_back(Connect(port));
    ASSERT_TRUE(idle.back()) << i;
  }
  for (int i = 0; i < 16; ++i) {
    trickling.push_back(Connect(port));
    ASSERT_TRUE(trickling.back()) << i;
  }
  const std::string head = "GET /webmusic/getsjplayinfo?key=moon HTTP/1.1\r\nHost: x\r\n";
  httplib::Client client("http://" + catalog.host());
  client.set_read_timeout(30, 0);
  for (std::size_t round = 0; round < 6; ++round) {
    for (auto& fd : trickling) Send(fd.get(), head.substr(round, 1));
    const auto began = std::chrono::steady_clock::now();
    auto search = client.Get("/webmusic/getsjplayinfo?key=moon");
    const auto took = std::chrono::steady_clock::now() - began;
    ASSERT_TRUE(search) << round;
    EXPECT_EQ(search->status, 200);
    EXPECT_NE(search->body.find("'TOTAL':'50'"), std::string::npos);
    EXPECT_LT(took, 1s) << "round " << round;
  }
}

// With a short head deadline: a connection that trickles its head, or stays idle after an
// answer, is closed once the deadline has passed; one that sends its head in time is answered.
TEST_F(CatalogServerTest, AHeadThatComesTooSlowlyClosesItsConnection) {
  WriteMp3(root_ / "one.mp3", TagStyle::kId3v2Unicode, "one", "o", "");
  const Library library = Library::Scan(root_);
  ServerLimits limits;
  limits.headDeadline = 400ms;
  CatalogServer server(library, root_.string(), "", limits);
  std::string problem;
  ASSERT_TRUE(server.Start("127.0.0.1", 0, problem)) << problem;

  const FileDescriptor slow = Connect(server.port());
  const FileDescriptor idle = Connect(server.port());
  ASSERT_TRUE(slow);
  ASSERT_TRUE(idle);
  const std::string head = "GET /webmusic/getsjplayinfo?key=one HTTP/1.1\r\nHost: x\r\n\r\n";
  ASSERT_TRUE(Send(idle.get(), head));
  const auto began = std::chrono::steady_clock::now();
  bool closed = false;
  for (std::size_t i = 0; i < head.size() && !closed; ++i) {
    Send(slow.get(), head.substr(i, 1));
    closed = ClosedWithin(slow.get(), 100ms);
  }
  EXPECT_TRUE(closed) << "the trickled head was never cut off";
  EXPECT_LT(std::chrono::steady_clock::now() - began, 3s);
  // The kept-alive connection was answered, then closed after the deadline's idle time.
  EXPECT_TRUE(ClosedWithin(idle.get(), 3s));

  httplib::Client client("http://127.0.0.1:" + std::to_string(server.port()));
  auto search = client.Get("/webmusic/getsjplayinfo?key=one");
  ASSERT_TRUE(search);
  EXPECT_EQ(search->status, 200);
}

// Requests sent one after another on one connection, the later ones before the first is
// answered, are all answered on it, in order, and the connection stays open.
TEST_F(CatalogServerTest, PipelinedRequestsOnAKeptAliveConnectionAreAllAnswered) {
  WriteMp3(root_ / "one.mp3", TagStyle::kId3v2Unicode, "one", "o", "", 20);
  const Library library = Library::Scan(root_);
  CatalogServer server(library, root_.string(), "");
  std::string problem;
  ASSERT_TRUE(server.Start("127.0.0.1", 0, problem)) << problem;
  const FileDescriptor fd = Connect(server.port());
  ASSERT_TRUE(fd);
  std::string requests;
  for (const char* target : {"/webmusic/getsjplayinfo?key=one", "/resource/one.mp3",
                             "/resource/missing.mp3", "/webmusic/getsjplayinfo?key=two"}) {
    requests += std::string("GET ") + target + " HTTP/1.1\r\nHost: x\r\n\r\n";
  }
  requests += "HEAD /resource/one.mp3 HTTP/1.1\r\nHost: x\r\n\r\n";
  ASSERT_TRUE(Send(fd.get(), requests));
  const std::size_t songSize = FileBytes(root_ / "one.mp3").size();
  std::string answers;
  const auto deadline = std::chrono::steady_clock::now() + 10s;
  char buffer[65536];
  auto count = [&](std::string_view text) {
    std::size_t n = 0;
    for (auto at = answers.find(text); at != std::string::npos; at = answers.find(text, at + 1))
      ++n;
    return n;
  };
  while (count("HTTP/1.1 ") < 5 && std::chrono::steady_clock::now() < deadline) {
    pollfd p{fd.get(), POLLIN, 0};
    if (::poll(&p, 1, 100) <= 0) continue;
    const ssize_t n = ::recv(fd.get(), buffer, sizeof buffer, 0);
    if (n <= 0) break;
    answers.append(buffer, static_cast<std::size_t>(n));
  }
  EXPECT_EQ(count("HTTP/1.1 200"), 4u);
  EXPECT_EQ(count("HTTP/1.1 404"), 1u);
  EXPECT_EQ(count("Content-Length: " + std::to_string(songSize) + "\r\n"), 2u);
  EXPECT_EQ(answers.find("Connection: close"), std::string::npos);
  EXPECT_LT(answers.find("'TOTAL':'1'"), answers.find("'TOTAL':'0'"));
  EXPECT_FALSE(ClosedWithin(fd.get(), 200ms)) << "the kept-alive connection was closed";
}

// Past the cap in all, a connection is refused at once (closed as it is accepted), not left
// waiting in the backlog until the others go.
TEST_F(CatalogServerTest, AConnectionPastTheCapIsRefusedAtOnce) {
  WriteMp3(root_ / "one.mp3", TagStyle::kId3v2Unicode, "one", "o", "");
  const Library library = Library::Scan(root_);
  ServerLimits limits;
  limits.connections = 8;
  limits.connectionsPerAddress = 8;
  CatalogServer server(library, root_.string(), "", limits);
  std::string problem;
  ASSERT_TRUE(server.Start("127.0.0.1", 0, problem)) << problem;
  std::vector<FileDescriptor> held;
  for (int i = 0; i < 8; ++i) held.push_back(Connect(server.port()));
  const FileDescriptor extra = Connect(server.port());
  ASSERT_TRUE(extra);
  Send(extra.get(), "GET /webmusic/getsjplayinfo?key=one HTTP/1.1\r\nHost: x\r\n\r\n");
  EXPECT_TRUE(ClosedWithin(extra.get(), 2s));
  held.clear();
  httplib::Client client("http://127.0.0.1:" + std::to_string(server.port()));
  ASSERT_TRUE(test::WaitUntil(
      [&] { return static_cast<bool>(client.Get("/webmusic/getsjplayinfo?key=one")); }, 5s));
}

TEST_F(CatalogServerTest, TheLogShowsControlCharactersEscapedOneLinePerRequest) {
  WriteMp3(root_ / "one.mp3", TagStyle::kId3v2Unicode, "one", "o", "");
  test::CatalogProcess catalog(root_);
  ASSERT_FALSE(catalog.host().empty());
  const FileDescriptor fd = Connect(PortOf(catalog.host()));
  ASSERT_TRUE(fd);
  ASSERT_TRUE(Send(fd.get(),
                   "GET /x\x1b[2J\x1b]0;owned\x07\x7f\\ HTTP/1.1\r\nHost: x\r\nConnection: close"
                   "\r\n\r\n"));
  ClosedWithin(fd.get(), 5s);
  httplib::Client client("http://" + catalog.host());
  ASSERT_TRUE(client.Get("/webmusic/getsjplayinfo?key=%1b%07"));
  std::string log;
  ASSERT_TRUE(test::WaitUntil(
      [&] {
        log = catalog.log();
        return log.find("getsjplayinfo") != std::string::npos;
      },
      10s))
      << log;
  EXPECT_EQ(log.find('\x1b'), std::string::npos) << log;
  EXPECT_EQ(log.find('\x07'), std::string::npos) << log;
  EXPECT_NE(log.find("GET /x\\x1b[2J\\x1b]0;owned\\x07\\x7f\\x5c 404\n"), std::string::npos) << log;
  // The percent-encoded one stays as it was sent: the drives look for requests that way.
  EXPECT_NE(log.find("GET /webmusic/getsjplayinfo?key=%1b%07 200\n"), std::string::npos) << log;
}

}  // namespace
}  // namespace ornivel::catalog
