#include "pipeline/BatchRunner.h"

#include <sys/stat.h>

#include <cstdio>

#include "common/Folders.h"
#include "common/Format.h"
#include "common/Log.h"
#include "common/SystemQueries.h"
#include "pipeline/BatchProgress.h"
#include "pipeline/ConvertHelper.h"
#include "pipeline/OutputFiles.h"
#include "platform/CopyDataEndpoint.h"
#include "platform/FaultGuard.h"

// The batch's lines carry the progress window's module name.
#define BATCH_LOG(...) ::mivora::Log("DlgConverting", __LINE__, __VA_ARGS__)

namespace mivora {
namespace {

constexpr size_t kKeptEngineLines = 6;
constexpr auto kDeleteGuard = std::chrono::milliseconds(500);
constexpr auto kCancelPoll = std::chrono::milliseconds(50);

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

}  // namespace

BatchRunner::BatchRunner(BatchView& view) : view_(view) {}

BatchRunner::~BatchRunner() {
  if (running_) {
    cancelRequested_ = true;
    if (runner_) runner_->Stop();
  }
  Join();
}

void BatchRunner::AddJob(std::string sourcePath, std::string outputPath, std::string estimatedSize,
                         std::string targetExtension, std::string engineArgs,
                         int32_t durationSeconds) {
  AddJob(ConversionJob{std::move(sourcePath), std::move(outputPath), std::move(estimatedSize),
                       std::move(targetExtension), std::move(engineArgs), durationSeconds});
}

void BatchRunner::AddJob(const ConversionJob& job) {
  std::lock_guard<std::mutex> lock(jobsMutex_);
  JobResult result;
  result.sourcePath = job.sourcePath;
  result.outputPath = job.outputPath;
  results_.push_back(result);
  jobs_.push_back({job, results_.size() - 1});
}

std::vector<ConversionJob> BatchRunner::Jobs() const {
  std::lock_guard<std::mutex> lock(jobsMutex_);
  std::vector<ConversionJob> jobs;
  for (const Entry& entry : jobs_) jobs.push_back(entry.job);
  return jobs;
}

int BatchRunner::EngineFd() const { return endpoint_ ? endpoint_->Fd() : -1; }

bool BatchRunner::Start(std::string* error) {
  endpoint_ = CopyDataEndpoint::Open(error);
  if (!endpoint_) return false;
  runner_ = std::make_unique<ConvertHelper>();
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
  InstallFaultTranslator(nullptr);
  try {
    RunGuarded([this] { ConvertAll(); });
  } catch (const std::exception& error) {
    // A machine fault or an error ends the worker at once: no completion notice.
    timerActive_ = false;
    running_ = false;
    view_.WorkerFault(error.what());
  }
  UninstallFaultTranslator();
  WakeDrivingThread();
}

void BatchRunner::WakeDrivingThread() {
  CopyDataSender sender;
  sender.Send(endpoint_->Number(), kWorkerEndedNotice, {});
}

void BatchRunner::ConvertAll() {
  BATCH_LOG("Enter: CDlgConverting::ThreadProc_Convert");
  {
    std::lock_guard<std::mutex> lock(jobsMutex_);
    next_ = 0;
  }
  while (!cancelRequested_) {
    int index;
    {
      std::lock_guard<std::mutex> lock(jobsMutex_);
      current_ = next_;
      next_ = current_ + 1;
      index = current_;
      currentDeleted_ = false;
      currentOutputOurs_ = false;
      if (current_ >= static_cast<int>(jobs_.size())) break;
    }
    {
      std::lock_guard<std::mutex> lock(progressMutex_);
      elapsed_ = 0;
      mediaTime_ = 0;  // a new job shows no time left over from the last one
      lastLines_.clear();
    }
    timerActive_ = true;
    if (!ConvertOne(index)) break;
  }
  timerActive_ = false;

  view_.ControlsEnabled(false);
  BatchSummary summary = Summary();
  bool shutDown = autoShutdown_ && !cancelRequested_ &&
                  (summary.AllSucceeded() || shutdownEvenOnFailure_);
  summary.shuttingDown = shutDown;
  if (!cancelRequested_) view_.BatchCompleted(summary);
  if (shutDown) {
    BATCH_LOG("CDlgConverting::ThreadProc_Convert, Auto shutdown");
    ShutdownComputer(0);
  }
  running_ = false;
  BATCH_LOG("Leave: CDlgConverting::ThreadProc_Convert");
}

bool BatchRunner::ConvertOne(int index) {
  ConversionJob job;
  size_t resultIndex;
  {
    std::lock_guard<std::mutex> lock(jobsMutex_);
    job = jobs_[index].job;
    resultIndex = jobs_[index].resultIndex;
  }
  BATCH_LOG("CDlgConverting::ThreadProc_Convert, Current File: %s", job.sourcePath.c_str());
  view_.JobStarted(index);
  JobResult result;
  {
    std::lock_guard<std::mutex> lock(jobsMutex_);
    result = results_[resultIndex];
  }

  int64_t required = ParseByteSize(job.estimatedSize);
  if (required >= 0 && static_cast<uint64_t>(required) >= FreeSpace(job.outputPath) &&
      !view_.AskYesNo("There is not enough free space, do you want to continue?")) {
    stoppedForSpace_ = true;
    timerActive_ = false;
    return false;
  }

  CreateFolderTree(FolderOf(job.outputPath));
  if (SameFile(job.sourcePath, job.outputPath)) {
    result.outcome = JobOutcome::kFailed;
    result.reason = "The output file would replace its own source, so it was not converted.";
    view_.RowDeleteEnabled(index, false);
    FinishJob(resultIndex, result, index);
    return true;
  }
  bool replaceExisting = false;
  if (FileExists(job.outputPath)) {
    timerActive_ = false;
    if (!view_.AskYesNo("The file '" + job.outputPath +
                        "' is exists. \nClick Yes to continue or No to skip? ")) {
      view_.RowDeleteEnabled(index, false);
      result.outcome = JobOutcome::kSkipped;
      result.reason = "The output file exists and was kept.";
      FinishJob(resultIndex, result, index);
      return true;
    }
    replaceExisting = true;
    timerActive_ = true;
  }

  // The engine writes beside the output; the file gets its name once it is whole.
  std::string partial = PartialOutputPath(job.outputPath);
  {
    std::lock_guard<std::mutex> lock(jobsMutex_);
    if (currentDeleted_) {  // deleted while a question was open
      currentDeleted_ = false;
      next_ -= 1;
      return true;
    }
    if (cancelRequested_) return true;
    currentOutputOurs_ = true;
    currentPartial_ = partial;
  }
  {
    std::lock_guard<std::mutex> lock(progressMutex_);
    debugLineDue_ = true;
  }

  runner_->SetNotify(endpoint_->Number(), kProgressNotice);
  int exitCode = 0;
  bool started = runner_->ConvertStart(job.sourcePath, partial, endpoint_->Number(),
                                       job.engineArgs, &exitCode);
  BATCH_LOG("CDlgConverting::ThreadProc_Convert, Error: %s", started ? "No" : "Yes");
  BATCH_LOG("CDlgConverting::ThreadProc_Convert, trancor.exe ExitCode: %d", exitCode);
  timerActive_ = false;
  DrainEngineText();  // the job's last reports

  bool deleted;
  {
    std::lock_guard<std::mutex> lock(jobsMutex_);
    deleted = currentDeleted_;
    if (deleted) {
      next_ -= 1;  // the job that moved into the removed place runs next
      currentDeleted_ = false;
    }
    currentOutputOurs_ = false;
    currentPartial_.clear();
  }
  if (deleted) {
    std::remove(partial.c_str());
    return true;
  }
  if (cancelRequested_) {
    result.outcome = JobOutcome::kCancelled;
    result.reason = "The batch was cancelled while this file was converting.";
    // Kept unfinished files get the output's name, as the user chose.
    if (deleteUnfinished_ || !FileExists(partial) ||
        !PublishOutput(partial, job.outputPath, replaceExisting, nullptr))
      std::remove(partial.c_str());
    FinishJob(resultIndex, result, index);
    return true;
  }
  result = CheckOutput(result, partial, started, exitCode);
  if (result.outcome == JobOutcome::kSucceeded &&
      !PublishOutput(partial, job.outputPath, replaceExisting, &result.reason))
    result.outcome = JobOutcome::kFailed;
  if (result.outcome != JobOutcome::kSucceeded) std::remove(partial.c_str());
  view_.RowDeleteEnabled(index, false);
  view_.RowRemaining(index, "00:00:00");
  FinishJob(resultIndex, result, index);
  return true;
}

JobResult BatchRunner::CheckOutput(JobResult result, const std::string& written, bool started,
                                   int exitCode) {
  result.exitCode = exitCode;
  result.outcome = JobOutcome::kFailed;
  if (!started) {
    result.reason = "The converter engine could not be started.";
  } else if (exitCode != 0) {
    result.reason = "The converter engine ended with exit code " + std::to_string(exitCode) + ".";
  } else if (FileSize(written) == 0) {
    result.reason = "The converter engine reported success but wrote no output.";
  } else if (IsReadableMedia(written, &result.reason)) {
    result.reason.clear();
    result.outcome = JobOutcome::kSucceeded;
    return result;
  }
  std::lock_guard<std::mutex> lock(progressMutex_);
  result.engineLines.assign(lastLines_.begin(), lastLines_.end());
  return result;
}

void BatchRunner::FinishJob(size_t resultIndex, JobResult result, int row) {
  {
    std::lock_guard<std::mutex> lock(jobsMutex_);
    results_[resultIndex] = result;
  }
  view_.JobFinished(row, result);
}

void BatchRunner::DrainEngineText() {
  if (!endpoint_) return;
  std::lock_guard<std::mutex> lock(progressMutex_);
  while (auto message = endpoint_->Receive(0))
    if (message->dataWord == 0) HandleEngineText(message->payload);
}

void BatchRunner::OnEngineTextReady() { DrainEngineText(); }

void BatchRunner::HandleEngineText(const std::string& text) {
  BATCH_LOG("%s", text.c_str());
  std::string line = TrimLine(text);
  if (!line.empty()) {
    lastLines_.push_back(line);
    if (lastLines_.size() > kKeptEngineLines) lastLines_.pop_front();
  }
  int row, total;
  {
    std::lock_guard<std::mutex> lock(jobsMutex_);
    row = current_;
    bool valid = row >= 0 && row < static_cast<int>(jobs_.size());
    total = valid ? jobs_[row].job.durationSeconds : 0;
  }
  float exact = 0.0f;
  if (auto media = MediaTimeOfReport(text)) {
    mediaTime_ = *media;
    if (total != 0) {
      int percent = ProgressPercent(mediaTime_, total, &exact);
      view_.RowProgress(row, percent);
      TaskbarSetValue(0, static_cast<uint64_t>(percent), 100);
    }
  }
  if (debugLineDue_) {
    debugLineDue_ = false;
    BATCH_LOG("DebugInfo: Video Total Duration: %d, Current Duration: %d, Pos: %.2f", total,
              mediaTime_, static_cast<double>(exact));
  }
}

void BatchRunner::OnSecondTimer() {
  if (!timerActive_) return;
  std::lock_guard<std::mutex> progress(progressMutex_);
  int row, total;
  {
    std::lock_guard<std::mutex> lock(jobsMutex_);
    row = current_;
    if (row < 0 || row >= static_cast<int>(jobs_.size())) return;
    total = jobs_[row].job.durationSeconds;
  }
  elapsed_ += 1;
  view_.RowElapsed(row, FormatClock(static_cast<uint32_t>(elapsed_)));
  if (mediaTime_ != 0) view_.RowRemaining(row, RemainingTimeText(elapsed_, mediaTime_, total));
}

void BatchRunner::DeleteJob(int row) {
  auto now = std::chrono::steady_clock::now();
  if (lastDelete_ != std::chrono::steady_clock::time_point{} && now - lastDelete_ < kDeleteGuard)
    return;
  lastDelete_ = now;

  std::lock_guard<std::mutex> lock(jobsMutex_);
  if (row < 0 || row >= static_cast<int>(jobs_.size()) || row < current_) return;
  if (row == current_ && !running_) return;
  if (row == current_) {
    timerActive_ = false;
    currentDeleted_ = true;
    if (runner_) runner_->Stop();
    // Only the file this batch started writing is removed, never one the user had.
    if (currentOutputOurs_) std::remove(currentPartial_.c_str());
  }
  results_[jobs_[row].resultIndex].outcome = JobOutcome::kDeleted;
  results_[jobs_[row].resultIndex].reason = "Removed from the batch.";
  jobs_.erase(jobs_.begin() + row);
  view_.RowRemoved(row);
}

bool BatchRunner::Cancel(bool ask) {
  if (!running_) {
    timerActive_ = false;
    return true;
  }
  if (ask && !view_.AskYesNo("Are you sure you want to cancel the task and then close this window?"))
    return false;
  timerActive_ = false;
  cancelRequested_ = true;
  if (runner_) runner_->Stop();
  while (running_) {
    DrainEngineText();
    std::this_thread::sleep_for(kCancelPoll);
  }
  if (deleteUnfinished_) {
    std::lock_guard<std::mutex> lock(jobsMutex_);
    // Only the job that was converting when the batch was cancelled is
    // unfinished; the worker has removed what it wrote.
    if (current_ >= 0 && current_ < static_cast<int>(jobs_.size()) &&
        results_[jobs_[current_].resultIndex].outcome == JobOutcome::kCancelled) {
      jobs_.erase(jobs_.begin() + current_);
      view_.RowRemoved(current_);
    }
  }
  view_.ControlsEnabled(false);
  return true;
}

BatchSummary BatchRunner::Summary() const {
  BatchSummary summary;
  std::lock_guard<std::mutex> lock(jobsMutex_);
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
  if (AllSucceeded()) return "Converted successfully!";
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
    if (!job.engineLines.empty()) details += " (" + job.engineLines.back() + ")";
  }
  std::string text = "Converted " + std::to_string(converted) + " of " + std::to_string(counted) +
                     (counted == 1 ? " file." : " files.");
  if (stoppedForSpace) text += "\nThe batch was stopped for lack of free space.";
  return text + details;
}

}  // namespace mivora
