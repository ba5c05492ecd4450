#pragma once
// A batch view that records what the runner showed and answers questions
// from a script.

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "pipeline/BatchView.h"

namespace mivora::test {

class RecordingBatchView : public BatchView {
 public:
  // Answers questions in order; once they run out, answers `defaultAnswer`.
  std::vector<bool> answers;
  bool defaultAnswer = true;
  // Called (on the runner's thread) after each progress report.
  std::function<void(int row, int percent)> onProgress;
  // Called first in every call the runner makes.
  std::function<void()> onEveryCall;
  // Called while a question is shown, before it is answered.
  std::function<void()> onQuestion;

  bool AskYesNo(const std::string& question) override;
  void JobStarted(int row) override;
  void RowProgress(int row, int percent) override;
  void RowElapsed(int, const std::string&) override;
  void RowRemaining(int, const std::string& text) override;
  void RowDeleteEnabled(int, bool) override { Called(); }
  void RowRemoved(int row) override;
  void JobFinished(int row, const JobResult& result) override;
  void EngineText(int, const std::string&) override { Called(); }
  void ControlsEnabled(bool) override { Called(); }
  void BatchCompleted(const BatchSummary& summary) override;
  void WorkerFault(const std::string& report) override;

  std::vector<std::string> Questions();
  std::vector<int> Removed();
  std::vector<int> Percents();
  std::vector<JobResult> Finished();
  bool completed() const { return completed_; }
  BatchSummary Summary();

  std::atomic<int> elapsedTicks{0};
  std::atomic<int> started{0};

 private:
  void Called() {
    if (onEveryCall) onEveryCall();
  }

  std::mutex mutex_;
  size_t answered_ = 0;
  std::vector<std::string> questions_;
  std::vector<int> removed_;
  std::vector<int> percents_;
  std::vector<JobResult> finished_;
  BatchSummary summary_;
  std::atomic<bool> completed_{false};
};

}  // namespace mivora::test
