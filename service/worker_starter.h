#pragma once
// How the song service starts its workers: each lookup and each download runs on a thread of
// its own, started and detached at once; nobody waits for it.

#include <functional>

namespace ornivel {

class WorkerStarter {
 public:
  virtual ~WorkerStarter() = default;
  // Runs `work` on a new detached worker thread.
  virtual void StartWorker(std::function<void()> work) = 0;
};

}  // namespace ornivel
