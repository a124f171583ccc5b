#include "catalog/library.h"

#include <taglib/fileref.h>
#include <taglib/id3v1tag.h>
#include <taglib/id3v2tag.h>
#include <taglib/tag.h>

#include <algorithm>
#include <cstdio>

#include "catalog/file_beneath.h"
#include "text/ascii.h"
#include "text/code_page.h"

namespace ornivel::catalog {
namespace {

namespace fs = std::filesystem;

bool IsGbkTrail(unsigned char b) {
  return (b >= 0x40 && b <= 0x7E) || (b >= 0x80 && b <= 0xFE);
}

// Valid GBK with at least one double-byte character.
bool LooksLikeGbk(std::string_view bytes) {
  bool doubleByte = false;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const auto b = static_cast<unsigned char>(bytes[i]);
    if (b < 0x80) continue;
    if (b < 0x81 || b > 0xFE || i + 1 >= bytes.size() ||
        !IsGbkTrail(static_cast<unsigned char>(bytes[i + 1]))) {
      return false;
    }
    doubleByte = true;
    ++i;
  }
  return doubleByte;
}

std::string Latin1ToUtf8(std::string_view bytes) {
  std::string out;
  for (const char c : bytes) {
    const auto b = static_cast<unsigned char>(c);
    if (b < 0x80) {
      out.push_back(c);
    } else {
      out.push_back(static_cast<char>(0xC0 | (b >> 6)));
      out.push_back(static_cast<char>(0x80 | (b & 0x3F)));
    }
  }
  return out;
}

TagLib::String FromUtf8(const std::string& text) {
  return TagLib::String(text, TagLib::String::UTF8);
}

class Id3v1Reader final : public TagLib::ID3v1::StringHandler {
 public:
  TagLib::String parse(const TagLib::ByteVector& data) const override {
    // ID3v1 fields are padded with NULs and spaces.
    std::string bytes(data.data(), data.size());
    bytes.erase(std::find(bytes.begin(), bytes.end(), '\0'), bytes.end());
    while (!bytes.empty() && bytes.back() == ' ') bytes.pop_back();
    return FromUtf8(DecodeLatin1Field(bytes));
  }
};

class Id3v2Reader final : public TagLib::ID3v2::Latin1StringHandler {
 public:
  TagLib::String parse(const TagLib::ByteVector& data) const override {
    return FromUtf8(DecodeLatin1Field(std::string_view(data.data(), data.size())));
  }
};

std::uint64_t Fnv1a(std::string_view text) {
  std::uint64_t hash = 14695981039346656037ull;
  for (const char c : text) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 1099511628211ull;
  }
  return hash;
}

std::string Trimmed(std::string text) {
  const auto first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return {};
  const auto last = text.find_last_not_of(" \t");
  return text.substr(first, last - first + 1);
}

}  // namespace

std::string DecodeLatin1Field(std::string_view bytes) {
  if (LooksLikeGbk(bytes)) {
    const std::u16string wide = DecodeCodePage(bytes, kCodePageGbk);
    if (wide.find(u'\uFFFD') == std::u16string::npos) return EncodeCodePage(wide, kCodePageUtf8);
  }
  return Latin1ToUtf8(bytes);
}

void InstallLatin1FieldReader() {
  static const Id3v1Reader id3v1;
  static const Id3v2Reader id3v2;
  TagLib::ID3v1::Tag::setStringHandler(&id3v1);
  TagLib::ID3v2::Tag::setLatin1StringHandler(&id3v2);
}

std::string SongIdentifier(std::string_view relativePath) {
  char digits[17];
  std::snprintf(digits, sizeof digits, "%016llx",
                static_cast<unsigned long long>(Fnv1a(relativePath)));
  return std::string("MUSIC_") + digits;
}

void ReadSongTags(const fs::path& file, Song& song) {
  TagLib::FileRef ref(file.c_str());
  if (!ref.isNull() && ref.tag() != nullptr) {
    song.title = Trimmed(ref.tag()->title().to8Bit(true));
    song.singer = Trimmed(ref.tag()->artist().to8Bit(true));
    song.album = Trimmed(ref.tag()->album().to8Bit(true));
  }
  if (!ref.isNull() && ref.audioProperties() != nullptr) {
    song.seconds = ref.audioProperties()->lengthInSeconds();
  }
  if (song.title.empty() || song.singer.empty()) {
    const std::string stem = file.stem().string();
    const auto dash = stem.find(" - ");
    const std::string nameSinger = dash == std::string::npos ? "" : Trimmed(stem.substr(0, dash));
    const std::string nameTitle = dash == std::string::npos ? stem : Trimmed(stem.substr(dash + 3));
    if (song.title.empty()) song.title = nameTitle;
    if (song.singer.empty()) song.singer = nameSinger;
  }
  song.haystack = AsciiLowerText(song.title + "\n" + song.singer + "\n" + song.album);
}

Library Library::Scan(const fs::path& root) {
  Library library;
  std::error_code error;
  const fs::path base = fs::canonical(root, error);
  if (error) return library;
  std::vector<fs::path> files;
  for (auto it = fs::recursive_directory_iterator(
           base, fs::directory_options::skip_permission_denied, error);
       !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
    if (!it->is_regular_file(error)) continue;
    std::string extension = AsciiLowerText(it->path().extension().string());
    if (extension != ".mp3") continue;
    // Whatever a link leads to must lie inside the folder.
    const fs::path real = fs::canonical(it->path(), error);
    if (error) {
      error.clear();
      continue;
    }
    const auto [rootEnd, unused] =
        std::mismatch(base.begin(), base.end(), real.begin(), real.end());
    if (rootEnd != base.end()) continue;
    files.push_back(it->path());
  }
  std::sort(files.begin(), files.end());
  const FileDescriptor folder = OpenFolder(base.c_str());
  for (const fs::path& path : files) {
    Song song;
    song.file = path;
    song.relativePath = path.lexically_relative(base).generic_string();
    // Only what the service can serve is listed: a link that reaches inside through an absolute
    // path or through ".." is refused when the file is opened, so it is left out here too.
    if (!OpenBeneath(folder.get(), song.relativePath).fd) continue;
    song.identifier = SongIdentifier(song.relativePath);
    while (library.byIdentifier_.count(song.identifier) != 0) song.identifier += "_";
    ReadSongTags(path, song);
    library.byIdentifier_.emplace(song.identifier, library.songs_.size());
    library.byPath_.emplace(song.relativePath, library.songs_.size());
    library.songs_.push_back(std::move(song));
  }
  return library;
}

const Song* Library::FindByIdentifier(std::string_view identifier) const {
  const auto it = byIdentifier_.find(std::string(identifier));
  return it == byIdentifier_.end() ? nullptr : &songs_[it->second];
}

const Song* Library::FindByPath(std::string_view relativePath) const {
  const auto it = byPath_.find(std::string(relativePath));
  return it == byPath_.end() ? nullptr : &songs_[it->second];
}

}  // namespace ornivel::catalog
