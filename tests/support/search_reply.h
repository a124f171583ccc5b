#pragma once
// Search replies as a music service sends them: every record on one line, in UTF-8.

#include <string>

namespace ornivel::test {

// Identifier of the record numbered `n` in the replies below.
inline std::string RecordIdentifier(int n) {
  return "MUSIC_" + std::to_string(100000 + n);
}
// Song name of the record numbered `n` (UTF-8).
inline std::string RecordSongName(int n) {
  static const char* const kTitles[] = {"月亮代表我的心", "甜蜜蜜", "后来", "晴天", "稻香"};
  return std::string(kTitles[n % 5]) + " (Live " + std::to_string(n) + ")";
}
// Singer of the record numbered `n` (UTF-8).
inline std::string RecordSinger(int n) {
  static const char* const kSingers[] = {"邓丽君", "刘若英", "周杰伦", "The Carpenters"};
  return kSingers[n % 4];
}
inline const char* RecordAlbum() {
  return "经典金曲";
}

// The record numbered `n`, its singer under `singerKey`. `fields` stand between the album and
// the singer (",'name':'value'" each), as further fields of the service do.
inline std::string SearchRecord(int n, const std::string& singerKey = "artist",
                                const std::string& fields = "") {
  return "{'rid':'" + RecordIdentifier(n) + "','songName':'" + RecordSongName(n) + "','album':'" +
         RecordAlbum() + "','duration':'" + std::to_string(180 + n % 90) + "','format':'mp3'" +
         fields + ",'" + singerKey + "':'" + RecordSinger(n) + "'},";
}

// A whole reply around `records`, on one line.
inline std::string OneLineSearchReply(const std::string& records, int total) {
  return "try{var jsondata={'TOTAL':'" + std::to_string(total) +
         "','PN':'1','RN':'500','abslist':[" + records + "]}}";
}

// `good` records numbered 1 to `good`, then `artistName` records numbered on from there whose
// singer key is "artistName" instead of "artist", all on one line.
inline std::string OneLineSearchReply(int good, int artistName = 0) {
  std::string records;
  for (int n = 1; n <= good + artistName; ++n) {
    records += SearchRecord(n, n <= good ? "artist" : "artistName");
  }
  return OneLineSearchReply(records, good + artistName);
}

}  // namespace ornivel::test
