#include "app/main_window_events.h"

#include <chrono>

#include "service/song_address.h"
#include "service/song_download.h"
#include "service/song_search.h"
#include "text/never_freed.h"

namespace ornivel {
namespace {

// How long a closing window waits for stopped downloads to close their files: a transfer sees
// the stop within a fraction of a second.
constexpr std::chrono::milliseconds kStopWait{2000};

}  // namespace

void MainWindowEvents::SearchClicked() {
  SearchSongs(list_, prompts_);
}

void MainWindowEvents::ListLeftClicked() {
  StartAddressLookup(list_, workers_);
}

void MainWindowEvents::CopyAddressChosen() {
  CopySongAddress(list_, prompts_);
}

void MainWindowEvents::DownloadChosen() {
  // Each download takes its own copy of the save folder when it starts.
  StartDownload(list_, prompts_, workers_, store_.Get());
}

void MainWindowEvents::ChangeFolderChosen() {
  ChooseSaveFolder(folderWindow_, prompts_, store_, paths_);
}

void MainWindowEvents::Created() {
  startNotices_ = LoadSaveFolder(folderWindow_, store_, paths_);
}

void MainWindowEvents::Shown() {
  // Each once: the notices go as they are shown.
  std::vector<StartNotice> notices;
  notices.swap(startNotices_);
  for (const StartNotice& notice : notices) prompts_.ShowMessage(notice.text, notice.icon);
}

bool MainWindowEvents::CloseAsked() {
  if (RunningDownloads() == 0) return true;
  if (!prompts_.AskYesNo(QuitWhileDownloadingQuestion())) return false;
  StopDownloads();
  return true;
}

void FinishStoppedDownloads() {
  if (DownloadsStopped()) (void)WaitForDownloads(kStopWait);
}

SaveFolderStore& ProgramSaveFolder() {
  // A worker still running at exit may read it.
  static NeverFreed<SaveFolderStore> store;
  return *store;
}

void ExitCleanup() {
  ProgramSaveFolder().Set(std::string());
}

}  // namespace ornivel
