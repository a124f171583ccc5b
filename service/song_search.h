#pragma once
// The song search: the search box's keyword becomes rows of the song list.

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "http/http_failure.h"
#include "service/prompts.h"
#include "service/song_list.h"
#include "service/song_record_pattern.h"

namespace ornivel {

// The most song records a reply gives the list. A search asks for 500, and no real reply comes
// near this; a reply that holds more (a service gone wrong, or one that answers at length on
// purpose) fills the list with these, says the rest was left out, and costs no more to read.
inline constexpr int kMostSongRecords = 5000;
// The most of a reply looked through for records. The pattern runs over a copy of what it looks
// at, widened to UTF-16, so a reply at the longest body read (64 MiB) is not looked through
// whole; the records past this count as left out. A real reply is a few hundred kilobytes.
inline constexpr std::size_t kLongestRecordScan = 8u << 20;

// Runs on the window thread, bound to the search button. An empty keyword gives a message and
// changes nothing; otherwise the reply of the service fills the list. When another search is
// started while this one waits for its reply, the later search's results stand and this one
// changes nothing when its reply comes.
void SearchSongs(SongList& list, Prompts& prompts);

// Sends the search for `keyword` (GBK, not empty) to the service and returns its reply converted
// to GBK. `status`, when given, receives the request's outcome; after a failure the reply is
// empty or partial. `tooLong`, when given, is true when the reply went past the longest body
// read (kMaxResponseBody): the reply holds its first part, and its status is a failure.
[[nodiscard]] std::string RequestSearchReply(const std::string& keyword,
                                             HttpStatus* status = nullptr, bool* tooLong = nullptr);

// Empties the list and appends one row per song record of `reply` (GBK), up to
// kMostSongRecords and from its first kLongestRecordScan bytes; the number of rows. 0, with a
// message, when the pattern fails or finds no record. When records were left out (more than
// kMostSongRecords, more past kLongestRecordScan, or `cut`: the reply was cut short of its end),
// the rows are followed by RecordsLeftOutMessage.
int FillSongList(SongList& list, Prompts& prompts, const std::string& reply, bool cut = false);

// `text` with each pair's find text replaced by its replacement, pair after pair, ASCII letters
// compared without regard to case, a double-byte character never split. An empty find text
// changes nothing.
[[nodiscard]] std::string ReplaceMany(
    std::string_view text, const std::vector<std::pair<std::string, std::string>>& pairs);

// The cleaning passes of the three shown fields. The song name and the singer, which name the
// saved file, also lose every control character (0x00 to 0x1F, 0x7F) to a space.
[[nodiscard]] std::string CleanSongName(std::string_view name);
[[nodiscard]] std::string CleanSinger(std::string_view singer);
[[nodiscard]] std::string CleanAlbum(std::string_view album);

// The messages of the search, in GBK.
[[nodiscard]] std::string EmptyKeywordMessage();
[[nodiscard]] std::string PatternFailedMessage();
[[nodiscard]] std::string NoSongMessage();
// After the `listed` rows of a reply that held more.
[[nodiscard]] std::string RecordsLeftOutMessage(int listed);

}  // namespace ornivel
