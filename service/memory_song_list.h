#pragma once
// The song list held in memory, for a front end without a window (the command line) and for the
// tests. Every operation may be called from any thread; each takes one lock.

#include <mutex>
#include <string>
#include <vector>

#include "service/song_list.h"

namespace ornivel {

class MemorySongList : public SongList {
 public:
  void DeleteAllRows() override;
  int AppendRow() override;
  void SetCellText(int row, int column, const std::string& text) override;
  [[nodiscard]] std::string GetCellText(int row, int column) override;
  [[nodiscard]] int SelectedRow() override;
  bool SetCellTextIfHolds(int row, int column, const std::string& text, int keyColumn,
                          const std::string& key) override;

  // Selects `row`; -1, or a row that does not exist, clears the selection.
  void Select(int row);
  [[nodiscard]] int RowCount();
  // The cells of one row; empty for a row that does not exist.
  [[nodiscard]] std::vector<std::string> Row(int row);

 protected:
  // Called under the lock after every cell write that landed.
  virtual void CellWritten(int /*row*/, int /*column*/, const std::string& /*text*/) {}

 private:
  [[nodiscard]] bool HasCell(int row, int column) const;

  std::mutex mutex_;
  std::vector<std::vector<std::string>> rows_;
  int selected_ = -1;
};

}  // namespace ornivel
