#include "pipeline/BatchRunner.h"

#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <deque>
#include <system_error>

#include "common/Folders.h"
#include "common/Format.h"
#include "common/Log.h"
#include "common/SystemQueries.h"
#include "pipeline/BatchProgress.h"
#include "pipeline/ConvertHelper.h"
#include "pipeline/OutputFiles.h"
#include "pipeline/OutputLength.h"
#include "platform/CopyDataEndpoint.h"
#include "platform/FaultGuard.h"

// The batch's lines carry the progress window's module name.
#define BATCH_LOG(...) ::mivora::Log("DlgConverting", __LINE__, __VA_ARGS__)

namespace mivora {
namespace {

// Enough of the engine's last lines to tell why it failed.
constexpr size_t kKeptEngineLines = 40;
constexpr auto kDeleteGuard = std::chrono::milliseconds(500);

bool SameFile(const std::string& a, const std::string& b) {
  struct stat sa, sb;
  return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
         sa.st_ino == sb.st_ino;
}

std::string TrimLine(std::string text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' '))
    text.pop_back();
  return text;
}

void Watch(int set, int fd) {
  epoll_event event{};
  event.events = EPOLLIN;
  event.data.fd = fd;
  epoll_ctl(set, EPOLL_CTL_ADD, fd, &event);
}

}  // namespace

// One started job. Its thread runs the engine and finishes the job; the
// driving thread reads its endpoint and counts its seconds. The entry of
// its row keeps it after it ended, for the snapshot.
struct BatchRunner::Running {
  int id = 0;
  size_t resultIndex = 0;
  ConversionJob job;
  bool replaceExisting = false;
  std::string partial;  // the hidden file the engine writes
  ConvertHelper engine;
  std::thread thread;
  std::atomic<bool> deleted{false};      // its row was deleted
  std::atomic<bool> timerActive{false};  // the engine runs: the clock counts
  std::atomic<int> percent{0};           // its row's progress
  std::atomic<int> elapsed{0};           // seconds the engine ran; driving thread writes
  std::chrono::milliseconds prepareTime{0};  // the batch's own work before the engine
  bool ended = false;                    // guarded by jobsMutex_: the thread is done

  std::mutex mutex;  // guards what follows
  std::unique_ptr<CopyDataEndpoint> endpoint;  // closed when the engine has ended
  int mediaTime = 0;
  bool debugLineDue = true;
  std::deque<std::string> lastLines;
};

int BatchRunner::DefaultConversionsAtOnce() {
  unsigned cores = std::thread::hardware_concurrency();
  return std::clamp(static_cast<int>(cores), 1, 4);
}

BatchRunner::BatchRunner(BatchView& view) : view_(view) {}

BatchRunner::~BatchRunner() {
  // The view may be going too: what was not handed over is dropped.
  if (running_) {
    cancelRequested_ = true;
    questions_.Cancel();
    StopEveryJob();
  }
  Join();
  if (watchFd_ >= 0) ::close(watchFd_);
  if (wakeFd_ >= 0) ::close(wakeFd_);
}

void BatchRunner::AddJob(std::string sourcePath, std::string outputPath, std::string estimatedSize,
                         std::string targetExtension, std::string engineArgs,
                         int32_t durationSeconds) {
  AddJob(ConversionJob{std::move(sourcePath), std::move(outputPath), std::move(estimatedSize),
                       std::move(targetExtension), std::move(engineArgs), durationSeconds});
}

void BatchRunner::AddJob(const ConversionJob& job) {
  std::lock_guard<BatchLock> lock(jobsMutex_);
  JobResult result;
  result.sourcePath = job.sourcePath;
  result.outputPath = job.outputPath;
  results_.push_back(result);
  jobs_.push_back({job, results_.size() - 1, nextId_++});
}

void BatchRunner::SetConversionsAtOnce(int count) {
  conversionsAtOnce_ = std::clamp(count, 1, kMaxConversionsAtOnce);
  std::lock_guard<BatchLock> lock(jobsMutex_);
  jobEnded_.notify_all();
}

