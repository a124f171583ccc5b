#pragma once
// Why a file operation failed, in the few kinds a person can act on, and their words.

#include <string>

namespace ornivel {

enum class FileError {
  kNone,
  kNotFound,      // the file, or the folder it would be in, does not exist
  kNoPermission,  // access is refused, the file is read-only, or the file system is
  kDiskFull,      // no space is left on the disk (or in the user's quota)
  kBadName,       // the file system refuses the name: too long, or a character it cannot hold
  kNotAFile,      // a folder, a device or a pipe stands where an ordinary file was expected
  kNameTaken,     // something of that name exists already
  kInUse,         // another program holds the file open and will not share it
  kOther,
};

// Tells `error` through `why`, the out-parameter of the file operations; nothing when it is null.
inline void Tell(FileError* why, FileError error) {
  if (why != nullptr) *why = error;
}

// A few words for the kind, in GBK, to follow a "：" ("磁盘已满").
[[nodiscard]] std::string FileErrorWords(FileError error);

}  // namespace ornivel
