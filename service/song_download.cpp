#include "service/song_download.h"

#include <algorithm>

#include "service/file_fetch.h"
#include "service/file_system.h"
#include "service/song_address.h"
#include "text/gbk_text.h"
#include "text/text_convert.h"

namespace ornivel {

std::string FileExistsQuestion() { return Utf8ToGbk("文件已经存在，是否继续下载？"); }
std::string DownloadingStatus() { return Utf8ToGbk("歌曲下载中..."); }
std::string DownloadedStatus() { return Utf8ToGbk("下载成功"); }
std::string RenameFailedStatus() { return Utf8ToGbk("歌名太非主流，要手动修改"); }
std::string DownloadFailedStatus() { return Utf8ToGbk("下载失败"); }

std::string TemporaryFileName(std::string_view folder, std::string_view identifier) {
  return JoinPath(folder, std::string(identifier) + ".mp3");
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

void StartDownload(FrontEnd& frontEnd) {
  const int row = frontEnd.SelectedRow();
  const std::string address = frontEnd.GetCellText(row, kColumnAddress);
  // Column 5 may hold an earlier download's status instead of an address.
  if (TextFind(address, "http://", 1, true) != 1 && TextFind(address, "https://", 1, true) != 1) {
    frontEnd.ShowMessage(AddressFirstMessage(), MessageIcon::kInformation);
    return;
  }
  frontEnd.StartWorker([&frontEnd, row, address] { DownloadSong(frontEnd, row, address); });
}

void DownloadSong(FrontEnd& frontEnd, int row, const std::string& address) {
  const std::string folder = frontEnd.SaveFolder();
  const std::string identifier = frontEnd.GetCellText(row, kColumnIdentifier);
  const std::string title = frontEnd.GetCellText(row, kColumnTitle);
  const std::string artist = frontEnd.GetCellText(row, kColumnArtist);
  if (!IsSafeIdentifier(identifier)) {
    frontEnd.SetCellText(row, kColumnAddress, DownloadFailedStatus());
    return;
  }
  const std::string temporary = TemporaryFileName(folder, identifier);
  const std::string target = TargetFileName(folder, artist, title);

  if (PathExists(target) && !frontEnd.AskYesNo(FileExistsQuestion())) return;
  frontEnd.SetCellText(row, kColumnAddress, DownloadingStatus());

  // Created exclusively: a file already named so (a song kept under its identifier, or the
  // same song downloading at this moment) is never truncated.
  const std::unique_ptr<NewFile> file = CreateNewFile(temporary);
  if (!file) {
    frontEnd.SetCellText(row, kColumnAddress, DownloadFailedStatus());
    return;
  }
  const bool fetched = FetchUrl(address, [&file](std::span<const std::uint8_t> piece) {
    return file->Write(piece);
  });
  if (!fetched || !file->Finish()) {
    file->Remove();
    frontEnd.SetCellText(row, kColumnAddress, DownloadFailedStatus());
    return;
  }

  std::string chosen = target;
  for (int number = 1; PathExists(chosen); ++number) {
    chosen = NumberedFileName(folder, artist, title, number);
  }
  frontEnd.SetCellText(row, kColumnAddress,
                       RenameNoReplace(temporary, chosen) ? DownloadedStatus()
                                                          : RenameFailedStatus());
}

}  // namespace ornivel