std::vector<ConversionJob> BatchRunner::Jobs() const {
  std::lock_guard<BatchLock> lock(jobsMutex_);
  std::vector<ConversionJob> jobs;
  for (const Entry& entry : jobs_) jobs.push_back(entry.job);
  return jobs;
}

bool BatchRunner::Start(std::string* error) {
  if (running_ || worker_.joinable()) {
    if (error) *error = "the batch has started already";
    return false;
  }
  wakeFd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  watchFd_ = epoll_create1(EPOLL_CLOEXEC);
  if (wakeFd_ < 0 || watchFd_ < 0) {
    if (error) *error = "cannot watch the engines' reports";
    return false;
  }
  Watch(watchFd_, wakeFd_);
  running_ = true;
  worker_ = std::thread([this] { ThreadProc_Convert(); });
  // The read-back library loads while the first job converts, not after it.
  preloader_ = std::thread(PreloadMediaReadBack);
  return true;
}

void BatchRunner::Join() {
  if (worker_.joinable()) worker_.join();
  if (preloader_.joinable()) preloader_.join();
}

void BatchRunner::ThreadProc_Convert() {
  ScopedFaultTranslator translator(nullptr);
  try {
    RunGuarded([this] { ConvertAll(); });
  } catch (const std::exception& error) {
    // A machine fault or an error ends the batch at once: no completion notice.
    cancelRequested_ = true;
    StopEveryJob();
    WaitForEveryJob();
    std::string report = error.what();
    std::lock_guard<BatchLock> lock(jobsMutex_);
    Queue([report](BatchView& view) { view.WorkerFault(report); });
    running_ = false;
  }
  Wake();  // the driving thread sees the end at once
}

void BatchRunner::ConvertAll() {
  BATCH_LOG("Enter: CDlgConverting::ThreadProc_Convert");
  while (!cancelRequested_) {
    WaitForFreeSlot();
    if (cancelRequested_) break;
    Entry entry;
    {
      std::lock_guard<BatchLock> lock(jobsMutex_);
      if (next_ >= static_cast<int>(jobs_.size())) break;
      jobs_[next_].state = BatchJobState::kPreparing;
      entry = jobs_[next_];
      next_ += 1;
    }
    bool replaceExisting = false;
    auto began = std::chrono::steady_clock::now();
    Prepared prepared = PrepareJob(entry, &replaceExisting);
    if (prepared == Prepared::kStopBatch) break;
    if (prepared == Prepared::kRun) StartJob(entry, replaceExisting, began);
  }
  WaitForEveryJob();

  BatchSummary summary = Summary();
  bool shutDown = autoShutdown_ && !cancelRequested_ &&
                  (summary.AllSucceeded() || shutdownEvenOnFailure_);
  summary.shuttingDown = shutDown;
  {
    std::lock_guard<BatchLock> lock(jobsMutex_);
    Queue([](BatchView& view) { view.ControlsEnabled(false); });
    if (!cancelRequested_) Queue([summary](BatchView& view) { view.BatchCompleted(summary); });
  }
  Wake();
  if (shutDown) {
    BATCH_LOG("CDlgConverting::ThreadProc_Convert, Auto shutdown");
    ShutdownComputer(0);
  }
  running_ = false;
  BATCH_LOG("Leave: CDlgConverting::ThreadProc_Convert");
}

