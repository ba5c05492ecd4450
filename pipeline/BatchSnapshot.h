#pragma once
// Every job of a batch as it stands at one moment, taken under the runner's
// lock in one go: what a front end pulls when the runner wakes it.

#include <string>
#include <vector>

#include "pipeline/ConversionJob.h"

namespace mivora {

enum class BatchJobState { kQueued, kPreparing, kRunning, kDone };

struct BatchJobSnapshot {
  int row = 0;  // its row now (deleted jobs have none and are not listed)
  std::string sourcePath;
  BatchJobState state = BatchJobState::kQueued;
  int percent = 0;         // 0..100; 100 once it succeeded
  int elapsedSeconds = 0;  // the engine's running time so far
  JobOutcome outcome = JobOutcome::kNotRun;
};

struct BatchSnapshot {
  std::vector<BatchJobSnapshot> jobs;  // in row order
  bool running = false;                // the worker has not ended
  // The slowest running job's percent (what the launcher shows); -1 when
  // no job runs.
  int LowestRunningPercent() const {
    int lowest = -1;
    for (const BatchJobSnapshot& job : jobs)
      if (job.state == BatchJobState::kRunning && (lowest < 0 || job.percent < lowest))
        lowest = job.percent;
    return lowest;
  }
};

}  // namespace mivora
