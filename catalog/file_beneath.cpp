#include "catalog/file_beneath.h"

#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <string>

namespace ornivel::catalog {
namespace {

// Every component is a plain name: nothing that means "here" or "up", no empty step.
bool PlainComponents(std::string_view path) {
  if (path.empty()) return false;
  std::size_t start = 0;
  while (true) {
    const std::size_t end = std::min(path.find('/', start), path.size());
    const std::string_view part = path.substr(start, end - start);
    if (part.empty() || part == "." || part == ".." || part.find('\0') != std::string_view::npos) {
      return false;
    }
    if (end == path.size()) return true;
    start = end + 1;
  }
}

OpenedFile RegularFile(FileDescriptor fd) {
  struct stat info {};
  if (!fd || ::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode)) return {};
  return {std::move(fd), static_cast<std::uint64_t>(info.st_size),
          static_cast<std::int64_t>(info.st_mtime)};
}

}  // namespace

void FileDescriptor::Reset() {
  if (fd_ >= 0) ::close(std::exchange(fd_, -1));
}

FileDescriptor OpenFolder(const char* path) {
  return FileDescriptor(::open(path, O_PATH | O_DIRECTORY | O_CLOEXEC));
}

OpenedFile OpenBeneath(int folder, std::string_view relativePath) {
  if (!PlainComponents(relativePath)) return {};
  const std::string path(relativePath);
  open_how how{};
  how.flags = O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK;
  // Beneath the folder: no absolute link, no ".." past it, no /proc link; a loop ends in ELOOP.
  how.resolve = RESOLVE_BENEATH | RESOLVE_NO_MAGICLINKS;
  const long fd = ::syscall(SYS_openat2, folder, path.c_str(), &how, sizeof how);
  if (fd < 0 && (errno == ENOSYS || errno == EPERM)) {
    return OpenBeneathByWalk(folder, relativePath);  // a kernel (or a filter) without openat2
  }
  if (fd < 0) return {};
  // Opened without blocking (a FIFO would otherwise hold the thread); read as usual from now.
  FileDescriptor opened(static_cast<int>(fd));
  ::fcntl(opened.get(), F_SETFL, ::fcntl(opened.get(), F_GETFL) & ~O_NONBLOCK);
  return RegularFile(std::move(opened));
}

OpenedFile OpenBeneathByWalk(int folder, std::string_view relativePath) {
  if (!PlainComponents(relativePath)) return {};
  FileDescriptor here;
  int at = folder;
  std::size_t start = 0;
  while (true) {
    const std::size_t end = relativePath.find('/', start);
    const std::string part(relativePath.substr(
        start, end == std::string_view::npos ? std::string_view::npos : end - start));
    if (end == std::string_view::npos) {
      FileDescriptor file(
          ::openat(at, part.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NOFOLLOW | O_NONBLOCK));
      if (!file) return {};
      ::fcntl(file.get(), F_SETFL, ::fcntl(file.get(), F_GETFL) & ~O_NONBLOCK);
      return RegularFile(std::move(file));
    }
    FileDescriptor next(::openat(at, part.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!next) return {};
    here = std::move(next);
    at = here.get();
    start = end + 1;
  }
}

}  // namespace ornivel::catalog
