#pragma once
// The file-system seam of the download: paths are GBK texts, as everywhere in the program; each
// backend converts them for the platform (UTF-8 on Linux, UTF-16 on Windows).

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "service/file_error.h"

namespace ornivel {

// The platform's separator between a folder and a name ("/" on Linux, "\" on Windows).
extern const char kPathSeparator;

// folder + separator + name: one separator is always added, also after a folder that already
// ends in one (the root "/" gives "//name", which names the same file).
[[nodiscard]] inline std::string JoinPath(std::string_view folder, std::string_view name) {
  std::string path(folder);
  path.push_back(kPathSeparator);
  return path.append(name);
}

// Whether a file or folder of that name exists.
[[nodiscard]] bool PathExists(const std::string& path);

// Whether `name` (GBK, one name within a folder, no separators) names an ordinary file there.
// On Windows it does not when its part before the first dot names a device (CON, PRN, AUX, NUL,
// COM1 to COM9, LPT1 to LPT9, CONIN$, CONOUT$, in any letter case: "NUL.1.part" is the null
// device) or when it holds a separator or any of < > : " | ? * (on NTFS "a:b" names a stream of
// the file "a").
// On Linux every name without "/" does.
[[nodiscard]] bool IsPlainFileName(std::string_view name);

// Whether `path` names a folder (a link to one counts).
[[nodiscard]] bool IsFolder(const std::string& path);

// A file made by CreateNewFile or taken by OpenPartFile, held by this file alone for as long as
// it is open (no other CreateNewFile or OpenPartFile gets it meanwhile, in any process): written
// to at its end, flushed to disk, and either kept or removed.
class NewFile {
 public:
  virtual ~NewFile() = default;
  // Appends `bytes`.
  [[nodiscard]] virtual bool Write(std::span<const std::uint8_t> bytes) = 0;
  // The bytes in the file, those still buffered included.
  [[nodiscard]] virtual std::int64_t Size() const = 0;
  // Empties the file, to write it again from its first byte.
  [[nodiscard]] virtual bool Restart() = 0;
  // Writes what is buffered and flushes the file to the disk; then closes it.
  [[nodiscard]] virtual bool Finish() = 0;
  // Closes (if still open) and deletes the file.
  virtual void Remove() = 0;
  // Why the last Write, Restart or Finish that failed did; kNone while none has.
  [[nodiscard]] virtual FileError Error() const = 0;
};

// Creates `path` for writing, only if nothing of that name exists; null when it exists or
// cannot be made. `why`, when given, tells why: kNameTaken when the name is taken (by a file or
// a folder), another kind for any other failure.
[[nodiscard]] std::unique_ptr<NewFile> CreateNewFile(const std::string& path,
                                                     FileError* why = nullptr);

// Opens the ordinary file `path` (never through a link) to write on at its end; null when
// nothing of that name is an ordinary file, it cannot be opened, or another NewFile holds it
// (then `busy`, when given, is true).
[[nodiscard]] std::unique_ptr<NewFile> OpenPartFile(const std::string& path, bool* busy = nullptr);

// The names (GBK) of what a folder holds, "." and ".." left out, and names GBK cannot hold;
// empty when it cannot be read.
[[nodiscard]] std::vector<std::string> FolderNames(const std::string& folder);

// When the file or folder was last written to; nullopt when it cannot be told.
[[nodiscard]] std::optional<std::chrono::system_clock::time_point> LastWriteTime(
    const std::string& path);

// Deletes the file `path` (never a folder); true when it is gone.
bool RemoveFile(const std::string& path);

// Renames `from` to `to` unless something named `to` exists; never replaces it.
[[nodiscard]] bool RenameNoReplace(const std::string& from, const std::string& to);

// The whole content of the ordinary file `path`; nullopt, with the reason in `why` when given,
// when it cannot be read. Anything but an ordinary file (a folder, a pipe, a device) is never
// read from, so a pipe cannot make the reader wait (kNotAFile).
[[nodiscard]] std::optional<std::string> ReadFileBytes(const std::string& path,
                                                       FileError* why = nullptr);

// Replaces the content of `path` with `bytes` atomically: a temporary file beside it is written,
// flushed to disk and renamed over it, so a crash leaves either the old or the new file whole.
// A file marked read-only is not replaced (kNoPermission). False, with the reason in `why`
// when given, when the file is unchanged.
[[nodiscard]] bool WriteFileAtomically(const std::string& path, std::string_view bytes,
                                       FileError* why = nullptr);

}  // namespace ornivel
