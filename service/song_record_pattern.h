#pragma once
// The song-record pattern of the search reply and the options it runs with, in one place for
// the program, its tests and its benchmarks: groups 1 identifier, 2 song name, 3 album,
// 4 whatever stands before the 'artist' field, 5 the singer.

#include <string_view>

#include "regex/regex_object.h"

namespace ornivel {

inline constexpr std::string_view kSongRecordPattern =
    "rid':'(.*?)','songName':'(.*?)','album':'(.*?)','(.*?)artist':'(.*?)'";

// Letters in any case, every record, "^" and "$" at the ends of the reply only, and "#引号" for
// a double quote.
inline constexpr RegexOptions kSongRecordOptions{.multiline = false, .quoteToken = true};

}  // namespace ornivel
