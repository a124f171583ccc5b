// The download's file system on Linux: GBK paths become UTF-8 at every call.
#ifndef _GNU_SOURCE
#define _GNU_SOURCE  // sync_file_range
#endif
#include <dirent.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <stdlib.h>

#include <cerrno>
#include <vector>

#include "service/file_system.h"
#include "text/text_convert.h"

namespace ornivel {

const char kPathSeparator = '/';

namespace {

constexpr std::size_t kWriteBuffer = 1 << 20;
constexpr off_t kWritebackStep = 8 << 20;

FileError FileErrorOf(int error) {
  switch (error) {
    case 0:
      return FileError::kNone;
    case ENOENT:
    case ENOTDIR:
      return FileError::kNotFound;
    case EACCES:
    case EPERM:
    case EROFS:
      return FileError::kNoPermission;
    case ENOSPC:
    case EDQUOT:
      return FileError::kDiskFull;
    case ENAMETOOLONG:
    case EILSEQ:
    case EINVAL:
      return FileError::kBadName;
    case EISDIR:
    case ENXIO:
    case ENODEV:
      return FileError::kNotAFile;
    case EEXIST:
      return FileError::kNameTaken;
    case ETXTBSY:
      return FileError::kInUse;
    default:
      return FileError::kOther;
  }
}

bool WriteAll(int fd, const std::uint8_t* data, std::size_t size) {
  while (size > 0) {
    const ssize_t n = ::write(fd, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

class PosixNewFile final : public NewFile {
 public:
  PosixNewFile(int fd, std::string path, off_t size)
      : fd_(fd), written_(size), writebackStart_(size), path_(std::move(path)) {
    buffer_.reserve(kWriteBuffer);
  }
  ~PosixNewFile() override {
    if (fd_ >= 0) ::close(fd_);
  }

  bool Write(std::span<const std::uint8_t> bytes) override {
    if (fd_ < 0) return Failed(EBADF);
    if (buffer_.size() + bytes.size() > kWriteBuffer && !Flush()) return false;
    if (bytes.size() >= kWriteBuffer) {
      if (!WriteAll(fd_, bytes.data(), bytes.size())) return Failed(errno);
      written_ += static_cast<off_t>(bytes.size());
      StartWriteback();
      return true;
    }
    buffer_.insert(buffer_.end(), bytes.begin(), bytes.end());
    return true;
  }

  std::int64_t Size() const override {
    return static_cast<std::int64_t>(written_) + static_cast<std::int64_t>(buffer_.size());
  }

  bool Restart() override {
    if (fd_ < 0) return Failed(EBADF);
    buffer_.clear();
    written_ = 0;
    writebackStart_ = 0;
    return (::ftruncate(fd_, 0) == 0 && ::lseek(fd_, 0, SEEK_SET) == 0) || Failed(errno);
  }

  bool Finish() override {
    if (fd_ < 0) return Failed(EBADF);
    // A full disk may show only at the flush to it, or even at the close.
    const bool ok = Flush() && (::fsync(fd_) == 0 || Failed(errno));
    const bool closed = ::close(fd_) == 0 || Failed(errno);
    fd_ = -1;
    return ok && closed;
  }

  void Remove() override {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    ::unlink(path_.c_str());
  }

  FileError Error() const override { return error_; }

 private:
  // Records why an operation failed; always false.
  bool Failed(int error) {
    error_ = FileErrorOf(error);
    return false;
  }

  bool Flush() {
    const bool ok = WriteAll(fd_, buffer_.data(), buffer_.size()) || Failed(errno);
    written_ += static_cast<off_t>(buffer_.size());
    buffer_.clear();
    StartWriteback();
    return ok;
  }

  // Starts writing what has arrived to the disk while the transfer goes on, so that the fsync at
  // the end waits for little more than the last piece.
  void StartWriteback() {
    if (written_ - writebackStart_ < kWritebackStep) return;
    ::sync_file_range(fd_, writebackStart_, written_ - writebackStart_, SYNC_FILE_RANGE_WRITE);
    writebackStart_ = written_;
  }

  int fd_;
  FileError error_ = FileError::kNone;
  off_t written_ = 0;
  off_t writebackStart_ = 0;
  std::string path_;  // UTF-8
  std::vector<std::uint8_t> buffer_;
};

}  // namespace

bool IsPlainFileName(std::string_view name) {
  return name.find('/') == std::string_view::npos;
}

bool PathExists(const std::string& path) {
  struct stat info;
  return ::lstat(GbkToUtf8(path).c_str(), &info) == 0;
}

bool IsFolder(const std::string& path) {
  struct stat info;
  return ::stat(GbkToUtf8(path).c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

namespace {

// Whether this process alone holds the file open at `fd`, which `native` still names: the lock
// of a file that another holder removed or replaced meanwhile is worth nothing.
bool HoldAlone(int fd, const std::string& native) {
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) return false;
  struct stat held;
  struct stat named;
  return ::fstat(fd, &held) == 0 && ::lstat(native.c_str(), &named) == 0 &&
         held.st_dev == named.st_dev && held.st_ino == named.st_ino;
}

}  // namespace

std::unique_ptr<NewFile> CreateNewFile(const std::string& path, FileError* why) {
  const std::string native = GbkToUtf8(path);
  const int fd = ::open(native.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  Tell(why, fd < 0 ? FileErrorOf(errno) : FileError::kNone);
  if (fd < 0) return nullptr;
  // Another download may have opened the new file as a leftover before the lock: it is then
  // that one's, and this one takes another name.
  if (!HoldAlone(fd, native)) {
    ::close(fd);
    Tell(why, FileError::kNameTaken);
    return nullptr;
  }
  return std::make_unique<PosixNewFile>(fd, native, 0);
}

std::unique_ptr<NewFile> OpenPartFile(const std::string& path, bool* busy) {
  if (busy != nullptr) *busy = false;
  const std::string native = GbkToUtf8(path);
  const int fd = ::open(native.c_str(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return nullptr;
  struct stat info;
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    ::close(fd);
    return nullptr;
  }
  if (!HoldAlone(fd, native) || ::fstat(fd, &info) != 0 ||
      ::lseek(fd, 0, SEEK_END) != info.st_size) {
    ::close(fd);
    if (busy != nullptr) *busy = true;
    return nullptr;
  }
  return std::make_unique<PosixNewFile>(fd, native, info.st_size);
}

std::vector<std::string> FolderNames(const std::string& folder) {
  std::vector<std::string> names;
  DIR* dir = ::opendir(GbkToUtf8(folder).c_str());
  if (dir == nullptr) return names;
  while (const dirent* entry = ::readdir(dir)) {
    const std::string_view name = entry->d_name;
    if (name == "." || name == "..") continue;
    if (auto gbk = Utf8ToGbkExactly(name)) names.push_back(std::move(*gbk));
  }
  ::closedir(dir);
  return names;
}

std::optional<std::chrono::system_clock::time_point> LastWriteTime(const std::string& path) {
  struct stat info;
  if (::lstat(GbkToUtf8(path).c_str(), &info) != 0) return std::nullopt;
  return std::chrono::system_clock::time_point(
      std::chrono::duration_cast<std::chrono::system_clock::duration>(
          std::chrono::seconds(info.st_mtim.tv_sec) +
          std::chrono::nanoseconds(info.st_mtim.tv_nsec)));
}

bool RemoveFile(const std::string& path) {
  return ::unlink(GbkToUtf8(path).c_str()) == 0 || errno == ENOENT;
}

bool RenameNoReplace(const std::string& from, const std::string& to) {
  const std::string source = GbkToUtf8(from);
  const std::string target = GbkToUtf8(to);
  if (::syscall(SYS_renameat2, AT_FDCWD, source.c_str(), AT_FDCWD, target.c_str(),
                RENAME_NOREPLACE) == 0) {
    return true;
  }
  if (errno != EINVAL && errno != ENOSYS) return false;
  // A file system without the flag: a hard link fails just as well when the name is taken.
  if (::link(source.c_str(), target.c_str()) != 0) return false;
  ::unlink(source.c_str());
  return true;
}

std::optional<std::string> ReadFileBytes(const std::string& path, FileError* why) {
  Tell(why, FileError::kNone);
  const std::string native = GbkToUtf8(path);
  // A pipe, a device or a folder is never opened: opening a pipe would let its writer go on, a
  // device may do something. Should one replace the file between the look and the open,
  // O_NONBLOCK keeps the open from waiting and the second look refuses it.
  struct stat info;
  if (::stat(native.c_str(), &info) != 0) {
    Tell(why, FileErrorOf(errno));
    return std::nullopt;
  }
  if (!S_ISREG(info.st_mode)) {
    Tell(why, FileError::kNotAFile);
    return std::nullopt;
  }
  const int fd = ::open(native.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    Tell(why, FileErrorOf(errno));
    return std::nullopt;
  }
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    ::close(fd);
    Tell(why, FileError::kNotAFile);
    return std::nullopt;
  }
  std::string bytes;
  char buffer[65536];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      Tell(why, FileErrorOf(errno));
      ::close(fd);
      return std::nullopt;
    }
    if (n == 0) break;
    bytes.append(buffer, static_cast<std::size_t>(n));
  }
  ::close(fd);
  return bytes;
}

bool WriteFileAtomically(const std::string& path, std::string_view bytes, FileError* why) {
  Tell(why, FileError::kNone);
  const std::string target = GbkToUtf8(path);
  // A file that nobody may write to stays as it is, as on Windows: the rename beside it would
  // otherwise replace it, whoever runs the program.
  struct stat info;
  if (::stat(target.c_str(), &info) == 0 && (info.st_mode & 0222) == 0) {
    Tell(why, FileError::kNoPermission);
    return false;
  }
  std::string temporary = target + ".XXXXXX";
  const int fd = ::mkstemp(temporary.data());
  if (fd < 0) {
    Tell(why, FileErrorOf(errno));
    return false;
  }
  // The first failure's reason: a failed close after a failed write says less.
  int error = 0;
  const auto step = [&error](bool ok) {
    if (!ok && error == 0) error = errno;
    return ok;
  };
  const bool written =
      step(WriteAll(fd, reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size())) &&
      step(::fchmod(fd, 0644) == 0) && step(::fsync(fd) == 0);
  const bool closed = step(::close(fd) == 0);
  if (!written || !closed || !step(::rename(temporary.c_str(), target.c_str()) == 0)) {
    ::unlink(temporary.c_str());
    Tell(why, FileErrorOf(error));
    return false;
  }
  return true;
}

}  // namespace ornivel
