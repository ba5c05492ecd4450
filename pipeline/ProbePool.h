#pragma once
// Probes many files on a few worker threads (no more than the machine has
// cores). Files are taken in the order they were given; the answers collect
// in a box the owner empties whenever it likes, so a window can take them in
// batches on its own thread.
//
// A probe ends at its limits (ProbeLimits), but one stuck where no limit
// reaches it (a read from a hung disk) can be given up: it then counts as
// answered (stopped, no facts), its worker is left to end on its own and a
// new one takes its place. Nothing waits for such a worker: neither the
// owner nor the destructor.
//
// Threads: Add, TakeAnswers, DropQueued, Outstanding and GiveUpOverdueProbes
// may be called from any thread (the owner's, normally); the workers only
// probe and fill the box. Everything shared lives in one block guarded by one
// lock, held by the pool and by every worker, so a worker that outlives the
// pool touches nothing that is gone. The destructor cancels the running
// probes (they end at their next read) and waits a moment for the workers.

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
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
  using ProbeFunction =
      std::function<ProbeOutcome(const std::string& path, MediaInfo* info, const ProbeLimits& limits)>;

  // How long past its time limit a probe runs before it may be given up.
  static constexpr std::chrono::milliseconds kOverdueAfterLimit{2000};

  // `answersWaiting` (optional) is called on a worker, under the pool's
  // lock, when the box goes from empty to holding an answer; it must only
  // schedule the owner's visit. `workers` 0: one per core. `probe`: how a
  // file is probed (ProbeMedia unless a test says otherwise).
  explicit ProbePool(std::function<void()> answersWaiting = {}, size_t workers = 0, ProbeLimits limits = {},
                     ProbeFunction probe = {});
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
  // Answers every probe that has run past its time limit by
  // kOverdueAfterLimit as stopped, and gives its worker up. The number given up.
  size_t GiveUpOverdueProbes();
  size_t WorkerLimit() const { return workerLimit_; }

 private:
  struct Shared;
  static void Work(std::shared_ptr<Shared> shared);
  // Starts workers while files wait for one (under the lock).
  void StartWorkers(Shared& shared);

  const size_t workerLimit_;
  std::shared_ptr<Shared> shared_;
  std::vector<std::thread> workers_;  // started under the lock, joined or left by the destructor
};

}  // namespace mivora
