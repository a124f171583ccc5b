#pragma once
// What ornivel-dl writes about songs: the search's lines for people and for programs, and the
// progress line of a download. Inputs are GBK; outputs are UTF-8, ready for the console.

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ornivel {

// One song of a search, its texts as the window's list shows them (GBK).
struct SongLine {
  int number = 0;
  std::string title;
  std::string singer;
  std::string album;
  std::string identifier;
};

// The columns a GBK text takes on a terminal: two for each Chinese (East Asian wide or
// full-width) character, one for any other.
[[nodiscard]] std::size_t DisplayWidth(std::string_view gbk);

// `gbk` with each control character (00 to 1F, 7F) made `replacement`, so that no text from the
// service can move the cursor, end a line or send an escape sequence to a terminal.
[[nodiscard]] std::string PrintableText(std::string_view gbk, char replacement = '?');

// One line per song, its columns (number, title, singer, album, identifier) aligned by their
// widths on a terminal; control characters of the texts become spaces. Each line ends in "\n".
[[nodiscard]] std::string SongTableLines(const std::vector<SongLine>& songs);

// One JSON object on one line ("\n" at the end): {"index":N,"id":...,"title":...,"singer":...,
// "album":...}, the texts UTF-8 with JSON's escapes.
[[nodiscard]] std::string SongJsonLine(const SongLine& song);

// A line as SongJsonLine writes it (or any one-line JSON object of strings, numbers, true,
// false and null) read back: its "id", "title", "singer" and "album" strings as GBK, "index" as
// the number. nullopt when it is no such object, has no "id" string, or holds a text GBK cannot
// hold.
[[nodiscard]] std::optional<SongLine> ReadSongJsonLine(std::string_view utf8);

// `utf8` as a JSON string, quotes included.
[[nodiscard]] std::string JsonString(std::string_view utf8);

// The progress line of a download: the share done when the length is known, else the
// megabytes so far; the mean speed since the start; then `label` (GBK), cut so the line keeps
// within `columns`. No line end.
[[nodiscard]] std::string ProgressText(std::int64_t received, std::int64_t announced,
                                       std::chrono::milliseconds elapsed, std::string_view label,
                                       std::size_t columns = 79);

}  // namespace ornivel
