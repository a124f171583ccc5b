#pragma once
// A front end without a window: the song list in memory (with a record of its writes), scripted
// answers to questions, and records of the messages and the clipboard. Every operation may be
// called from any thread. Used by the tests and benchmarks.

#include <condition_variable>
#include <deque>
#include <list>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "service/memory_song_list.h"
#include "service/prompts.h"
#include "service/worker_starter.h"

namespace ornivel {

class MemoryFrontEnd final : public MemorySongList, public Prompts, public WorkerStarter {
 public:
  struct Message {
    std::string text;
    MessageIcon icon;
  };
  // One cell write that landed, by SetCellText or SetCellTextIfHolds.
  struct CellWrite {
    int row;
    int column;
    std::string text;
  };

  ~MemoryFrontEnd() override;

  std::string SearchText() override;
  void ShowMessage(const std::string& text, MessageIcon icon) override;
  bool AskYesNo(const std::string& text) override;
  void SetClipboardText(const std::string& text) override;
  void StartWorker(std::function<void()> work) override;

  // --- for the test ---
  void SetSearchText(std::string text);
  // The folder the test hands to StartDownload.
  void SetSaveFolder(std::string folder);
  [[nodiscard]] std::string SaveFolder();
  // Answers to the next yes/no questions, in order; a question without one is answered No.
  void QueueAnswer(bool yes);
  [[nodiscard]] std::vector<Message> Messages();
  [[nodiscard]] std::vector<std::string> Questions();
  [[nodiscard]] std::string Clipboard();
  // Forgets the writes recorded so far and from now on records every cell write that lands, in
  // the order they land (off at first: a search writes thousands of cells).
  void RecordCellWrites();
  [[nodiscard]] std::vector<CellWrite> CellWrites();
  // Waits until every worker started so far has finished; ends the program with a message when
  // one runs for more than 45 seconds.
  void WaitForWorkers();

 private:
  void CellWritten(int row, int column, const std::string& text) override;

  std::mutex mutex_;
  std::condition_variable idle_;
  std::string searchText_;
  std::string saveFolder_;
  std::deque<bool> answers_;
  std::vector<Message> messages_;
  std::vector<std::string> questions_;
  std::string clipboard_;
  bool recordWrites_ = false;
  std::vector<CellWrite> writes_;
  int running_ = 0;
  std::list<std::thread> workers_;  // started and not joined yet
};

}  // namespace ornivel
