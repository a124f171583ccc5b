#pragma once
// The song-record pattern of the search reply, in one place for the program, its tests and its
// benchmarks: groups 1 identifier, 2 song name, 3 album, 4 whatever stands before the artist
// field, 5 artist.

#include <string_view>

namespace ornivel {

inline constexpr std::string_view kSongRecordPattern =
    "rid':'(.*?)','songName':'(.*?)','album':'(.*?)','(.*?)artist':'(.*?)'";

}  // namespace ornivel
