#include "tests/support/memory_front_end.h"

#include <thread>

namespace ornivel {

void MemoryFrontEnd::DeleteAllRows() {
  std::lock_guard lock(mutex_);
  rows_.clear();
  selected_ = -1;
}

int MemoryFrontEnd::AppendRow() {
  std::lock_guard lock(mutex_);
  rows_.emplace_back(kColumnCount);
  return static_cast<int>(rows_.size()) - 1;
}

void MemoryFrontEnd::SetCellText(int row, int column, const std::string& text) {
  std::lock_guard lock(mutex_);
  if (row < 0 || row >= static_cast<int>(rows_.size()) || column < 0 || column >= kColumnCount) {
    return;
  }
  rows_[row][column] = text;
  if (recordWrites_) writes_.push_back({row, column, text});
}

std::string MemoryFrontEnd::GetCellText(int row, int column) {
  std::lock_guard lock(mutex_);
  if (row < 0 || row >= static_cast<int>(rows_.size()) || column < 0 || column >= kColumnCount) {
    return {};
  }
  return rows_[row][column];
}

int MemoryFrontEnd::SelectedRow() {
  std::lock_guard lock(mutex_);
  return selected_;
}

bool MemoryFrontEnd::SetCellTextIfHolds(int row, int column, const std::string& text, int keyColumn,
                                        const std::string& key) {
  std::lock_guard lock(mutex_);
  if (row < 0 || row >= static_cast<int>(rows_.size()) || column < 0 || column >= kColumnCount ||
      keyColumn < 0 || keyColumn >= kColumnCount || rows_[row][keyColumn] != key) {
    return false;
  }
  rows_[row][column] = text;
  if (recordWrites_) writes_.push_back({row, column, text});
  return true;
}

std::string MemoryFrontEnd::SearchText() {
  std::lock_guard lock(mutex_);
  return searchText_;
}

void MemoryFrontEnd::ShowMessage(const std::string& text, MessageIcon icon) {
  std::lock_guard lock(mutex_);
  messages_.push_back({text, icon});
}

bool MemoryFrontEnd::AskYesNo(const std::string& text) {
  std::lock_guard lock(mutex_);
  questions_.push_back(text);
  if (answers_.empty()) return false;
  const bool yes = answers_.front();
  answers_.pop_front();
  return yes;
}

void MemoryFrontEnd::SetClipboardText(const std::string& text) {
  std::lock_guard lock(mutex_);
  clipboard_ = text;
}

void MemoryFrontEnd::StartWorker(std::function<void()> work) {
  {
    std::lock_guard lock(mutex_);
    ++running_;
  }
  std::thread([this, work = std::move(work)] {
    work();
    std::lock_guard lock(mutex_);
    if (--running_ == 0) idle_.notify_all();
  }).detach();
}

std::string MemoryFrontEnd::SaveFolder() {
  std::lock_guard lock(mutex_);
  return saveFolder_;
}

void MemoryFrontEnd::SetSearchText(std::string text) {
  std::lock_guard lock(mutex_);
  searchText_ = std::move(text);
}

void MemoryFrontEnd::Select(int row) {
  std::lock_guard lock(mutex_);
  selected_ = (row >= 0 && row < static_cast<int>(rows_.size())) ? row : -1;
}

void MemoryFrontEnd::SetSaveFolder(std::string folder) {
  std::lock_guard lock(mutex_);
  saveFolder_ = std::move(folder);
}

void MemoryFrontEnd::QueueAnswer(bool yes) {
  std::lock_guard lock(mutex_);
  answers_.push_back(yes);
}

int MemoryFrontEnd::RowCount() {
  std::lock_guard lock(mutex_);
  return static_cast<int>(rows_.size());
}

std::vector<std::string> MemoryFrontEnd::Row(int row) {
  std::lock_guard lock(mutex_);
  if (row < 0 || row >= static_cast<int>(rows_.size())) return {};
  return rows_[row];
}

std::vector<MemoryFrontEnd::Message> MemoryFrontEnd::Messages() {
  std::lock_guard lock(mutex_);
  return messages_;
}

std::vector<std::string> MemoryFrontEnd::Questions() {
  std::lock_guard lock(mutex_);
  return questions_;
}

std::string MemoryFrontEnd::Clipboard() {
  std::lock_guard lock(mutex_);
  return clipboard_;
}

void MemoryFrontEnd::RecordCellWrites() {
  std::lock_guard lock(mutex_);
  recordWrites_ = true;
  writes_.clear();
}

std::vector<MemoryFrontEnd::CellWrite> MemoryFrontEnd::CellWrites() {
  std::lock_guard lock(mutex_);
  return writes_;
}

void MemoryFrontEnd::WaitForWorkers() {
  std::unique_lock lock(mutex_);
  idle_.wait(lock, [this] { return running_ == 0; });
}

}  // namespace ornivel
