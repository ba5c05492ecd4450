#pragma once
// Probes many files on a few worker threads (no more than the machine has
// cores). Files are taken in the order they were given; the answers collect
// in a box the owner empties whenever it likes, so a window can take them in
// batches on its own thread.
//
// Threads: Add, TakeAnswers, DropQueued and Outstanding may be called from
// any thread (the owner's, normally); the workers only probe and fill the
// box. Everything shared is guarded by one lock. The destructor cancels the
// running probes (they end at their next read) and joins the workers.

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "pipeline/MediaInfo.h"
#include "pipeline/MediaProbe.h"

namespace mivora {

class ProbePool {
 public:
  struct Answer {
    std::string path;
    MediaInfo facts;
    ProbeOutcome outcome;
  };

  // `answersWaiting` (optional) is called on a worker when the box goes from
  // empty to holding an answer; it must only schedule the owner's visit.
  // `workers` 0: one per core.
  explicit ProbePool(std::function<void()> answersWaiting = {}, size_t workers = 0,
                     ProbeLimits limits = {});
  ~ProbePool();
  ProbePool(const ProbePool&) = delete;
  ProbePool& operator=(const ProbePool&) = delete;

  void Add(const std::vector<std::string>& paths);
  // The answers so far, in the order they came; the box is empty afterwards.
  std::vector<Answer> TakeAnswers();
  // Forgets the files not yet begun (their answers never come).
  void DropQueued();
  // Files given whose answers have not been taken yet.
  size_t Outstanding() const;
  size_t WorkerLimit() const { return workerLimit_; }

 private:
  void Work();

  const std::function<void()> answersWaiting_;
  const size_t workerLimit_;
  const ProbeLimits limits_;  // its cancel flag is `stopping_`
  std::atomic<bool> stopping_{false};

  mutable std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<std::string> queued_;  // guarded by mutex_
  std::vector<Answer> answers_;     // guarded by mutex_
  size_t running_ = 0;              // guarded by mutex_: probes under way
  size_t idle_ = 0;                 // guarded by mutex_: workers waiting for files
  std::vector<std::thread> workers_;  // started under mutex_, joined by the destructor
};

}  // namespace mivora
