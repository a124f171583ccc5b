#pragma once
// The Windows front end of the service code: the song list through the list-view messages, the
// message boxes, the worker's question, the clipboard, the folder browser and the workers.
//
// Every operation may be called from any thread. A worker's list operation is sent to the main
// window (SendMessage) and carried out on the window thread while the worker waits; the window
// thread serves it whenever it takes messages, inside the modal loops of message boxes, the
// pop-up menu, the folder browser and the tip dialog too, and never waits for a worker. Once the
// window is gone the operations do nothing and return empty results.

#include <windows.h>

#include <atomic>
#include <functional>
#include <string>

#include "app/settings.h"
#include "app/win32/main_window.h"
#include "service/prompts.h"
#include "service/song_list.h"
#include "service/worker_starter.h"

namespace ornivel {

class Win32FrontEnd final : public SongList,
                            public Prompts,
                            public WorkerStarter,
                            public SaveFolderWindow {
 public:
  // Made on the window thread, for `window`, which must outlive it or see Close() first.
  explicit Win32FrontEnd(MainWindow& window);

  // From now on every operation does nothing. Window thread, while the window is being destroyed.
  void Close();

  void DeleteAllRows() override;
  int AppendRow() override;
  void SetCellText(int row, int column, const std::string& text) override;
  std::string GetCellText(int row, int column) override;
  int SelectedRow() override;
  bool SetCellTextIfHolds(int row, int column, const std::string& text, int keyColumn,
                          const std::string& key) override;
  std::string SearchText() override;
  void ShowMessage(const std::string& text, MessageIcon icon) override;
  bool AskYesNo(const std::string& text) override;
  void SetClipboardText(const std::string& text) override;
  void StartWorker(std::function<void()> work) override;
  void ShowSaveFolder(const std::string& folder) override;
  FolderChoice BrowseForFolder(const std::string& title) override;

 private:
  // Runs `work` with the window on the window thread and returns its result; `closed` once the
  // window is gone (a worker asking after the program ended).
  template <typename R, typename Work>
  R AskWindow(Work work, R closed);
  // Runs `work` with the window on the window thread; nothing once the window is gone.
  template <typename Work>
  void RunOnWindow(Work work);

  const DWORD windowThread_;
  std::atomic<HWND> hwnd_;  // null once closed
  MainWindow* window_;      // read on the window thread only
};

// Installs the message pump of the HTTP code: on the calling thread (the window thread) it
// delivers the pending messages; on any other thread it returns at once.
void InstallWin32MessagePump();

// The title of every message box of the program (layout::kMessageTitle), as UTF-16.
[[nodiscard]] const wchar_t* MessageTitle();

}  // namespace ornivel
