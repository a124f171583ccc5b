#pragma once
// The Qt front end of the service code: the song list, the message boxes, the worker's
// question, the clipboard, the folder browser and the workers.
//
// Every operation may be called from any thread. From a worker, it is handed to the window
// thread and the worker waits for it (the window thread serves it whenever it processes events,
// inside modal loops too); the window thread never waits for a worker. Once Close() has run, the
// operations do nothing and return empty results, so a worker still running at exit never
// touches a destroyed window.

#include <QObject>
#include <QPointer>

#include <atomic>
#include <cstdint>
#include <functional>
#include <future>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

#include "app/qt/main_window.h"
#include "app/settings.h"
#include "service/prompts.h"
#include "service/song_list.h"
#include "service/worker_starter.h"

namespace ornivel {

class QtFrontEnd final : public SongList,
                         public Prompts,
                         public WorkerStarter,
                         public SaveFolderWindow {
 public:
  // Made on the window thread, for `window`.
  explicit QtFrontEnd(MainWindow* window);

  // From now on every operation does nothing; pending hand-overs are released. Window thread.
  void Close();

  // How many workers' hand-overs wait for the window thread now (for the tests).
  [[nodiscard]] std::size_t WaitingHandOvers();

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

  // Posts `run` to the window thread and registers `cancel`, which Close() calls instead when
  // `run` has not started by then. False once closed.
  bool Post(std::function<void()> run, std::function<void()> cancel);

  const std::thread::id windowThread_;
  MainWindow* window_;  // read on the window thread only
  std::mutex mutex_;    // guards closed_, pending_ and the posting of hand-overs
  bool closed_ = false;
  std::uint64_t nextHandOver_ = 0;
  std::map<std::uint64_t, std::function<void()>> pending_;  // cancels of waiting hand-overs
  QObject* context_;  // lives on the window thread; hand-overs are posted to it
};

// Installs the message pump of the HTTP code: on the window thread it processes the pending
// events; on any other thread it returns at once.
void InstallQtMessagePump();

// GBK texts to and from Qt's.
[[nodiscard]] QString FromGbk(const std::string& text);
[[nodiscard]] std::string ToGbk(const QString& text);

}  // namespace ornivel
