#pragma once
// Opening a song file inside the music folder at the moment it is served, so that a file or a
// folder swapped for a symbolic link after the scan cannot lead out of the folder.

#include <sys/types.h>

#include <cstdint>
#include <string_view>
#include <utility>

namespace ornivel::catalog {

// An owned file descriptor; -1 for none.
class FileDescriptor {
 public:
  FileDescriptor() = default;
  explicit FileDescriptor(int fd) : fd_(fd) {}
  ~FileDescriptor() { Reset(); }
  FileDescriptor(FileDescriptor&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  FileDescriptor& operator=(FileDescriptor&& other) noexcept {
    if (this != &other) {
      Reset();
      fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;

  [[nodiscard]] int get() const { return fd_; }
  [[nodiscard]] int Release() { return std::exchange(fd_, -1); }
  explicit operator bool() const { return fd_ >= 0; }
  void Reset();

 private:
  int fd_ = -1;
};

// The music folder itself, opened once at start (so a later rename of the folder's own path
// changes nothing); an empty descriptor when it is no folder.
[[nodiscard]] FileDescriptor OpenFolder(const char* path);

// A regular file opened for reading at `relativePath` ("/"-separated, as the library names it)
// beneath `folder`, its length in bytes and the time of its last change, taken from the open file.
// Nothing is opened when the path has an empty, "." or ".." component, when its resolution would
// leave the folder (an absolute link, a link through ".." past the folder, a link into /proc), when
// it loops, or when it names anything but a regular file. Links that stay inside the folder are
// followed, as the scan follows them, where the kernel resolves beneath a folder itself (openat2,
// Linux 5.6); elsewhere the path is walked one component at a time and no link is followed at all.
struct OpenedFile {
  FileDescriptor fd;
  std::uint64_t size = 0;
  std::int64_t modified = 0;  // the last change, in seconds since 1970 (UTC)
};
[[nodiscard]] OpenedFile OpenBeneath(int folder, std::string_view relativePath);

// The same, by the one-component walk alone (what OpenBeneath does where openat2 is missing).
[[nodiscard]] OpenedFile OpenBeneathByWalk(int folder, std::string_view relativePath);

}  // namespace ornivel::catalog
