#pragma once
// One batch run: the job list, the worker that starts the jobs in list order
// with up to "conversions at once" engines running side by side, and the
// handling of each engine's progress reports, the one-second clock,
// deleting jobs and cancelling. Both the progress window and the command
// line drive it through the same calls and show it through a BatchView.
// Each job's engine writes a hidden file beside the output, which gets the
// output's name only once it reads back as media (OutputFiles.h), and
// reports to an endpoint of its own, so its text reaches its own row only.
//
// A job goes through four steps: prepare (free space, the existing-file
// question, the output folder, cleared once of what killed runs left; on
// the worker, so questions come one at a time), start (its endpoint and
// engine runner), watch (its own thread waits for the engine) and finish
// (the output checked and named, the row told).
//
// Threads:
//  - Start launches the worker thread (ThreadProc_Convert), which prepares
//    and starts jobs; each started job runs on a thread of its own.
//  - The driving thread (the user-interface thread) calls OnEngineTextReady
//    when EngineFd() is readable, OnSecondTimer every second, DeleteJob,
//    Cancel and SetConversionsAtOnce.
//  - `jobsMutex_` guards the job list, the results, the next index and the
//    list of running jobs; each running job's own mutex guards its progress
//    state and the reading of its endpoint. A job's mutex is taken before
//    `jobsMutex_`, never after it.
//  - The flags shared between the threads are atomics.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "pipeline/BatchView.h"
#include "pipeline/ConversionJob.h"

namespace mivora {

class CopyDataEndpoint;

class BatchRunner {
 public:
  // Message number the engine runner is told for progress notices.
  static constexpr uint32_t kProgressNotice = 0x501;
  // Data word of the one message the worker sends to EngineFd when it has
  // ended, so that a driving thread waiting on the descriptor wakes at once.
  static constexpr uint32_t kWorkerEndedNotice = 0x469;
  // The most engines one batch runs at once.
  static constexpr int kMaxConversionsAtOnce = 16;
  // One engine per core, at most 4.
  static int DefaultConversionsAtOnce();

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
  // How many engines run at once, clamped to 1..kMaxConversionsAtOnce. May
  // change while the batch runs: a larger number starts the next jobs at
  // once, a smaller one lets the running jobs finish first.
  void SetConversionsAtOnce(int count);
  int ConversionsAtOnce() const { return conversionsAtOnce_; }

  // Opens the control endpoint and starts the worker. False when it could
  // not be opened (`error` says why).
  bool Start(std::string* error = nullptr);
  bool IsRunning() const { return running_; }

  // Readable when engine text waits (from any running job); the driving
  // thread then calls OnEngineTextReady. -1 before Start.
  int EngineFd() const { return watchFd_; }
  void OnEngineTextReady();
  void OnSecondTimer();

  // The user deleted row `row` (its Delete button): a queued job leaves the
  // batch, a running one has its engine stopped and its unfinished file
  // removed; the others run on. Requests within 500 ms of the last accepted
  // one are ignored. Rows of finished jobs cannot be deleted.
  void DeleteJob(int row);

  // Cancels the batch. When `ask` is set the user is asked first; returns
  // false when the user said No. Otherwise stops every engine and waits for
  // the worker; each running job removes its unfinished output or, when
  // unfinished files are kept, gives it the output's name. Safe after the
  // batch has ended.
  bool Cancel(bool ask);

  // Waits for the worker thread to end (the front end calls this before it
  // destroys the runner; the destructor does it too).
  void Join();

  // Jobs still in the list.
  std::vector<ConversionJob> Jobs() const;

 private:
  enum class JobState { kQueued, kPreparing, kRunning, kDone };
  struct Entry {
    ConversionJob job;
    size_t resultIndex;  // into results_
    int id;              // stays with the job while rows move
    JobState state = JobState::kQueued;
  };
  struct Running;  // one started job: its endpoint, engine runner, thread, progress
  using RunningPtr = std::shared_ptr<Running>;
  enum class Prepared { kRun, kDone, kStopBatch };

  void ThreadProc_Convert();
  void WakeDrivingThread();
  void ConvertAll();
  // The steps of one job.
  Prepared PrepareJob(const Entry& entry, bool* replaceExisting);
  // Before the first job into `folder`: what killed runs left there goes.
  void RemoveLeftoversOnce(std::string_view folder);
  // A failure known before the engine starts: the source, a missing sound.
  static FailureKind KnownBeforeStart(const ConversionJob& job);
  void FailBeforeStart(const Entry& entry, JobResult result, FailureKind kind);
  void StartJob(const Entry& entry, bool replaceExisting,
                std::chrono::steady_clock::time_point prepareBegan);
  void WatchJob(const RunningPtr& job);
  void FinishJob(Running& job, bool started, int exitCode);

  // Waits until fewer than the allowed number of jobs run (or the batch is
  // cancelled), joining the threads of ended jobs.
  void WaitForFreeSlot();
  void WaitForEveryJob();
  void ReapEndedJobs();  // with jobsMutex_ held
  void StopEveryJob();
  void RecordResult(int id, size_t resultIndex, const JobResult& result, bool finishRow);
  // Calls `show` with the row job `id` has now, under jobsMutex_; not at
  // all once the row is gone.
  void AtRow(int id, const std::function<void(int row)>& show);
  int RowOf(int id) const;  // with jobsMutex_ held; -1 when gone

  // The launcher's progress: the slowest running job's.
  int LowestRunningPercent() const;
  void DrainEngineText(Running& job);
  void HandleEngineText(Running& job, const std::string& text);
  void CloseEndpoint(Running& job);
  // Whether the engine's run left a readable file at `written`.
  JobResult CheckOutput(JobResult result, const Running& job, bool started, int exitCode);
  BatchSummary Summary() const;

  BatchView& view_;
  std::unique_ptr<CopyDataEndpoint> endpoint_;  // set by Start: the worker's end notice
  int watchFd_ = -1;  // epoll set over endpoint_ and every running job's endpoint
  std::thread worker_;
  std::set<std::string> clearedFolders_;  // the worker's: output folders cleared of killed runs' files
  std::thread preloader_;  // loads the output read-back library; joined by Join

  mutable std::mutex jobsMutex_;
  std::condition_variable jobEnded_;  // with jobsMutex_: a running job ended, or the limit grew
  std::vector<Entry> jobs_;           // guarded by jobsMutex_
  std::vector<JobResult> results_;    // guarded by jobsMutex_; one per job ever added
  std::vector<RunningPtr> runningJobs_;  // guarded by jobsMutex_; started, not yet joined
  int next_ = 0;                      // guarded by jobsMutex_: the row prepared next
  int nextId_ = 0;                    // guarded by jobsMutex_

  std::atomic<int> conversionsAtOnce_{DefaultConversionsAtOnce()};
  std::atomic<bool> running_{false};
  std::atomic<bool> cancelRequested_{false};
  std::atomic<bool> stoppedForSpace_{false};
  std::atomic<bool> autoShutdown_{false};
  std::atomic<bool> shutdownEvenOnFailure_{false};
  std::atomic<bool> deleteUnfinished_{true};

  std::chrono::steady_clock::time_point lastDelete_{};  // driving thread only
};

}  // namespace mivora