BatchRunner::Prepared BatchRunner::PrepareJob(const Entry& entry, bool* replaceExisting) {
  const ConversionJob& job = entry.job;
  BATCH_LOG("CDlgConverting::ThreadProc_Convert, Current File: %s", job.sourcePath.c_str());
  TellRow(entry.id, [](BatchView& view, int row) { view.JobStarted(row); });
  JobResult result;
  {
    std::lock_guard<BatchLock> lock(jobsMutex_);
    result = results_[entry.resultIndex];
  }

  // What is known before the engine starts fails the job without it.
  if (FailureKind known = KnownBeforeStart(job); known != FailureKind::kNone) {
    FailBeforeStart(entry, result, known);
    return Prepared::kDone;
  }
  int64_t required = ParseByteSize(job.estimatedSize);
  if (required >= 0 && static_cast<uint64_t>(required) >= FreeSpace(job.outputPath) &&
      !AskWorkerQuestion("There is not enough free space, do you want to continue?")) {
    stoppedForSpace_ = !cancelRequested_;
    return Prepared::kStopBatch;
  }

  if (FailureKind folder = PrepareOutputFolder(job.outputPath); folder != FailureKind::kNone) {
    FailBeforeStart(entry, result, folder);
    return Prepared::kDone;
  }
  RemoveLeftoversOnce(FolderOf(job.outputPath));
  if (SameFile(job.sourcePath, job.outputPath)) {
    result.outcome = JobOutcome::kFailed;
    result.reason = "The output file would replace its own source, so it was not converted.";
    RecordResult(entry.id, entry.resultIndex, result, true);
    return Prepared::kDone;
  }
  if (FileExists(job.outputPath)) {
    if (!AskWorkerQuestion("The file '" + job.outputPath +
                           "' is exists. \nClick Yes to continue or No to skip? ")) {
      // A question withdrawn by the cancel leaves the job not run.
      if (cancelRequested_) return Prepared::kStopBatch;
      result.outcome = JobOutcome::kSkipped;
      result.reason = "The output file exists and was kept.";
      RecordResult(entry.id, entry.resultIndex, result, true);
      return Prepared::kDone;
    }
    *replaceExisting = true;
  }
  return Prepared::kRun;
}

void BatchRunner::RemoveLeftoversOnce(std::string_view folder) {
  std::string path = folder.empty() ? "." : std::string(folder);
  if (!clearedFolders_.insert(path).second) return;
  int removed = RemovePartialsOfEndedProcesses(path);
  if (removed > 0) BATCH_LOG("Removed %d unfinished files of ended runs in %s", removed, path.c_str());
}

FailureKind BatchRunner::KnownBeforeStart(const ConversionJob& job) {
  if (FailureKind source = CheckSource(job.sourcePath); source != FailureKind::kNone) return source;
  if (job.lacksSound) return FailureKind::kNoSound;
  return FailureKind::kNone;
}

void BatchRunner::FailBeforeStart(const Entry& entry, JobResult result, FailureKind kind) {
  result.outcome = JobOutcome::kFailed;
  result.failure = kind;
  result.reason = FailureMessage(kind, entry.job.targetExtension);
  BATCH_LOG("CDlgConverting::ThreadProc_Convert, not started: %s", result.reason.c_str());
  RecordResult(entry.id, entry.resultIndex, result, true);
}

void BatchRunner::StartJob(const Entry& entry, bool replaceExisting,
                           std::chrono::steady_clock::time_point prepareBegan) {
  auto job = std::make_shared<Running>();
  job->id = entry.id;
  job->resultIndex = entry.resultIndex;
  job->job = entry.job;
  job->replaceExisting = replaceExisting;
  // The engine writes beside the output; the file gets its name once it is whole.
  job->partial = PartialOutputPath(entry.job.outputPath);
  std::string error;
  job->endpoint = CopyDataEndpoint::Open(&error);
  if (!job->endpoint) {
    JobResult result = Summary().jobs[entry.resultIndex];
    result.outcome = JobOutcome::kFailed;
    result.reason = "The converter engine could not be given a channel to report on: " + error;
    RecordResult(entry.id, entry.resultIndex, result, true);
    return;
  }
  {
    std::lock_guard<BatchLock> lock(jobsMutex_);
    // Deleted while a question was open, or the batch was cancelled.
    if (RowOf(entry.id) < 0 || cancelRequested_) return;
    jobs_[RowOf(entry.id)].state = BatchJobState::kRunning;
    jobs_[RowOf(entry.id)].started = job;
    // From here a Stop holds for this job, however soon it comes.
    job->engine.BeginRun();
    job->timerActive = true;
    Watch(watchFd_, job->endpoint->Fd());
    runningJobs_.push_back(job);
  }
  job->prepareTime = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::steady_clock::now() - prepareBegan);
  try {
    job->thread = std::thread([this, job] { WatchJob(job); });
  } catch (const std::system_error&) {
    WatchJob(job);  // no thread to be had: the job runs here, alone
  }
}

