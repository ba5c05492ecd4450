#pragma once
// One batch run: the job list, the worker that converts the jobs one after
// another through the engine runner, and the handling of the engine's
// progress reports, the one-second clock, deleting jobs and cancelling.
// Both the progress window and the command line drive it through the same
// calls and show it through a BatchView. Each job's engine writes a hidden
// file beside the output, which gets the output's name only once it reads
// back as media (OutputFiles.h).
//
// Threads:
//  - Start launches the worker thread (ThreadProc_Convert).
//  - The driving thread (the user-interface thread) calls OnEngineTextReady
//    when EngineFd() is readable, OnSecondTimer every second, DeleteJob and
//    Cancel.
//  - `jobsMutex_` guards `jobs_`, `jobIds_` and the current/next indices
//    against removals; `progressMutex_` guards the progress state
//    (elapsed, media time, total, debug line) and the reading of engine
//    text, which both the driving thread and the worker (draining the last
//    reports of a job) do.
//  - The flags shared between the threads are atomics.

#include <atomic>
#include <chrono>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "pipeline/BatchView.h"
#include "pipeline/ConversionJob.h"

namespace mivora {

class ConvertHelper;
class CopyDataEndpoint;

class BatchRunner {
 public:
  // Message number the engine runner is told for progress notices.
  static constexpr uint32_t kProgressNotice = 0x501;
  // Data word of the one message the worker sends to EngineFd when it has
  // ended, so that a driving thread waiting on the descriptor wakes at once.
  static constexpr uint32_t kWorkerEndedNotice = 0x469;

  explicit BatchRunner(BatchView& view);
  ~BatchRunner();
  BatchRunner(const BatchRunner&) = delete;
  BatchRunner& operator=(const BatchRunner&) = delete;

  // Before Start: the jobs, in order.
  void AddJob(std::string sourcePath, std::string outputPath, std::string estimatedSize,
              std::string targetExtension, std::string engineArgs, int32_t durationSeconds);
  void AddJob(const ConversionJob& job);

  // Options of the progress window.
  void SetAutoShutdown(bool on) { autoShutdown_ = on; }
  // Shut down after the batch even when some job did not succeed.
  void SetShutdownEvenOnFailure(bool on) { shutdownEvenOnFailure_ = on; }
  void SetDeleteUnfinished(bool on) { deleteUnfinished_ = on; }
  bool DeleteUnfinished() const { return deleteUnfinished_; }

  // Opens the engine-text endpoint and starts the worker. False when the
  // endpoint could not be opened (`error` says why).
  bool Start(std::string* error = nullptr);
  bool IsRunning() const { return running_; }

  // Readable when engine text waits; the driving thread then calls
  // OnEngineTextReady. -1 before Start.
  int EngineFd() const;
  void OnEngineTextReady();
  void OnSecondTimer();

  // The user deleted row `row` (its Delete button). Requests within 500 ms
  // of the last accepted one are ignored. Rows of finished jobs cannot be
  // deleted.
  void DeleteJob(int row);

  // Cancels the batch. When `ask` is set the user is asked first; returns
  // false when the user said No. Otherwise stops the engine and waits for
  // the worker, which removes the unfinished output or, when unfinished
  // files are kept, gives it the output's name. Safe after the batch has
  // ended.
  bool Cancel(bool ask);

  // Waits for the worker thread to end (the front end calls this before it
  // destroys the runner; the destructor does it too).
  void Join();

  // Jobs still in the list, and their count.
  std::vector<ConversionJob> Jobs() const;

 private:
  struct Entry {
    ConversionJob job;
    size_t resultIndex;  // into results_
  };

  void ThreadProc_Convert();
  void WakeDrivingThread();
  void ConvertAll();
  // One job at `index`; false when the batch must stop (no space).
  bool ConvertOne(int index);
  void FinishJob(size_t resultIndex, JobResult result, int row);
  void HandleEngineText(const std::string& text);
  void DrainEngineText();
  // Whether the engine's run left a readable file at `written`.
  JobResult CheckOutput(JobResult result, const std::string& written, bool started, int exitCode);
  BatchSummary Summary() const;

  BatchView& view_;
  std::unique_ptr<CopyDataEndpoint> endpoint_;   // set by Start
  std::unique_ptr<ConvertHelper> runner_;        // made by Start; used by the worker and Stop
  std::thread worker_;
  std::thread preloader_;  // loads the output read-back library; joined by Join

  mutable std::mutex jobsMutex_;
  std::vector<Entry> jobs_;          // guarded by jobsMutex_
  std::vector<JobResult> results_;   // guarded by jobsMutex_; one per job ever added
  int current_ = -1;                 // guarded by jobsMutex_; the job being converted
  int next_ = 0;                     // guarded by jobsMutex_
  bool currentDeleted_ = false;      // guarded by jobsMutex_
  bool currentOutputOurs_ = false;   // guarded by jobsMutex_: the engine started on the current job
  std::string currentPartial_;       // guarded by jobsMutex_: the file the current job writes

  std::mutex progressMutex_;
  int elapsed_ = 0;                  // guarded by progressMutex_
  int mediaTime_ = 0;                // guarded by progressMutex_
  bool debugLineDue_ = false;        // guarded by progressMutex_
  std::deque<std::string> lastLines_;  // guarded by progressMutex_: the current job's last lines

  std::atomic<bool> running_{false};
  std::atomic<bool> cancelRequested_{false};
  std::atomic<bool> timerActive_{false};
  std::atomic<bool> stoppedForSpace_{false};
  std::atomic<bool> autoShutdown_{false};
  std::atomic<bool> shutdownEvenOnFailure_{false};
  std::atomic<bool> deleteUnfinished_{true};

  std::chrono::steady_clock::time_point lastDelete_{};  // driving thread only
};

}  // namespace mivora
