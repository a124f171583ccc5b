#pragma once
// Song download: the selected row's song saved in the save folder as "singer - title.mp3".

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "service/file_fetch.h"
#include "service/part_file.h"
#include "service/prompts.h"
#include "service/song_list.h"
#include "service/worker_starter.h"

namespace ornivel {

struct SaveRules;

// Bound to "下载此歌曲": starts a worker running DownloadSong for the selected row into
// `saveFolder` (the save folder as it is now, GBK), or, when its column 5 holds no address
// (nothing looked up, a failed lookup, or an earlier download's status), asks the user to get
// the address first.
void StartDownload(SongList& list, Prompts& prompts, WorkerStarter& workers,
                   std::string saveFolder);

// On a worker: saves `address` for row `row` into `saveFolder` with SaveSong under `rules`,
// asking before it saves a numbered copy, and reports in the row's column 5 for as long as the
// row holds the song it started with: its progress, each next try, and how it ended.
void DownloadSong(SongList& list, Prompts& prompts, int row, const std::string& address,
                  const std::string& saveFolder, const SaveRules& rules);

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
  kFolderMissing,         // the save folder is not there (or is no folder)
  kCannotCreate,          // no file can be made in the folder (SaveResult::fileError)
  kUnreachable,           // the server could not be reached, on every try
  kServerError,           // the server answered with an error status (SaveResult::status)
  kNotASong,              // the answer was a text document, an encoded body, or empty
  kTransferFailed,        // the song broke off or stalled on every try, or cannot be followed
  kWriteFailed,           // the song could not be written to the disk (SaveResult::fileError)
  kInterrupted,           // the downloads were stopped (StopDownloads) before it was whole
};

struct SaveResult {
  SaveOutcome outcome = SaveOutcome::kTransferFailed;
  // Where the song now lies (kSaved, kSavedUnderIdentifier), or the name that was taken
  // (kDeclined); empty otherwise.
  std::string path;
  int status = 0;                          // the last answer's status, 0 when none came
  FileError fileError = FileError::kNone;  // why the file could not be made or written
  int tries = 0;      // the requests the song took, a start over within a try counted
  bool kept = false;  // a partial file was kept for a later try to go on from
};

// How many tries a song gets, and the waits before the second and later ones.
inline constexpr int kDownloadTries = 3;
// Doubled for each next try, up to kLongestRetryAfter.
inline constexpr std::chrono::milliseconds kFirstRetryWait{1000};
// A Retry-After up to this long is waited for; a longer one ends the tries.
inline constexpr std::chrono::seconds kLongestRetryAfter{30};

// What SaveSong may take; tests make the figures small.
struct SaveRules {
  int tries = kDownloadTries;
  std::chrono::milliseconds firstRetryWait = kFirstRetryWait;
  std::chrono::milliseconds longestRetryAfter = kLongestRetryAfter;
  std::int64_t lowSpeedBytes = kSongStallBytesPerSecond;
  std::chrono::milliseconds lowSpeedWindow = kSongStallWindow;
  // Raised to stop the save (it keeps its partial file); null for the process's, StopDownloads.
  const std::atomic<bool>* stop = nullptr;
};

// Whether a second try may mend a failure: the statuses 408, 429, 500, 502, 503 and 504.
[[nodiscard]] bool IsRetryableStatus(int status);

// Whether an answer with this Content-Type is a text document and no song: text/*,
// application/json, application/xml, or any type ending in "+xml" (any letter case, parameters
// after ";" aside).
[[nodiscard]] bool IsTextDocumentType(std::string_view contentType);

// The seconds of a Retry-After value that gives them (an HTTP date is not read); nullopt when it
// does not.
[[nodiscard]] std::optional<std::chrono::seconds> RetryAfterSeconds(std::string_view value);

// Whether a Content-Range value ("bytes first-last/total") answers a request for the rest of a
// file of `total` bytes from `first` on.
[[nodiscard]] bool IsRestOfFile(std::string_view contentRange, std::int64_t first,
                                std::int64_t total);

// Stops every download of the process as soon as it can (the program is closing), each keeping
// its partial file for a later try. Safe in a signal handler.
void StopDownloads();
[[nodiscard]] bool DownloadsStopped();
// The saves running now (SaveSong calls).
[[nodiscard]] int RunningDownloads();
// Waits up to `longest` for the running saves to end; true when none is left.
bool WaitForDownloads(std::chrono::milliseconds longest);

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
  // A try failed and the next one, `next` of `tries`, starts after `wait`.
  std::function<void(int next, int tries, std::chrono::milliseconds wait)> retrying;
  // The throttle of the progress reports, shared by saves that report on one line (a batch);
  // null: the save's own, which lets the first report through a quarter second after the start.
  ProgressThrottle* throttle = nullptr;
};

// Saves the song at `address` into `folder` the way every front end does. The bytes stream into
// the song's partial file (part_file.h): a leftover of an earlier try of the same address when
// one is there, else a new one of the download's own (created exclusively, so no other download,
// leftover or planted link can block or redirect it). Only a whole song counts: a 200 to the
// plain request, or a 206 that gives exactly the rest the partial file lacks, whose body is not
// a text document and not encoded. A failure a second try can mend (no connection, a cut or
// stalled body, 408, 429, 500, 502, 503, 504) is tried again, up to `rules.tries` tries, going on
// from the bytes received. The whole song is flushed to disk and renamed to the first free one of
// "singer - title.mp3", "singer - title(1).mp3", ... A rename never replaces a file, so two
// downloads never end in one name. When no such name can be made, the song is kept as
// "identifier.mp3" (numbered the same way when taken). A failure keeps the partial file only
// when a later try can go on from it; otherwise it is removed.
[[nodiscard]] SaveResult SaveSong(const std::string& address, const SongToSave& song,
                                  const std::string& folder, const SaveEvents& events = {},
                                  const SaveRules& rules = {});

// The names a download saves under, all GBK (its partial file's: part_file.h).
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
// The status of a save that failed, for column 5 and for ornivel-dl's lines: "下载失败：" and what
// a person can act on ("下载失败：磁盘已满", "下载失败：服务器错误 404").
[[nodiscard]] std::string SaveFailureStatus(const SaveResult& result);
// Between tries: "下载失败，重试中 (2/3)".
[[nodiscard]] std::string RetryingStatus(int next, int tries);
// Asked when the window is closed while a download runs.
[[nodiscard]] std::string QuitWhileDownloadingQuestion();

}  // namespace ornivel
