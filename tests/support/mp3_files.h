#pragma once
// Small MP3 files for tests: a run of silent MPEG-1 Layer III frames, with an ID3v2.3 tag in
// front or an ID3v1 tag behind, written here byte for byte so that the tests make the same files
// on every platform.

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

#include "tests/support/temp_dir.h"

namespace ornivel::test {

// How a tag's texts are written.
enum class TagStyle {
  kNone,          // no tag at all
  kId3v2Unicode,  // ID3v2 with UTF-16 text frames
  kId3v2Latin1,   // ID3v2 text frames marked Latin-1, holding the bytes given
  kId3v1,         // ID3v1 only (Latin-1 by definition), holding the bytes given
};

namespace mp3_detail {

// `utf8` as UTF-16LE bytes behind a byte-order mark. The test sources write well-formed UTF-8.
inline std::string Utf16LeWithBom(std::string_view utf8) {
  std::string out = "\xFF\xFE";
  auto unit = [&out](std::uint32_t u) {
    out += static_cast<char>(u & 0xFF);
    out += static_cast<char>(u >> 8);
  };
  for (std::size_t i = 0; i < utf8.size();) {
    const auto lead = static_cast<unsigned char>(utf8[i]);
    const int length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    std::uint32_t code = length == 1 ? lead : lead & (0x7F >> length);
    for (int k = 1; k < length && i + k < utf8.size(); ++k) {
      code = (code << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
    }
    i += static_cast<std::size_t>(length);
    if (code >= 0x10000) {
      code -= 0x10000;
      unit(0xD800 | (code >> 10));
      unit(0xDC00 | (code & 0x3FF));
    } else {
      unit(code);
    }
  }
  return out;
}

// One ID3v2.3 text frame; none for an empty text, as tag editors leave such a field out.
inline std::string TextFrame(std::string_view id, std::string_view text, bool unicode) {
  if (text.empty()) return {};
  std::string body(1, unicode ? '\x01' : '\x00');  // the text encoding
  body += unicode ? Utf16LeWithBom(text) : std::string(text);
  const auto size = static_cast<std::uint32_t>(body.size());
  std::string frame(id);
  for (const int shift : {24, 16, 8, 0}) frame += static_cast<char>((size >> shift) & 0xFF);
  frame += std::string(2, '\0');  // no flags
  return frame + body;
}

// A fixed-width ID3v1 field: the bytes given, cut or padded with NULs.
inline std::string Field(std::string_view text, std::size_t width) {
  std::string field(text.substr(0, width));
  field.resize(width, '\0');
  return field;
}

}  // namespace mp3_detail

// Writes `frames` frames (417 bytes each) and tags them. Texts are UTF-8 for kId3v2Unicode and
// raw bytes (for example GBK) for the Latin-1 styles.
inline void WriteMp3(const std::filesystem::path& path, TagStyle style, const std::string& title,
                     const std::string& singer, const std::string& album, int frames = 40) {
  std::filesystem::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (style == TagStyle::kId3v2Unicode || style == TagStyle::kId3v2Latin1) {
    const bool unicode = style == TagStyle::kId3v2Unicode;
    const std::string body = mp3_detail::TextFrame("TIT2", title, unicode) +
                             mp3_detail::TextFrame("TPE1", singer, unicode) +
                             mp3_detail::TextFrame("TALB", album, unicode);
    const auto size = static_cast<std::uint32_t>(body.size());
    out << "ID3" << '\x03' << '\x00' << '\x00';  // version 2.3, no flags
    for (const int shift : {21, 14, 7, 0}) out << static_cast<char>((size >> shift) & 0x7F);
    out << body;
  }
  std::string frame(417, '\0');
  frame[0] = '\xFF';
  frame[1] = '\xFB';
  frame[2] = '\x90';
  for (int i = 0; i < frames; ++i) out << frame;
  if (style == TagStyle::kId3v1) {
    out << "TAG" << mp3_detail::Field(title, 30) << mp3_detail::Field(singer, 30)
        << mp3_detail::Field(album, 30) << std::string(4 + 30, '\0') << '\xFF';  // no genre
  }
}

// The small music folder the end-to-end tests serve through the catalog: two songs of one
// singer (jay/gaobai.mp3 告白气球, jay/qingtian.mp3 晴天, by 周杰伦) and one whose tags hold every
// character the name cleaning changes (band.mp3: "Either/Or: Live*" by "Simon & Garfunkel" on
// "What?").
inline void WriteSmallLibrary(const std::filesystem::path& music) {
  WriteMp3(music / "jay/gaobai.mp3", TagStyle::kId3v2Unicode, "告白气球", "周杰伦", "床边故事", 60);
  WriteMp3(music / "jay/qingtian.mp3", TagStyle::kId3v2Unicode, "晴天", "周杰伦", "叶惠美", 80);
  WriteMp3(music / "band.mp3", TagStyle::kId3v2Unicode, "Either/Or: Live*", "Simon & Garfunkel",
           "What?", 30);
}

// A fresh folder for the running test (FreshTestFolder) with the small library in "music" and
// an empty "save". The test removes it.
struct LibraryFolders {
  std::filesystem::path base, music, save;
};
inline LibraryFolders MakeSmallLibraryFolders(const std::string& prefix) {
  LibraryFolders folders;
  folders.base = FreshTestFolder(prefix);
  folders.music = folders.base / "music";
  folders.save = folders.base / "save";
  std::filesystem::create_directories(folders.save);
  WriteSmallLibrary(folders.music);
  return folders;
}

}  // namespace ornivel::test
