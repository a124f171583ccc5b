#pragma once
// Song download: the selected row's song saved in the save folder as "artist - title.mp3".

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "service/prompts.h"
#include "service/song_list.h"
#include "service/worker_starter.h"

namespace ornivel {

// Bound to "下载此歌曲": starts a worker running DownloadSong for the selected row into
// `saveFolder` (the save folder as it is now, GBK), or, when its column 5 holds no address
// (nothing looked up, a failed lookup, or an earlier download's status), asks the user to get
// the address first.
void StartDownload(SongList& list, Prompts& prompts, WorkerStarter& workers,
                   std::string saveFolder);

// On a worker: downloads `address` for row `row` into `saveFolder`, reporting in the row's
// column 5 for as long as the row holds the song it started with.
//
// The bytes stream into a temporary file of the download's own (created exclusively, so no
// earlier download, leftover or planted link can block or redirect it), flushed to disk and
// renamed to the first free one of "artist - title.mp3", "artist - title(1).mp3", ... A rename
// never replaces a file, so two downloads never end in one name. When no such name can be made,
// the song is kept as "identifier.mp3" (numbered the same way when taken). On any failure the
// temporary file is removed.
void DownloadSong(SongList& list, Prompts& prompts, int row, const std::string& address,
                  const std::string& saveFolder);

// The names of one download, all GBK. `attempt` counts from 1.
[[nodiscard]] std::string TemporaryFileName(std::string_view folder, std::string_view identifier,
                                            int attempt);
[[nodiscard]] std::string TargetFileName(std::string_view folder, std::string_view artist,
                                         std::string_view title);
[[nodiscard]] std::string NumberedFileName(std::string_view folder, std::string_view artist,
                                           std::string_view title, int number);
// "identifier.mp3", or "identifier(n).mp3" for n of 1 and more.
[[nodiscard]] std::string IdentifierFileName(std::string_view folder, std::string_view identifier,
                                             int number);

// Whether an identifier may name a file: not empty, and without "/", "\", ".." or a control
// character, so a service cannot make the download write outside the save folder.
[[nodiscard]] bool IsSafeIdentifier(std::string_view identifier);

// The question and the status texts, in GBK. DownloadProgressStatus appends the share done when
// the length is known ("歌曲下载中... 37%"), else the bytes so far ("歌曲下载中... 2.4 MB").
[[nodiscard]] std::string FileExistsQuestion();
[[nodiscard]] std::string DownloadingStatus();
[[nodiscard]] std::string DownloadProgressStatus(std::int64_t received, std::int64_t announced);
[[nodiscard]] std::string DownloadedStatus();
[[nodiscard]] std::string RenameFailedStatus();
[[nodiscard]] std::string DownloadFailedStatus();

}  // namespace ornivel
