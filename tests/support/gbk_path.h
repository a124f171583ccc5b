#pragma once
// Paths of the test's own file system and the program's GBK texts, converted through UTF-8 so
// that neither side goes through the system code page (Windows' own may not be 936).

#include <filesystem>
#include <string>
#include <string_view>

#include "text/text_convert.h"

namespace ornivel::test {

// A UTF-8 text (as the test sources write names) as a path.
inline std::filesystem::path Utf8Path(std::string_view utf8) {
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

// `path` as UTF-8 text.
inline std::string PathUtf8(const std::filesystem::path& path) {
  const std::u8string utf8 = path.u8string();
  return std::string(utf8.begin(), utf8.end());
}

// `path` as the program's GBK text.
inline std::string GbkPath(const std::filesystem::path& path) {
  return Utf8ToGbk(PathUtf8(path));
}

}  // namespace ornivel::test