void BatchRunner::WatchJob(const RunningPtr& job) {
  job->engine.SetNotify(job->endpoint->Number(), kProgressNotice);
  int exitCode = 0;
  bool started = job->engine.ConvertStart(job->job.sourcePath, job->partial,
                                          job->endpoint->Number(), job->job.EngineRunArguments(),
                                          &exitCode);
  BATCH_LOG("CDlgConverting::ThreadProc_Convert, Error: %s", started ? "No" : "Yes");
  BATCH_LOG("CDlgConverting::ThreadProc_Convert, trancor.exe ExitCode: %d", exitCode);
  job->timerActive = false;
  auto engineEnded = std::chrono::steady_clock::now();
  DrainEngineText(*job);  // the job's last reports
  CloseEndpoint(*job);
  try {
    RunGuarded([&] { FinishJob(*job, started, exitCode); });
  } catch (const std::exception& fault) {
    JobResult result = Summary().jobs[job->resultIndex];
    result.outcome = JobOutcome::kFailed;
    result.reason = std::string("The output check stopped after a fault: ") + fault.what();
    RecordResult(job->id, job->resultIndex, result, true);
  }
  // The batch's own work around the engine, which the user waits for too.
  auto finishTime = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::steady_clock::now() - engineEnded);
  BATCH_LOG("DebugInfo: Job steps besides the engine: prepare and start %lld ms, finish %lld ms",
            static_cast<long long>(job->prepareTime.count()),
            static_cast<long long>(finishTime.count()));
  std::lock_guard<BatchLock> lock(jobsMutex_);
  job->ended = true;
  jobEnded_.notify_all();
}

void BatchRunner::FinishJob(Running& job, bool started, int exitCode) {
  JobResult result;
  {
    // Once this decides, the row can no longer be deleted.
    std::lock_guard<BatchLock> lock(jobsMutex_);
    int row = RowOf(job.id);
    if (job.deleted || row < 0) {
      std::remove(job.partial.c_str());
      return;
    }
    jobs_[row].state = BatchJobState::kDone;
    result = results_[job.resultIndex];
  }
  const std::string& output = job.job.outputPath;
  // A job whose engine ended by itself before the cancel reached it is
  // finished, not unfinished: it is checked and kept like any other.
  if (cancelRequested_ && job.engine.LastRunStopped()) {
    result.outcome = JobOutcome::kCancelled;
    result.reason = "The batch was cancelled while this file was converting.";
    // Kept unfinished files get the output's name, as the user chose.
    if (deleteUnfinished_ || !FileExists(job.partial) ||
        !PublishOutput(job.partial, output, job.replaceExisting, nullptr))
      std::remove(job.partial.c_str());
    RecordResult(job.id, job.resultIndex, result, false);
    return;
  }
  result = CheckOutput(result, job, started, exitCode);
  if (result.outcome == JobOutcome::kSucceeded &&
      !PublishOutput(job.partial, output, job.replaceExisting, &result.reason))
    result.outcome = JobOutcome::kFailed;
  if (result.outcome != JobOutcome::kSucceeded) std::remove(job.partial.c_str());
  // A video profile given a file without a picture makes a file of its sound.
  if (result.outcome == JobOutcome::kSucceeded && job.job.lacksPicture)
    result.note = SoundOnlyNote(job.job.targetExtension);
  TellRow(job.id, [](BatchView& view, int row) { view.RowRemaining(row, "00:00:00"); });
  RecordResult(job.id, job.resultIndex, result, true);
}

JobResult BatchRunner::CheckOutput(JobResult result, const Running& job, bool started,
                                   int exitCode) {
  result.exitCode = exitCode;
  result.outcome = JobOutcome::kFailed;
  if (!started) {
    result.failure = FailureKind::kEngineCannotStart;
    result.reason = FailureMessage(result.failure);
  } else if (exitCode != 0) {
    EngineReport report{{job.lastLines.begin(), job.lastLines.end()}, job.partial, exitCode,
                        job.job.makesPicture};
    result.failure = ClassifyEngineFailure(report);
    result.reason = FailureMessage(result.failure, job.job.targetExtension, exitCode);
  } else if (FileSize(job.partial) == 0) {
    result.reason = "The converter engine reported success but wrote no output.";
  } else if (double length = -1; IsReadableMedia(job.partial, &result.reason, &length)) {
    result.reason = ShortOutputReason(job.job.durationSeconds, length);
    if (!result.reason.empty()) {
      MLOG("BatchRunner::CheckOutput, %s: %.2f s of %d s expected", job.partial.c_str(), length,
           job.job.durationSeconds);
      return result;  // the engine's lines say nothing about it
    }
    result.outcome = JobOutcome::kSucceeded;
    return result;
  }
  // The endpoint is closed: nobody else touches the lines any more.
  result.engineLines.assign(job.lastLines.begin(), job.lastLines.end());
  return result;
}

