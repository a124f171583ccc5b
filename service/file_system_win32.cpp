// The download's file system on Windows. Every path is a GBK text that becomes UTF-16 through
// code page 936 at the call, and every call is a W function, so names with Chinese characters
// are right whatever Windows' own code page is.
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "service/file_system.h"
#include "text/ascii.h"
#include "win/unique_owner.h"
#include "win/wide_text.h"

namespace ornivel {

const char kPathSeparator = '\\';

namespace {

constexpr std::size_t kWriteBuffer = 1 << 20;
constexpr DWORD kLargestWrite = 1 << 30;
constexpr DWORD kReadPiece = 1 << 16;
// Names tried for the temporary file of WriteFileAtomically before giving up.
constexpr int kTemporaryNameAttempts = 100;

FileError FileErrorOf(DWORD error) {
  switch (error) {
    case ERROR_SUCCESS:
      return FileError::kNone;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
      return FileError::kNotFound;
    case ERROR_ACCESS_DENIED:
    case ERROR_WRITE_PROTECT:
      return FileError::kNoPermission;
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
      return FileError::kInUse;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return FileError::kDiskFull;
    case ERROR_INVALID_NAME:
    case ERROR_FILENAME_EXCED_RANGE:
    case ERROR_BAD_PATHNAME:
    case ERROR_DIRECTORY:
      return FileError::kBadName;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
      return FileError::kNameTaken;
    default:
      return FileError::kOther;
  }
}

bool WriteAll(HANDLE file, const std::uint8_t* data, std::size_t size) {
  while (size > 0) {
    const DWORD piece = static_cast<DWORD>(std::min<std::size_t>(size, kLargestWrite));
    DWORD written = 0;
    if (!WriteFile(file, data, piece, &written, nullptr)) return false;
    if (written == 0) {
      SetLastError(ERROR_DISK_FULL);
      return false;
    }
    data += written;
    size -= written;
  }
  return true;
}

// A new file for writing, opened without sharing; none when anything of that name exists,
// a link included (the link itself is never followed).
UniqueHandle CreateExclusively(const std::wstring& path) {
  return UniqueHandle(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
}

class Win32NewFile final : public NewFile {
 public:
  Win32NewFile(UniqueHandle file, std::wstring path, std::int64_t size)
      : file_(std::move(file)), path_(std::move(path)), written_(size) {
    buffer_.reserve(kWriteBuffer);
  }

  bool Write(std::span<const std::uint8_t> bytes) override {
    if (!file_) return Failed(ERROR_INVALID_HANDLE);
    if (buffer_.size() + bytes.size() > kWriteBuffer && !Flush()) return false;
    if (bytes.size() >= kWriteBuffer) {
      if (!WriteAll(file_.get(), bytes.data(), bytes.size())) return Failed(GetLastError());
      written_ += static_cast<std::int64_t>(bytes.size());
      return true;
    }
    buffer_.insert(buffer_.end(), bytes.begin(), bytes.end());
    return true;
  }

  std::int64_t Size() const override {
    return written_ + static_cast<std::int64_t>(buffer_.size());
  }

  bool Restart() override {
    if (!file_) return Failed(ERROR_INVALID_HANDLE);
    buffer_.clear();
    written_ = 0;
    LARGE_INTEGER start{};
    return (SetFilePointerEx(file_.get(), start, nullptr, FILE_BEGIN) != 0 &&
            SetEndOfFile(file_.get()) != 0) ||
           Failed(GetLastError());
  }

  bool Finish() override {
    if (!file_) return Failed(ERROR_INVALID_HANDLE);
    // A full disk may show only at the flush to it, or even at the close.
    const bool ok = Flush() && (FlushFileBuffers(file_.get()) != 0 || Failed(GetLastError()));
    const bool closed = file_.Close() || Failed(GetLastError());
    return ok && closed;
  }

  void Remove() override {
    file_.Reset();
    DeleteFileW(path_.c_str());
  }

  FileError Error() const override { return error_; }

 private:
  // Records why an operation failed; always false.
  bool Failed(DWORD error) {
    error_ = FileErrorOf(error);
    return false;
  }

  bool Flush() {
    const bool ok = WriteAll(file_.get(), buffer_.data(), buffer_.size()) || Failed(GetLastError());
    written_ += static_cast<std::int64_t>(buffer_.size());
    buffer_.clear();
    return ok;
  }

  UniqueHandle file_;
  std::wstring path_;
  FileError error_ = FileError::kNone;
  std::int64_t written_;  // the bytes in the file, without the buffer
  std::vector<std::uint8_t> buffer_;
};

// A name beside `path` that this process has not used yet: path + "." + process + "." + count +
// ".tmp".
std::wstring TemporaryNameBeside(const std::wstring& path) {
  static std::atomic<unsigned long> counter{0};
  return path + L"." + std::to_wstring(GetCurrentProcessId()) + L"." +
         std::to_wstring(counter.fetch_add(1)) + L".tmp";
}

bool IsFolderW(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// The folder part of a path, without the separator before the name; empty when it has none.
std::wstring FolderOf(const std::wstring& path) {
  const std::size_t separator = path.find_last_of(L"\\/");
  return separator == std::wstring::npos ? std::wstring() : path.substr(0, separator);
}

}  // namespace

bool IsPlainFileName(std::string_view name) {
  if (name.find_first_of("<>:\"|?*/\\") != std::string_view::npos) return false;
  const std::string_view base = name.substr(0, name.find('.'));
  for (const std::string_view device : {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"}) {
    if (AsciiEqualIgnoringCase(base, device)) return false;
  }
  if (base.size() == 4 && (AsciiEqualIgnoringCase(base.substr(0, 3), "COM") ||
                           AsciiEqualIgnoringCase(base.substr(0, 3), "LPT"))) {
    return !(base[3] >= '1' && base[3] <= '9');
  }
  return true;
}

bool PathExists(const std::string& path) {
  const std::wstring native = Wide(path);
  // FindFirstFileW reads "*" and "?" in the last name as wildcards, and no file's name holds
  // either: such a path names nothing.
  const std::size_t nameStart = native.find_last_of(L"\\/");
  const std::size_t wildcard = native.find_first_of(L"*?");
  if (native.empty() || (wildcard != std::wstring::npos &&
                         (nameStart == std::wstring::npos || wildcard > nameStart))) {
    return false;
  }
  WIN32_FIND_DATAW found;
  const HANDLE search = FindFirstFileW(native.c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return false;
  FindClose(search);
  return true;
}

bool IsFolder(const std::string& path) {
  return IsFolderW(Wide(path));
}

std::unique_ptr<NewFile> CreateNewFile(const std::string& path, FileError* why) {
  std::wstring native = Wide(path);
  UniqueHandle file = CreateExclusively(native);
  if (!file) {
    const DWORD error = GetLastError();
    FileError kind = FileErrorOf(error);
    // A folder of that name may be refused as access denied rather than as existing.
    if (error == ERROR_ACCESS_DENIED && IsFolder(path)) kind = FileError::kNameTaken;
    // A name too long for the system is refused as a path not found: the folder tells them apart.
    if (kind == FileError::kNotFound && IsFolderW(FolderOf(native))) kind = FileError::kBadName;
    Tell(why, kind);
    return nullptr;
  }
  Tell(why, FileError::kNone);
  return std::make_unique<Win32NewFile>(std::move(file), std::move(native), 0);
}

std::unique_ptr<NewFile> OpenPartFile(const std::string& path, bool* busy) {
  if (busy != nullptr) *busy = false;
  std::wstring native = Wide(path);
  // Unshared, as a new file is: the open fails while another holds it.
  UniqueHandle file(CreateFileW(native.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!file) {
    if (busy != nullptr) *busy = GetLastError() == ERROR_SHARING_VIOLATION;
    return nullptr;
  }
  BY_HANDLE_FILE_INFORMATION info;
  LARGE_INTEGER end{};
  LARGE_INTEGER size{};
  if (!GetFileInformationByHandle(file.get(), &info) ||
      (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0 ||
      GetFileType(file.get()) != FILE_TYPE_DISK ||
      !SetFilePointerEx(file.get(), end, &size, FILE_END)) {
    return nullptr;
  }
  return std::make_unique<Win32NewFile>(std::move(file), std::move(native), size.QuadPart);
}

std::vector<std::string> FolderNames(const std::string& folder) {
  std::vector<std::string> names;
  WIN32_FIND_DATAW found;
  const HANDLE search = FindFirstFileW((Wide(folder) + L"\\*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return names;
  do {
    const std::wstring name = found.cFileName;
    if (name == L"." || name == L"..") continue;
    std::string gbk = Narrow(name);
    // A name that code page 936 cannot hold would come back as another name.
    if (Wide(gbk) == name) names.push_back(std::move(gbk));
  } while (FindNextFileW(search, &found));
  FindClose(search);
  return names;
}

std::optional<std::chrono::system_clock::time_point> LastWriteTime(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(Wide(path).c_str(), GetFileExInfoStandard, &data)) {
    return std::nullopt;
  }
  // FILETIME counts 100 ns steps from 1601; the system clock counts from 1970.
  constexpr std::uint64_t kFrom1601To1970 = 116444736000000000ULL;
  const std::uint64_t ticks =
      (static_cast<std::uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) |
      data.ftLastWriteTime.dwLowDateTime;
  const auto since1970 = std::chrono::duration<std::int64_t, std::ratio<1, 10000000>>(
      static_cast<std::int64_t>(ticks) - static_cast<std::int64_t>(kFrom1601To1970));
  return std::chrono::system_clock::time_point(
      std::chrono::duration_cast<std::chrono::system_clock::duration>(since1970));
}

bool RemoveFile(const std::string& path) {
  return DeleteFileW(Wide(path).c_str()) != 0 || GetLastError() == ERROR_FILE_NOT_FOUND;
}

bool RenameNoReplace(const std::string& from, const std::string& to) {
  // Without MOVEFILE_REPLACE_EXISTING the move fails when anything is named `to`.
  return MoveFileExW(Wide(from).c_str(), Wide(to).c_str(), 0) != 0;
}

std::optional<std::string> ReadFileBytes(const std::string& path, FileError* why) {
  Tell(why, FileError::kNone);
  const std::wstring native = Wide(path);
  // A folder, or a device name ("CON", "\\.\pipe\..."), is never opened to be read.
  if (IsFolderW(native)) {
    Tell(why, FileError::kNotAFile);
    return std::nullopt;
  }
  // Shared in every way, so that a writer may replace the file while it is read.
  const UniqueHandle file(CreateFileW(native.c_str(), GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) {
    Tell(why, FileErrorOf(GetLastError()));
    return std::nullopt;
  }
  if (GetFileType(file.get()) != FILE_TYPE_DISK) {
    Tell(why, FileError::kNotAFile);
    return std::nullopt;
  }
  std::string bytes;
  std::vector<char> piece(kReadPiece);
  for (;;) {
    DWORD read = 0;
    if (!ReadFile(file.get(), piece.data(), kReadPiece, &read, nullptr)) {
      Tell(why, FileErrorOf(GetLastError()));
      return std::nullopt;
    }
    if (read == 0) break;
    bytes.append(piece.data(), read);
  }
  return bytes;
}

bool WriteFileAtomically(const std::string& path, std::string_view bytes, FileError* why) {
  Tell(why, FileError::kNone);
  const std::wstring target = Wide(path);
  // A read-only file is not replaced: the move below would do it all the same on some systems.
  const DWORD attributes = GetFileAttributesW(target.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
    Tell(why, FileError::kNoPermission);
    return false;
  }
  std::wstring temporary;
  UniqueHandle file;
  for (int attempt = 0; attempt < kTemporaryNameAttempts && !file; ++attempt) {
    temporary = TemporaryNameBeside(target);
    file = CreateExclusively(temporary);
    if (!file && GetLastError() != ERROR_FILE_EXISTS) {
      Tell(why, FileErrorOf(GetLastError()));
      return false;
    }
  }
  if (!file) {
    Tell(why, FileError::kNameTaken);
    return false;
  }
  // The first failure's reason: a failed close after a failed write says less.
  DWORD error = ERROR_SUCCESS;
  const auto step = [&error](bool ok) {
    if (!ok && error == ERROR_SUCCESS) error = GetLastError();
    return ok;
  };
  const bool written =
      step(WriteAll(file.get(), reinterpret_cast<const std::uint8_t*>(bytes.data()),
                    bytes.size())) &&
      step(FlushFileBuffers(file.get()) != 0);
  const bool closed = step(file.Close());
  if (!written || !closed ||
      !step(MoveFileExW(temporary.c_str(), target.c_str(),
                        MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0)) {
    DeleteFileW(temporary.c_str());
    Tell(why, FileErrorOf(error));
    return false;
  }
  return true;
}

}  // namespace ornivel
