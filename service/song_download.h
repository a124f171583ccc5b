#pragma once
// Song download: the selected row's song saved in the save folder as "singer - title.mp3".

#include <chrono>
#include <cstdint>
#include <functional>
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

// On a worker: saves `address` for row `row` into `saveFolder` with SaveSong, asking before it
// saves a numbered copy, and reports in the row's column 5 for as long as the row holds the song
// it started with.
void DownloadSong(SongList& list, Prompts& prompts, int row, const std::string& address,
                  const std::string& saveFolder);

// One song to save, its texts GBK: the identifier names the temporary file, the singer and the
// title the saved one ("singer - title.mp3"). A front end that knows only the identifier names
// the file after it ("identifier.mp3") instead.
struct SongToSave {
  std::string identifier;
  std::string singer;
  std::string title;
  bool namedByIdentifier = false;
};

enum class SaveOutcome {
  kSaved,                 // under its name, or the first free numbered one
  kSavedUnderIdentifier,  // the file system refused the name: kept as "identifier.mp3"
  kDeclined,              // the name was taken and the caller wanted no numbered copy
  kUnsafeIdentifier,      // the identifier cannot name a file (see IsSafeIdentifier)
  kCannotCreate,          // no file can be made in the folder
  kTransferFailed,        // the server did not send the whole song
  kWriteFailed,           // the song could not be written to the disk
};

struct SaveResult {
  SaveOutcome outcome = SaveOutcome::kTransferFailed;
  // Where the song now lies (kSaved, kSavedUnderIdentifier), or the name that was taken
  // (kDeclined); empty otherwise.
  std::string path;
};

// The one limit on progress reports: at most four a second. In the window each is a hand-over
// to its thread; on a terminal, a redraw.
class ProgressThrottle {
 public:
  using Clock = std::chrono::steady_clock;
  static constexpr auto kInterval = std::chrono::milliseconds(250);

  ProgressThrottle() = default;  // the first report is due at once
  explicit ProgressThrottle(Clock::time_point last) : last_(last) {}

  // Whether a report is due at `now`; when it is, it counts as made.
  [[nodiscard]] bool Due(Clock::time_point now = Clock::now()) {
    if (last_ && now - *last_ < kInterval) return false;
    last_ = now;
    return true;
  }

 private:
  std::optional<Clock::time_point> last_;
};

// What SaveSong tells its caller while it works; each may be left empty.
struct SaveEvents {
  // The song's name is taken: true to save a numbered copy beside it; empty means true. Never
  // asked again once the transfer has started: a name taken meanwhile gets the next number.
  std::function<bool(const std::string& taken)> keepNumberedCopy;
  // The transfer starts.
  std::function<void()> started;
  // The bytes received so far and the length the server announced (-1 when it announced none),
  // when `throttle` lets it.
  std::function<void(std::int64_t received, std::int64_t announced)> progress;
  // The throttle of the progress reports, shared by saves that report on one line (a batch);
  // null: the save's own, which lets the first report through a quarter second after the start.
  ProgressThrottle* throttle = nullptr;
};

// Saves the song at `address` into `folder` the way every front end does: the bytes stream into
// a temporary file of the download's own (created exclusively, so no earlier download, leftover
// or planted link can block or redirect it), which is kept only when the server sent the whole
// song, flushed to disk and renamed to the first free one of "singer - title.mp3",
// "singer - title(1).mp3", ... A rename never replaces a file, so two downloads never end in one
// name. When no such name can be made, the song is kept as "identifier.mp3" (numbered the same
// way when taken). On any failure the temporary file is removed.
[[nodiscard]] SaveResult SaveSong(const std::string& address, const SongToSave& song,
                                  const std::string& folder, const SaveEvents& events = {});

// The names of one download, all GBK. `attempt` counts from 1.
[[nodiscard]] std::string TemporaryFileName(std::string_view folder, std::string_view identifier,
                                            int attempt);
[[nodiscard]] std::string TargetFileName(std::string_view folder, std::string_view singer,
                                         std::string_view title);
[[nodiscard]] std::string NumberedFileName(std::string_view folder, std::string_view singer,
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