void BatchRunner::RecordResult(int id, size_t resultIndex, const JobResult& result,
                               bool finishRow) {
  {
    std::lock_guard<BatchLock> lock(jobsMutex_);
    int row = RowOf(id);
    if (row < 0) return;  // deleted meanwhile: its result says so
    results_[resultIndex] = result;
    jobs_[row].state = BatchJobState::kDone;
    if (finishRow) QueueAtRow(id, [](BatchView& view, int at) { view.RowDeleteEnabled(at, false); });
    QueueAtRow(id, [result](BatchView& view, int at) { view.JobFinished(at, result); });
  }
  Wake();
}

void BatchRunner::WaitForFreeSlot() {
  std::unique_lock<BatchLock> lock(jobsMutex_);
  jobEnded_.wait(lock, [this] {
    ReapEndedJobs();
    return cancelRequested_ || static_cast<int>(runningJobs_.size()) < conversionsAtOnce_;
  });
}

void BatchRunner::WaitForEveryJob() {
  std::unique_lock<BatchLock> lock(jobsMutex_);
  jobEnded_.wait(lock, [this] {
    ReapEndedJobs();
    return runningJobs_.empty();
  });
}

void BatchRunner::ReapEndedJobs() {
  // An ended job's thread takes no lock any more, so joining it here is safe.
  for (auto it = runningJobs_.begin(); it != runningJobs_.end();) {
    if (!(*it)->ended) {
      ++it;
      continue;
    }
    if ((*it)->thread.joinable()) (*it)->thread.join();
    it = runningJobs_.erase(it);
  }
}

void BatchRunner::StopEveryJob() {
  std::vector<RunningPtr> jobs;
  {
    std::lock_guard<BatchLock> lock(jobsMutex_);
    jobs = runningJobs_;
    jobEnded_.notify_all();  // a worker waiting for a free slot sees the cancel
  }
  for (const RunningPtr& job : jobs) {
    job->timerActive = false;
    job->engine.Stop();
  }
}

int BatchRunner::RowOf(int id) const {
  for (size_t row = 0; row < jobs_.size(); ++row)
    if (jobs_[row].id == id) return static_cast<int>(row);
  return -1;
}

std::vector<BatchRunner::RunningPtr> BatchRunner::RunningJobs() const {
  std::lock_guard<BatchLock> lock(jobsMutex_);
  return runningJobs_;
}

void BatchRunner::Queue(Change change) { changes_.push_back(std::move(change)); }

void BatchRunner::QueueAtRow(int id, RowChange change) {
  int row = RowOf(id);
  if (row < 0) return;
  changes_.push_back([row, change = std::move(change)](BatchView& view) { change(view, row); });
}

void BatchRunner::TellRow(int id, RowChange change) {
  {
    std::lock_guard<BatchLock> lock(jobsMutex_);
    QueueAtRow(id, std::move(change));
  }
  Wake();
}

void BatchRunner::Wake() {
  if (wakeFd_ < 0 || wakePending_.exchange(true)) return;
  uint64_t one = 1;
  [[maybe_unused]] ssize_t written = ::write(wakeFd_, &one, sizeof one);
}

void BatchRunner::ClearWake() {
  if (wakeFd_ < 0) return;
  // Cleared before the queue is read: a change queued from now on wakes again.
  wakePending_ = false;
  uint64_t count = 0;
  [[maybe_unused]] ssize_t got = ::read(wakeFd_, &count, sizeof count);
}

