#include "service/song_download.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>

#include "service/file_fetch.h"
#include "service/file_system.h"
#include "service/song_address.h"
#include "text/ascii.h"
#include "text/gbk_text.h"
#include "text/text_convert.h"

namespace ornivel {

std::string FileExistsQuestion() {
  return Utf8ToGbk("文件已经存在，是否继续下载？");
}
std::string DownloadingStatus() {
  return Utf8ToGbk("歌曲下载中...");
}
std::string DownloadedStatus() {
  return Utf8ToGbk("下载成功");
}
std::string RenameFailedStatus() {
  return Utf8ToGbk("歌名太非主流，要手动修改");
}
std::string DownloadFailedStatus() {
  return Utf8ToGbk("下载失败");
}

std::string DownloadProgressStatus(std::int64_t received, std::int64_t announced) {
  char amount[32];
  if (announced > 0) {
    const std::int64_t percent = std::min<std::int64_t>(received, announced) * 100 / announced;
    std::snprintf(amount, sizeof amount, " %lld%%", static_cast<long long>(percent));
  } else {
    std::snprintf(amount, sizeof amount, " %.1f MB", static_cast<double>(received) / (1 << 20));
  }
  return DownloadingStatus() + amount;
}

std::string TemporaryFileName(std::string_view folder, std::string_view identifier, int attempt) {
  return JoinPath(folder, std::string(identifier) + "." + std::to_string(attempt) + ".part");
}

std::string TargetFileName(std::string_view folder, std::string_view singer,
                           std::string_view title) {
  return JoinPath(folder, std::string(singer) + " - " + std::string(title) + ".mp3");
}

std::string NumberedFileName(std::string_view folder, std::string_view singer,
                             std::string_view title, int number) {
  return JoinPath(folder, std::string(singer) + " - " + std::string(title) + "(" +
                              std::to_string(number) + ").mp3");
}

std::string IdentifierFileName(std::string_view folder, std::string_view identifier, int number) {
  std::string name(identifier);
  if (number > 0) name.append(1, '(').append(std::to_string(number)).append(1, ')');
  return JoinPath(folder, name.append(".mp3"));
}

bool IsSafeIdentifier(std::string_view identifier) {
  if (identifier.empty()) return false;
  if (TextFind(identifier, "/") != -1 || TextFind(identifier, "\\") != -1 ||
      TextFind(identifier, "..") != -1) {
    return false;
  }
  // The names made of it ("ID.1.part", "ID.mp3") must name ordinary files of the folder.
  return !HasAsciiControl(identifier) && IsPlainFileName(identifier);
}

void StartDownload(SongList& list, Prompts& prompts, WorkerStarter& workers,
                   std::string saveFolder) {
  const int row = list.SelectedRow();
  const std::string address = list.GetCellText(row, kColumnAddress);
  // Column 5 may hold a failed lookup's or an earlier download's status instead of an address.
  if (!IsDownloadAddress(address)) {
    prompts.ShowMessage(AddressFirstMessage(), MessageIcon::kInformation);
    return;
  }
  workers.StartWorker([&list, &prompts, row, address, folder = std::move(saveFolder)] {
    DownloadSong(list, prompts, row, address, folder);
  });
}

namespace {

// Far more than any folder holds of one song; it only bounds the loops below.
constexpr int kMaxNumber = 100000;

// Renames `from` to the first free name of names(0), names(1), ... A name taken between the
// look and the rename (another download finishing at that moment) moves on to the next one.
// The name taken, or nullopt when a free name cannot be made.
std::optional<std::string> MoveToFreeName(const std::string& from,
                                          const std::function<std::string(int)>& names) {
  for (int number = 0; number <= kMaxNumber; ++number) {
    std::string name = names(number);
    if (PathExists(name)) continue;
    if (RenameNoReplace(from, name)) return name;
    if (!PathExists(name)) return std::nullopt;
  }
  return std::nullopt;
}

}  // namespace

SaveResult SaveSong(const std::string& address, const SongToSave& song, const std::string& folder,
                    const SaveEvents& events) {
  if (!IsSafeIdentifier(song.identifier)) return {SaveOutcome::kUnsafeIdentifier, {}};
  const std::function<std::string(int)> identifierName = [&](int number) {
    return IdentifierFileName(folder, song.identifier, number);
  };
  const std::function<std::string(int)> songName = [&](int number) {
    return number == 0 ? TargetFileName(folder, song.singer, song.title)
                       : NumberedFileName(folder, song.singer, song.title, number);
  };
  const auto& names = song.namedByIdentifier ? identifierName : songName;
  const std::string target = names(0);
  if (PathExists(target) && events.keepNumberedCopy && !events.keepNumberedCopy(target)) {
    return {SaveOutcome::kDeclined, target};
  }
  if (events.started) events.started();

  // A name of this download's own: a leftover of an interrupted download, or the same song
  // downloading at this moment, takes the next attempt's name and is never truncated. Any other
  // failure (a missing or unwritable folder, a name the system refuses) ends the search for one.
  std::string temporary;
  std::unique_ptr<NewFile> file;
  for (int attempt = 1; attempt <= kMaxNumber && !file; ++attempt) {
    temporary = TemporaryFileName(folder, song.identifier, attempt);
    bool nameTaken = false;
    file = CreateNewFile(temporary, &nameTaken);
    if (!file && !nameTaken) break;
  }
  if (!file) return {SaveOutcome::kCannotCreate, {}};

  std::int64_t announced = -1;
  std::int64_t received = 0;
  bool written = true;
  ProgressThrottle own(ProgressThrottle::Clock::now());
  ProgressThrottle& throttle = events.throttle != nullptr ? *events.throttle : own;
  const bool fetched = FetchUrl(
      address,
      [&](std::span<const std::uint8_t> piece) {
        if (!file->Write(piece)) {
          written = false;
          return false;
        }
        received += static_cast<std::int64_t>(piece.size());
        if (events.progress && throttle.Due()) events.progress(received, announced);
        return true;
      },
      [&announced](std::int64_t length) { announced = length; });
  if (!fetched || !file->Finish()) {
    file->Remove();
    return {written && !fetched ? SaveOutcome::kTransferFailed : SaveOutcome::kWriteFailed, {}};
  }

  if (auto saved = MoveToFreeName(temporary, names)) return {SaveOutcome::kSaved, *saved};
  // The file system refuses the name (too long, or characters it cannot hold): the song stays
  // under its identifier, and under its temporary name only if even that cannot be made.
  auto kept = MoveToFreeName(temporary, identifierName);
  return {SaveOutcome::kSavedUnderIdentifier, kept ? *kept : temporary};
}

void DownloadSong(SongList& list, Prompts& prompts, int row, const std::string& address,
                  const std::string& saveFolder) {
  SongToSave song;
  song.identifier = list.GetCellText(row, kColumnIdentifier);
  song.title = list.GetCellText(row, kColumnTitle);
  song.singer = list.GetCellText(row, kColumnSinger);
  // Statuses go to the row only while it holds this song: a new search may refill the list.
  const auto report = [&](const std::string& text) {
    (void)list.SetCellTextIfHolds(row, kColumnAddress, text, kColumnIdentifier, song.identifier);
  };
  SaveEvents events;
  events.keepNumberedCopy = [&prompts](const std::string&) {
    return prompts.AskYesNo(FileExistsQuestion());
  };
  events.started = [&] { report(DownloadingStatus()); };
  events.progress = [&](std::int64_t received, std::int64_t announced) {
    report(DownloadProgressStatus(received, announced));
  };
  switch (SaveSong(address, song, saveFolder, events).outcome) {
    case SaveOutcome::kSaved:
      report(DownloadedStatus());
      break;
    case SaveOutcome::kSavedUnderIdentifier:
      report(RenameFailedStatus());
      break;
    case SaveOutcome::kDeclined:
      break;  // the row keeps its address
    case SaveOutcome::kUnsafeIdentifier:
    case SaveOutcome::kCannotCreate:
    case SaveOutcome::kTransferFailed:
    case SaveOutcome::kWriteFailed:
      report(DownloadFailedStatus());
      break;
  }
}

}  // namespace ornivel
