#include "tests/support/memory_front_end.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "tests/support/wait.h"

namespace ornivel {

void MemoryFrontEnd::CellWritten(int row, int column, const std::string& text) {
  std::lock_guard lock(mutex_);
  if (recordWrites_) writes_.push_back({row, column, text});
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

MemoryFrontEnd::~MemoryFrontEnd() {
  WaitForWorkers();
}

void MemoryFrontEnd::StartWorker(std::function<void()> work) {
  std::lock_guard lock(mutex_);
  ++running_;
  // Joined by WaitForWorkers, not detached: under Wine the 32-bit threads library sometimes
  // never starts a new thread while a detached one is ending (a test hung so about one run in
  // twenty); joined threads do not meet that.
  workers_.emplace_back([this, work = std::move(work)] {
    work();
    std::lock_guard done(mutex_);
    if (--running_ == 0) idle_.notify_all();
  });
}

std::string MemoryFrontEnd::SaveFolder() {
  std::lock_guard lock(mutex_);
  return saveFolder_;
}

void MemoryFrontEnd::SetSearchText(std::string text) {
  std::lock_guard lock(mutex_);
  searchText_ = std::move(text);
}

void MemoryFrontEnd::SetSaveFolder(std::string folder) {
  std::lock_guard lock(mutex_);
  saveFolder_ = std::move(folder);
}

void MemoryFrontEnd::QueueAnswer(bool yes) {
  std::lock_guard lock(mutex_);
  answers_.push_back(yes);
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
  std::list<std::thread> finished;
  {
    std::unique_lock lock(mutex_);
    // Below the tests' time limit (both scale under an emulator): a worker that never ends is
    // named here, not killed unnamed.
    const auto limit = std::chrono::seconds(45) * test::TimeScale();
    if (!idle_.wait_for(lock, limit, [this] { return running_ == 0; })) {
      std::fprintf(stderr, "MemoryFrontEnd: %d worker(s) still running after %lld s\n", running_,
                   static_cast<long long>(limit.count()));
      std::abort();  // the workers use this front end: going on would free it under them
    }
    finished.swap(workers_);
  }
  for (std::thread& worker : finished) worker.join();
}

}  // namespace ornivel
