#pragma once
// Song download: the selected row's song saved in the save folder as "artist - title.mp3".

#include <string>
#include <string_view>

#include "service/song_list.h"

namespace ornivel {

// Bound to "下载此歌曲": starts a worker running DownloadSong for the selected row, or, when
// its column 5 holds no address (nothing looked up, or an earlier download's status), asks the
// user to get the address first.
void StartDownload(FrontEnd& frontEnd);

// On a worker: downloads `address` for row `row`, reporting in the row's column 5.
void DownloadSong(FrontEnd& frontEnd, int row, const std::string& address);

// The names of one download, all GBK.
[[nodiscard]] std::string TemporaryFileName(std::string_view folder, std::string_view identifier);
[[nodiscard]] std::string TargetFileName(std::string_view folder, std::string_view artist,
                                         std::string_view title);
[[nodiscard]] std::string NumberedFileName(std::string_view folder, std::string_view artist,
                                           std::string_view title, int number);

// Whether an identifier may name a file: not empty, and without "/", "\", ".." or a control
// character, so a service cannot make the download write outside the save folder.
[[nodiscard]] bool IsSafeIdentifier(std::string_view identifier);

// The question and the four status texts, in GBK.
[[nodiscard]] std::string FileExistsQuestion();
[[nodiscard]] std::string DownloadingStatus();
[[nodiscard]] std::string DownloadedStatus();
[[nodiscard]] std::string RenameFailedStatus();
[[nodiscard]] std::string DownloadFailedStatus();

}  // namespace ornivel
