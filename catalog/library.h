#pragma once
// The catalog's music library: every MP3 file under one folder, with its tags.

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace ornivel::catalog {

struct Song {
  std::string identifier;    // stable: derived from the relative path
  std::string relativePath;  // UTF-8, "/"-separated, inside the music folder
  std::filesystem::path file;
  std::string title;  // UTF-8
  std::string singer;
  std::string album;
  int seconds = 0;
  std::string haystack;  // title, singer and album in lower case, for the search
};

class Library {
 public:
  // Indexes every .mp3 file under `root`, recursively, in path order. Files reached through a
  // link that leads out of the folder are left out, and so are those the service could not
  // open beneath the folder (a link by an absolute path or through "..", even to a file inside).
  static Library Scan(const std::filesystem::path& root);

  const std::vector<Song>& songs() const { return songs_; }
  const Song* FindByIdentifier(std::string_view identifier) const;
  const Song* FindByPath(std::string_view relativePath) const;

 private:
  std::vector<Song> songs_;
  std::unordered_map<std::string, std::size_t> byIdentifier_;
  std::unordered_map<std::string, std::size_t> byPath_;
};

// The identifier of the song at `relativePath`: "MUSIC_" and 16 hexadecimal digits of a hash
// of the path, so it survives a restart.
[[nodiscard]] std::string SongIdentifier(std::string_view relativePath);

// Reads the tags of `file` (title, singer, album, length), falling back to the file name
// "singer - title.mp3" where tags are missing.
void ReadSongTags(const std::filesystem::path& file, Song& song);

// Text a tag marks as Latin-1 is often GBK in practice: when `bytes` form valid GBK text with at
// least one double-byte character, it is read as GBK; otherwise as Latin-1. UTF-8 comes back.
[[nodiscard]] std::string DecodeLatin1Field(std::string_view bytes);

// Installs DecodeLatin1Field as the tag library's reader of Latin-1 fields (ID3v1 and ID3v2).
void InstallLatin1FieldReader();

}  // namespace ornivel::catalog