void BatchRunner::Deliver() {
  // One change at a time, the lock released before each call: a call that
  // runs a nested event loop (a question) may pull again and go on in order.
  for (;;) {
    Change change;
    {
      std::lock_guard<BatchLock> lock(jobsMutex_);
      if (changes_.empty()) return;
      change = std::move(changes_.front());
      changes_.pop_front();
    }
    change(view_);
  }
}

void BatchRunner::AskOpenQuestion() {
  std::optional<std::string> question = questions_.Take();
  if (!question) return;
  Deliver();  // what the worker queued before it asked comes first
  questions_.Answer(view_.AskYesNo(*question));
}

bool BatchRunner::AskWorkerQuestion(const std::string& question) {
  return questions_.Ask(question, [this] { Wake(); });
}

void BatchRunner::OnEngineTextReady() {
  ClearWake();
  for (const RunningPtr& job : RunningJobs()) DrainEngineText(*job);
  Deliver();
  AskOpenQuestion();
}

void BatchRunner::DrainEngineText(Running& job) {
  std::lock_guard<std::mutex> lock(job.mutex);
  if (!job.endpoint) return;
  while (auto message = job.endpoint->Receive(0))
    if (message->dataWord == 0) HandleEngineText(job, message->payload);
}

void BatchRunner::CloseEndpoint(Running& job) {
  std::lock_guard<std::mutex> lock(job.mutex);
  epoll_ctl(watchFd_, EPOLL_CTL_DEL, job.endpoint->Fd(), nullptr);
  job.endpoint.reset();
}

void BatchRunner::HandleEngineText(Running& job, const std::string& text) {
  BATCH_LOG("%s", text.c_str());
  std::string line = TrimLine(text);
  if (!line.empty())
    TellRow(job.id, [line](BatchView& view, int row) { view.EngineText(row, line); });
  if (!line.empty()) {
    job.lastLines.push_back(line);
    if (job.lastLines.size() > kKeptEngineLines) job.lastLines.pop_front();
  }
  int total = job.job.durationSeconds;
  float exact = 0.0f;
  if (auto media = MediaTimeOfReport(text)) {
    job.mediaTime = *media;
    if (total != 0 && !job.deleted) {
      int percent = ProgressPercent(job.mediaTime, total, &exact);
      job.percent = percent;
      TellRow(job.id, [percent](BatchView& view, int row) { view.RowProgress(row, percent); });
    }
  }
  if (job.debugLineDue) {
    job.debugLineDue = false;
    BATCH_LOG("DebugInfo: Video Total Duration: %d, Current Duration: %d, Pos: %.2f", total,
              job.mediaTime, static_cast<double>(exact));
  }
}

void BatchRunner::OnSecondTimer() {
  for (const RunningPtr& job : RunningJobs()) {
    if (!job->timerActive) continue;
    int elapsed = job->elapsed += 1;
    int media = 0;
    {
      std::lock_guard<std::mutex> progress(job->mutex);
      media = job->mediaTime;
    }
    std::string remaining =
        media != 0 ? RemainingTimeText(elapsed, media, job->job.durationSeconds) : std::string();
    std::lock_guard<BatchLock> lock(jobsMutex_);
    QueueAtRow(job->id, [elapsed, remaining](BatchView& view, int row) {
      view.RowElapsed(row, FormatClock(static_cast<uint32_t>(elapsed)));
      if (!remaining.empty()) view.RowRemaining(row, remaining);
    });
  }
  Deliver();
}

BatchSnapshot BatchRunner::Snapshot() const {
  BatchSnapshot snapshot;
  std::lock_guard<BatchLock> lock(jobsMutex_);
  snapshot.running = running_;
  for (size_t row = 0; row < jobs_.size(); ++row) {
    const Entry& entry = jobs_[row];
    BatchJobSnapshot job;
    job.row = static_cast<int>(row);
    job.sourcePath = entry.job.sourcePath;
    job.state = entry.state;
    job.outcome = results_[entry.resultIndex].outcome;
    if (entry.started) {
      job.percent = entry.started->percent;
      job.elapsedSeconds = entry.started->elapsed;
    }
    if (job.outcome == JobOutcome::kSucceeded) job.percent = 100;
    snapshot.jobs.push_back(job);
  }
  return snapshot;
}

