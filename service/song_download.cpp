#include "service/song_download.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>

#include "service/file_fetch.h"
#include "service/file_system.h"
#include "service/song_address.h"
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

std::string TargetFileName(std::string_view folder, std::string_view artist,
                           std::string_view title) {
  return JoinPath(folder, std::string(artist) + " - " + std::string(title) + ".mp3");
}

std::string NumberedFileName(std::string_view folder, std::string_view artist,
                             std::string_view title, int number) {
  return JoinPath(folder, std::string(artist) + " - " + std::string(title) + "(" +
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
  return std::none_of(identifier.begin(), identifier.end(), [](char c) {
    const auto b = static_cast<unsigned char>(c);
    return b < 0x20 || b == 0x7F;
  });
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
// At most four progress texts a second: each is a hand-over to the window thread.
constexpr auto kProgressInterval = std::chrono::milliseconds(250);

// Renames `from` to the first free name of names(0), names(1), ... A name taken between the
// look and the rename (another download finishing at that moment) moves on to the next one.
// False when a free name cannot be made.
bool MoveToFreeName(const std::string& from, const std::function<std::string(int)>& names) {
  for (int number = 0; number <= kMaxNumber; ++number) {
    const std::string name = names(number);
    if (PathExists(name)) continue;
    if (RenameNoReplace(from, name)) return true;
    if (!PathExists(name)) return false;
  }
  return false;
}

}  // namespace

void DownloadSong(SongList& list, Prompts& prompts, int row, const std::string& address,
                  const std::string& saveFolder) {
  const std::string identifier = list.GetCellText(row, kColumnIdentifier);
  const std::string title = list.GetCellText(row, kColumnTitle);
  const std::string artist = list.GetCellText(row, kColumnArtist);
  // Statuses go to the row only while it holds this song: a new search may refill the list.
  const auto report = [&](const std::string& text) {
    (void)list.SetCellTextIfHolds(row, kColumnAddress, text, kColumnIdentifier, identifier);
  };
  if (!IsSafeIdentifier(identifier)) {
    report(DownloadFailedStatus());
    return;
  }
  const std::string target = TargetFileName(saveFolder, artist, title);
  if (PathExists(target) && !prompts.AskYesNo(FileExistsQuestion())) return;
  report(DownloadingStatus());

  // A name of this download's own: a leftover of an interrupted download, or the same song
  // downloading at this moment, takes the next attempt's name and is never truncated.
  std::string temporary;
  std::unique_ptr<NewFile> file;
  for (int attempt = 1; attempt <= kMaxNumber && !file; ++attempt) {
    temporary = TemporaryFileName(saveFolder, identifier, attempt);
    file = CreateNewFile(temporary);
    if (!file && !PathExists(temporary)) break;  // the folder is missing or not writable
  }
  if (!file) {
    report(DownloadFailedStatus());
    return;
  }

  std::int64_t announced = -1;
  std::int64_t received = 0;
  auto lastReport = std::chrono::steady_clock::now();
  const bool fetched = FetchUrl(
      address,
      [&](std::span<const std::uint8_t> piece) {
        if (!file->Write(piece)) return false;
        received += static_cast<std::int64_t>(piece.size());
        const auto now = std::chrono::steady_clock::now();
        if (now - lastReport >= kProgressInterval) {
          lastReport = now;
          report(DownloadProgressStatus(received, announced));
        }
        return true;
      },
      [&announced](std::int64_t length) { announced = length; });
  if (!fetched || !file->Finish()) {
    file->Remove();
    report(DownloadFailedStatus());
    return;
  }

  if (MoveToFreeName(temporary, [&](int number) {
        return number == 0 ? target : NumberedFileName(saveFolder, artist, title, number);
      })) {
    report(DownloadedStatus());
    return;
  }
  // The file system refuses the name (too long, or characters it cannot hold): the song stays
  // under its identifier, and under its temporary name only if even that cannot be made.
  (void)MoveToFreeName(
      temporary, [&](int number) { return IdentifierFileName(saveFolder, identifier, number); });
  report(RenameFailedStatus());
}

}  // namespace ornivel
