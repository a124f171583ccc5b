#pragma once
// What the main window's events run, the same in both front ends: each front end binds its
// toolkit's events to these. Only the tip dialog, a window of the toolkit's own, is shown by
// the front end itself.

#include <vector>

#include "app/program_paths.h"
#include "app/settings.h"
#include "service/prompts.h"
#include "service/song_list.h"
#include "service/worker_starter.h"

namespace ornivel {

class MainWindowEvents {
 public:
  // `frontEnd` is the window's list, prompts, workers and save-folder box in one; it, `store`
  // and `paths` outlive the window's events.
  template <typename FrontEnd>
  MainWindowEvents(FrontEnd& frontEnd, SaveFolderStore& store, const ProgramPaths& paths)
      : list_(frontEnd),
        prompts_(frontEnd),
        workers_(frontEnd),
        folderWindow_(frontEnd),
        store_(store),
        paths_(paths) {}

  void SearchClicked();       // 按钮_搜索: SearchSongs
  void ListLeftClicked();     // 超级列表框1: StartAddressLookup
  void CopyAddressChosen();   // "复制歌曲地址": CopySongAddress
  void DownloadChosen();      // "下载此歌曲": StartDownload, with the save folder as it is now
  void ChangeFolderChosen();  // "更改保存目录": ChooseSaveFolder

  // The created event, before the window is first shown: LoadSaveFolder.
  void Created();
  // Once the window is first shown: the message boxes of what Created found wrong (a settings
  // file that cannot be read, a save folder that is not there), one after the other.
  void Shown();

  // The window is asked to close (Esc or its close box): true when it may. While a download
  // runs the user is asked first; a yes stops the downloads, which keep their partial files for
  // a later try (FinishStoppedDownloads lets them close those files).
  [[nodiscard]] bool CloseAsked();

 private:
  SongList& list_;
  Prompts& prompts_;
  WorkerStarter& workers_;
  SaveFolderWindow& folderWindow_;
  SaveFolderStore& store_;
  const ProgramPaths& paths_;
  std::vector<StartNotice> startNotices_;
};

// The program's save folder, made on first use and kept until the process ends: workers still
// running at exit may read it.
[[nodiscard]] SaveFolderStore& ProgramSaveFolder();

// Run by each front end once its window has gone and its front end is closed (a worker's report
// then waits for no window): gives stopped downloads a moment to close their partial files.
void FinishStoppedDownloads();

// Run once at exit (registered by each front end's start-up): releases what the program still
// holds. Nothing is written.
void ExitCleanup();

}  // namespace ornivel
