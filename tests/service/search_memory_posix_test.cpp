// A search reply far longer than any real one: the records up to the bound, one message, and
// the memory it took. A program of its own, so that it can count every allocation it makes.
#include <gtest/gtest.h>

#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <string>

#include "http/http_transport.h"
#include "service/memory_song_list.h"
#include "service/song_search.h"
#include "tests/support/memory_front_end.h"
#include "tests/support/search_reply.h"

namespace {

// The bytes the process holds through operator new, and the most it has held.
std::atomic<std::size_t> g_live{0};
std::atomic<std::size_t> g_peak{0};

void* Allocate(std::size_t size) {
  // Each block carries its size before it, so that a delete knows what it gives back.
  void* block = std::malloc(size + alignof(std::max_align_t));
  if (block == nullptr) throw std::bad_alloc();
  *static_cast<std::size_t*>(block) = size;
  const std::size_t live = g_live.fetch_add(size) + size;
  std::size_t peak = g_peak.load();
  while (live > peak && !g_peak.compare_exchange_weak(peak, live)) {
  }
  return static_cast<char*>(block) + alignof(std::max_align_t);
}

void Release(void* pointer) {
  if (pointer == nullptr) return;
  void* block = static_cast<char*>(pointer) - alignof(std::max_align_t);
  g_live.fetch_sub(*static_cast<std::size_t*>(block));
  std::free(block);
}

}  // namespace

void* operator new(std::size_t size) {
  return Allocate(size);
}
void* operator new[](std::size_t size) {
  return Allocate(size);
}
void operator delete(void* pointer) noexcept {
  Release(pointer);
}
void operator delete[](void* pointer) noexcept {
  Release(pointer);
}
void operator delete(void* pointer, std::size_t) noexcept {
  Release(pointer);
}
void operator delete[](void* pointer, std::size_t) noexcept {
  Release(pointer);
}

namespace ornivel {
namespace {

bool SendAll(int fd, const std::string& bytes) {
  std::size_t sent = 0;
  while (sent < bytes.size()) {
    const ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) return false;
    sent += static_cast<std::size_t>(n);
  }
  return true;
}

// A service in a process of its own (its memory is not this one's) that answers one search
// with `records` records on one line, sent as they are made.
class LongReplyService {
 public:
  // Each record carries `padding` bytes more, as a long field of the service would.
  explicit LongReplyService(int records, std::size_t padding = 0) : padding_(padding) {
    listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener_, 4) != 0 ||
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
      return;
    }
    port_ = ntohs(address.sin_port);
    child_ = ::fork();
    if (child_ == 0) ::_exit(Serve(records) ? 0 : 1);
  }
  ~LongReplyService() {
    if (child_ > 0) {
      ::kill(child_, SIGKILL);
      ::waitpid(child_, nullptr, 0);
    }
    ::close(listener_);
  }
  LongReplyService(const LongReplyService&) = delete;
  LongReplyService& operator=(const LongReplyService&) = delete;

  std::string host() const { return "127.0.0.1:" + std::to_string(port_); }
  bool running() const { return child_ > 0; }

 private:
  bool Serve(int records) const {
    const int client = ::accept(listener_, nullptr, nullptr);
    if (client < 0) return false;
    std::string request;
    char buffer[4096];
    while (request.find("\r\n\r\n") == std::string::npos) {
      const ssize_t n = ::recv(client, buffer, sizeof buffer, 0);
      if (n <= 0) return false;
      request.append(buffer, static_cast<std::size_t>(n));
    }
    // No length: the body ends when the connection does.
    if (!SendAll(client,
                 "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nConnection: close\r\n\r\n"
                 "try{var jsondata={'TOTAL':'" +
                     std::to_string(records) + "','abslist':[")) {
      return false;
    }
    std::string piece;
    for (int n = 1; n <= records; ++n) {
      piece += padding_ == 0 ? test::SearchRecord(n)
                             : test::SearchRecord(n, "artist",
                                                  ",'lyric':'" + std::string(padding_, 'x') + "'");
      if (piece.size() < (64 << 10) && n < records) continue;
      if (!SendAll(client, piece)) return true;  // the reader has had enough
      piece.clear();
    }
    (void)SendAll(client, "]}}");
    ::close(client);
    return true;
  }

  std::size_t padding_ = 0;
  int listener_ = -1;
  int port_ = 0;
  pid_t child_ = -1;
};

// Runs the search against `service` with `front`; the most bytes it held at once, in caps.
double MeasuredSearch(const LongReplyService& service, MemoryFrontEnd& front) {
  ::setenv("ORNIVEL_SERVICE_HOST", service.host().c_str(), 1);
  front.SetSearchText("a");
  const std::size_t before = g_live.load();
  g_peak.store(before);
  SearchSongs(front, front);
  const std::size_t peak = g_peak.load() - before;
  ::unsetenv("ORNIVEL_SERVICE_HOST");
  const double caps = static_cast<double>(peak) / static_cast<double>(kMaxResponseBody);
  std::printf("peak %.1f MiB, %.2f times the %zu MiB read at the most\n",
              static_cast<double>(peak) / (1 << 20), caps, kMaxResponseBody >> 20);
  return caps;
}

TEST(SearchMemoryTest, AMillionRecordsFillTheBoundOnceSayTheRestWasLeftOutAndTakeTwiceTheCap) {
  LongReplyService service(1'000'000);  // about 120 MB, past the 64 MiB that is read
  ASSERT_TRUE(service.running());
  MemoryFrontEnd front;  // its list and its message boxes
  const double caps = MeasuredSearch(service, front);

  ASSERT_EQ(front.RowCount(), kMostSongRecords);
  EXPECT_EQ(front.GetCellText(0, kColumnIdentifier), test::RecordIdentifier(1));
  EXPECT_EQ(front.GetCellText(kMostSongRecords - 1, kColumnIdentifier),
            test::RecordIdentifier(kMostSongRecords));
  EXPECT_EQ(front.GetCellText(kMostSongRecords - 1, kColumnNumber),
            std::to_string(kMostSongRecords));
  const auto messages = front.Messages();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].text, RecordsLeftOutMessage(kMostSongRecords));
  EXPECT_EQ(messages[0].icon, MessageIcon::kInformation);
  // The reply is read up to the cap once, converted once, and looked through in a part.
  EXPECT_LE(caps, 2.25);
}

TEST(SearchMemoryTest, FewLongRecordsPastTheCapAreLookedThroughInTheirFirstPartOnly) {
  // 2,000 records of 48 KB each (96 MB): fewer than the bound, but most of them lie past what is
  // looked through.
  LongReplyService service(2000, 48000);
  ASSERT_TRUE(service.running());
  MemoryFrontEnd front;
  const double caps = MeasuredSearch(service, front);
  const int rows = front.RowCount();
  EXPECT_GT(rows, 100);
  EXPECT_LT(rows, 200);  // those whose end lies within the first kLongestRecordScan bytes
  EXPECT_EQ(front.GetCellText(rows - 1, kColumnIdentifier), test::RecordIdentifier(rows));
  const auto messages = front.Messages();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].text, RecordsLeftOutMessage(rows));
  EXPECT_LE(caps, 2.25);
}

}  // namespace
}  // namespace ornivel
