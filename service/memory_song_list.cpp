#include "service/memory_song_list.h"

namespace ornivel {

bool MemorySongList::HasCell(int row, int column) const {
  return row >= 0 && row < static_cast<int>(rows_.size()) && column >= 0 && column < kColumnCount;
}

void MemorySongList::DeleteAllRows() {
  std::lock_guard lock(mutex_);
  rows_.clear();
  selected_ = -1;
}

int MemorySongList::AppendRow() {
  std::lock_guard lock(mutex_);
  rows_.emplace_back(kColumnCount);
  return static_cast<int>(rows_.size()) - 1;
}

void MemorySongList::SetCellText(int row, int column, const std::string& text) {
  std::lock_guard lock(mutex_);
  if (!HasCell(row, column)) return;
  rows_[row][column] = text;
  CellWritten(row, column, text);
}

std::string MemorySongList::GetCellText(int row, int column) {
  std::lock_guard lock(mutex_);
  return HasCell(row, column) ? rows_[row][column] : std::string();
}

int MemorySongList::SelectedRow() {
  std::lock_guard lock(mutex_);
  return selected_;
}

bool MemorySongList::SetCellTextIfHolds(int row, int column, const std::string& text, int keyColumn,
                                        const std::string& key) {
  std::lock_guard lock(mutex_);
  if (!HasCell(row, column) || !HasCell(row, keyColumn) || rows_[row][keyColumn] != key) {
    return false;
  }
  rows_[row][column] = text;
  CellWritten(row, column, text);
  return true;
}

void MemorySongList::Select(int row) {
  std::lock_guard lock(mutex_);
  selected_ = (row >= 0 && row < static_cast<int>(rows_.size())) ? row : -1;
}

int MemorySongList::RowCount() {
  std::lock_guard lock(mutex_);
  return static_cast<int>(rows_.size());
}

std::vector<std::string> MemorySongList::Row(int row) {
  std::lock_guard lock(mutex_);
  if (row < 0 || row >= static_cast<int>(rows_.size())) return {};
  return rows_[row];
}

}  // namespace ornivel
