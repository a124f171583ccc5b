#pragma once
// The file-system seam of the download: paths are GBK texts, as everywhere in the program; each
// backend converts them for the platform (UTF-8 on Linux, UTF-16 on Windows).

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

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

// A file made by CreateNewFile: written to, flushed to disk, and either kept or removed.
class NewFile {
 public:
  virtual ~NewFile() = default;
  [[nodiscard]] virtual bool Write(std::span<const std::uint8_t> bytes) = 0;
  // Writes what is buffered and flushes the file to the disk; then closes it.
  [[nodiscard]] virtual bool Finish() = 0;
  // Closes (if still open) and deletes the file.
  virtual void Remove() = 0;
};

// Creates `path` for writing, only if nothing of that name exists; null when it exists or
// cannot be made. `nameTaken`, when given, tells the two apart: true when the name is taken
// (by a file or a folder), false for any other failure.
[[nodiscard]] std::unique_ptr<NewFile> CreateNewFile(const std::string& path,
                                                     bool* nameTaken = nullptr);

// Renames `from` to `to` unless something named `to` exists; never replaces it.
[[nodiscard]] bool RenameNoReplace(const std::string& from, const std::string& to);

// The whole content of a file; nullopt when it cannot be read.
[[nodiscard]] std::optional<std::string> ReadFileBytes(const std::string& path);

// Replaces the content of `path` with `bytes` atomically: a temporary file beside it is written,
// flushed to disk and renamed over it, so a crash leaves either the old or the new file whole.
[[nodiscard]] bool WriteFileAtomically(const std::string& path, std::string_view bytes);

}  // namespace ornivel
