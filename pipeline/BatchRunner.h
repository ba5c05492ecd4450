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
// Threads: who owns what, and who wakes whom.
//  - The driving thread (the window's thread, or the command line's loop)
//    makes every public call and is the only thread that calls the view.
//    When EngineFd() is readable it calls OnEngineTextReady: that reads the
//    engines' text, hands the view every change in the order it happened
//    and shows an open question. OnSecondTimer, DeleteJob and Cancel hand
//    over their own changes before they return. Snapshot gives every job's
//    state at once.
//  - The worker (ThreadProc_Convert) prepares and starts the jobs in list
//    order; each started job waits for its engine on a thread of its own.
//    Neither calls the view: they queue the change (with the row it is
//    about, taken under `jobsMutex_`) and wake the driving thread through
//    EngineFd, where an event counter sits beside the engines' endpoints.
//  - A question of the worker (free space, an existing file) goes through
//    `questions_`: the worker waits there; the driving thread shows it on
//    its next wake and answers; Cancel and the destructor withdraw it, and
//    the worker goes on at once with No.
//
// Locks, in the only order they are taken:
//   1. a running job's `mutex` (its endpoint, media time, last lines);
//   2. `jobsMutex_` (the job list, the results, the running jobs, the queue
//      of changes for the view);
//   3. leaves, under which nothing else is locked: the engine runner's lock
//      inside ConvertHelper and the question channel's lock.
// No lock is held while the view is called, while the worker is joined or
// while an engine is stopped and waited for (an ended job's thread, which
// takes no lock any more, is joined under `jobsMutex_`). Flags shared
// between the threads are atomics.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "pipeline/BatchLock.h"
#include "pipeline/BatchQuestionChannel.h"
#include "pipeline/BatchSnapshot.h"
#include "pipeline/BatchView.h"
#include "pipeline/ConversionJob.h"

namespace mivora {

class CopyDataEndpoint;

class BatchRunner {
 public:
  // Message number the engine runner is told for progress notices.
  static constexpr uint32_t kProgressNotice = 0x501;
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

  // Opens the wake counter and starts the worker. False when it could not
  // be opened (`error` says why).
  bool Start(std::string* error = nullptr);
  bool IsRunning() const { return running_; }

  // Readable when engine text waits (from any running job) or the worker or
  // a job's thread has a change for the view; the driving thread then calls
  // OnEngineTextReady. -1 before Start.
  int EngineFd() const { return watchFd_; }
  // The pull: reads the engines' text, hands the view every queued change in
  // order, then shows the worker's open question and answers it.
  void OnEngineTextReady();
  void OnSecondTimer();
  // Every job's state now, in row order, taken under the lock in one go.
  BatchSnapshot Snapshot() const;
  // Whether the calling thread holds the job lock (the view's calls never
  // come under it; tests check).
  bool JobsLockHeldByCallingThread() const { return jobsMutex_.HeldByCallingThread(); }

  // The user deleted row `row` (its Delete button): a queued job leaves the
  // batch, a running one has its engine stopped and its unfinished file
  // removed; the others run on. Requests within 500 ms of the last accepted
  // one are ignored. Rows of finished jobs cannot be deleted.
  void DeleteJob(int row);

  // Cancels the batch. When `ask` is set the user is asked first; returns
  // false when the user said No. Otherwise withdraws an open question,
  // stops every engine and waits for the worker (no polling: the worker
  // needs nothing of the driving thread to end); each running job removes
  // its unfinished output or, when
  // unfinished files are kept, gives it the output's name. Safe after the
  // batch has ended.
  bool Cancel(bool ask);

  // Waits for the worker thread to end (the front end calls this before it
  // destroys the runner; the destructor does it too).
  void Join();

  // Jobs still in the list.
  std::vector<ConversionJob> Jobs() const;

 private:
  struct Running;  // one started job: its endpoint, engine runner, thread, progress
  using RunningPtr = std::shared_ptr<Running>;
  struct Entry {
    ConversionJob job;
    size_t resultIndex;  // into results_
    int id;              // stays with the job while rows move
    BatchJobState state = BatchJobState::kQueued;
    RunningPtr started;  // once started: its progress, kept after it ended
  };
  // A change for the view, about the row it had when the change was queued.
  using Change = std::function<void(BatchView&)>;
  using RowChange = std::function<void(BatchView&, int row)>;
  enum class Prepared { kRun, kDone, kStopBatch };

  void ThreadProc_Convert();
  void ConvertAll();
  // The queue of changes: filled on any thread, emptied on the driving one.
  void Queue(Change change);            // with jobsMutex_ held
  void QueueAtRow(int id, RowChange change);  // with jobsMutex_ held; nothing once the row is gone
  void TellRow(int id, RowChange change);     // takes jobsMutex_, then wakes
  void Wake();                          // any thread; one pending wake at a time
  void ClearWake();                     // driving thread
  void Deliver();                       // driving thread, no lock held
  void AskOpenQuestion();               // driving thread
  bool AskWorkerQuestion(const std::string& question);  // worker
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
  int RowOf(int id) const;  // with jobsMutex_ held; -1 when gone
  std::vector<RunningPtr> RunningJobs() const;

  void DrainEngineText(Running& job);
  void HandleEngineText(Running& job, const std::string& text);
  void CloseEndpoint(Running& job);
  // Whether the engine's run left a readable file at `written`.
  JobResult CheckOutput(JobResult result, const Running& job, bool started, int exitCode);
  BatchSummary Summary() const;

  BatchView& view_;  // driving thread only
  int wakeFd_ = -1;   // event counter: a change or a question waits
  int watchFd_ = -1;  // epoll set over wakeFd_ and every running job's endpoint
  std::atomic<bool> wakePending_{false};
  BatchQuestionChannel questions_;
  std::thread worker_;
  std::set<std::string> clearedFolders_;  // the worker's: output folders cleared of killed runs' files
  std::thread preloader_;  // loads the output read-back library; joined by Join

  mutable BatchLock jobsMutex_;
  std::condition_variable_any jobEnded_;  // with jobsMutex_: a running job ended, or the limit grew
  std::vector<Entry> jobs_;           // guarded by jobsMutex_
  std::vector<JobResult> results_;    // guarded by jobsMutex_; one per job ever added
  std::vector<RunningPtr> runningJobs_;  // guarded by jobsMutex_; started, not yet joined
  int next_ = 0;                      // guarded by jobsMutex_: the row prepared next
  int nextId_ = 0;                    // guarded by jobsMutex_
  std::deque<Change> changes_;        // guarded by jobsMutex_: for the view, in order

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
