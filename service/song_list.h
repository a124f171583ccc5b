#pragma once
// What the song service code needs from a front end.
//
// The song list is the only store of search results. Each row holds six text cells (GBK):
//   0 the row's 1-based number, 1 the song title, 2 the singer, 3 the album,
//   4 the song's identifier at the service (a column of width 0: present but not visible),
//   5 the download address, later a download status text.
// Indexes of rows and columns are 0-based.
//
// A front end implements FrontEnd. Its list operations may be called from any thread: a call
// from a worker is carried out on the window thread while the worker waits, so every operation
// is atomic with respect to the others (a sequence of them is not). Once the window is gone they
// do nothing and return empty results.

#include <functional>
#include <string>

namespace ornivel {

inline constexpr int kColumnNumber = 0;
inline constexpr int kColumnTitle = 1;
inline constexpr int kColumnArtist = 2;
inline constexpr int kColumnAlbum = 3;
inline constexpr int kColumnIdentifier = 4;
inline constexpr int kColumnAddress = 5;
inline constexpr int kColumnCount = 6;

enum class MessageIcon { kNone, kInformation, kError };

class FrontEnd {
 public:
  virtual ~FrontEnd() = default;

  // --- the song list ---
  virtual void DeleteAllRows() = 0;
  // Adds a row of empty cells after the last; its index, or -1 when none could be added.
  virtual int AppendRow() = 0;
  // Sets one cell; a row or column that does not exist is ignored.
  virtual void SetCellText(int row, int column, const std::string& text) = 0;
  // One cell's text; empty for a row or column that does not exist.
  [[nodiscard]] virtual std::string GetCellText(int row, int column) = 0;
  // The selected row, -1 when none is.
  [[nodiscard]] virtual int SelectedRow() = 0;

  // --- the rest of the window ---
  // The text of the search box.
  [[nodiscard]] virtual std::string SearchText() = 0;
  // A message box titled "信息：" on the window thread, modal to the program.
  virtual void ShowMessage(const std::string& text, MessageIcon icon) = 0;
  // A worker's yes/no question (no icon). The window thread shows it without blocking the main
  // window; the worker waits for the answer. True for Yes.
  [[nodiscard]] virtual bool AskYesNo(const std::string& text) = 0;
  // Puts a GBK text on the clipboard; failures are silent.
  virtual void SetClipboardText(const std::string& text) = 0;
  // Runs `work` on a new detached worker thread.
  virtual void StartWorker(std::function<void()> work) = 0;
  // A copy of the save folder (GBK), taken when a download starts.
  [[nodiscard]] virtual std::string SaveFolder() = 0;
};

}  // namespace ornivel