void BatchRunner::DeleteJob(int row) {
  auto now = std::chrono::steady_clock::now();
  if (lastDelete_ != std::chrono::steady_clock::time_point{} && now - lastDelete_ < kDeleteGuard)
    return;
  lastDelete_ = now;

  RunningPtr stopping;
  {
    std::lock_guard<BatchLock> lock(jobsMutex_);
    if (row < 0 || row >= static_cast<int>(jobs_.size())) return;
    const Entry& entry = jobs_[row];
    if (entry.state == BatchJobState::kDone) return;
    if (entry.state == BatchJobState::kRunning) {
      for (const RunningPtr& job : runningJobs_)
        if (job->id == entry.id) stopping = job;
      if (stopping) {
        stopping->deleted = true;
        stopping->timerActive = false;
      }
    }
    results_[entry.resultIndex].outcome = JobOutcome::kDeleted;
    results_[entry.resultIndex].reason = "Removed from the batch.";
    if (row < next_) next_ -= 1;  // the rows after it move up
    jobs_.erase(jobs_.begin() + row);
    Queue([row](BatchView& view) { view.RowRemoved(row); });
  }
  // Its thread removes what the engine wrote once the engine has ended.
  if (stopping) stopping->engine.Stop();
  Deliver();
}

bool BatchRunner::Cancel(bool ask) {
  if (!running_) return true;
  if (ask && !view_.AskYesNo("Are you sure you want to cancel the task and then close this window?"))
    return false;
  cancelRequested_ = true;
  questions_.Cancel();  // a worker waiting for an answer goes on with No
  StopEveryJob();
  // Neither the worker nor a job's thread waits for this thread: joining is safe.
  if (worker_.joinable()) worker_.join();
  if (deleteUnfinished_) {
    std::lock_guard<BatchLock> lock(jobsMutex_);
    // The jobs that were converting when the batch was cancelled are
    // unfinished; their threads have removed what they wrote.
    for (int row = static_cast<int>(jobs_.size()) - 1; row >= 0; --row) {
      if (results_[jobs_[row].resultIndex].outcome != JobOutcome::kCancelled) continue;
      jobs_.erase(jobs_.begin() + row);
      Queue([row](BatchView& view) { view.RowRemoved(row); });
    }
  }
  {
    std::lock_guard<BatchLock> lock(jobsMutex_);
    Queue([](BatchView& view) { view.ControlsEnabled(false); });
  }
  Deliver();
  return true;
}

BatchSummary BatchRunner::Summary() const {
  BatchSummary summary;
  std::lock_guard<BatchLock> lock(jobsMutex_);
  summary.jobs = results_;
  summary.stoppedForSpace = stoppedForSpace_;
  return summary;
}

bool BatchSummary::AllSucceeded() const {
  if (stoppedForSpace) return false;
  for (const JobResult& job : jobs)
    if (job.outcome != JobOutcome::kSucceeded && job.outcome != JobOutcome::kDeleted) return false;
  return true;
}

std::string BatchSummary::Text() const {
  std::string notes;
  for (const JobResult& job : jobs)
    if (job.outcome == JobOutcome::kSucceeded && !job.note.empty())
      notes += "\n" + std::string(BaseName(job.sourcePath)) + ": " + job.note;
  if (AllSucceeded()) return "Converted successfully!" + notes;
  int converted = 0, counted = 0;
  std::string details;
  for (const JobResult& job : jobs) {
    if (job.outcome == JobOutcome::kDeleted) continue;
    ++counted;
    if (job.outcome == JobOutcome::kSucceeded) {
      ++converted;
      continue;
    }
    details += "\n" + std::string(BaseName(job.sourcePath)) + ": ";
    switch (job.outcome) {
      case JobOutcome::kSkipped: details += "skipped, the output file exists."; break;
      case JobOutcome::kNotRun: details += "not converted, the batch was stopped."; break;
      case JobOutcome::kCancelled: details += "cancelled."; break;
      default: details += job.reason; break;
    }
  }
  std::string text = "Converted " + std::to_string(converted) + " of " + std::to_string(counted) +
                     (counted == 1 ? " file." : " files.");
  if (stoppedForSpace) text += "\nThe batch was stopped for lack of free space.";
  return text + details + notes;
}

}  // namespace mivora
