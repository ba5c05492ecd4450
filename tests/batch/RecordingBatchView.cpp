#include "tests/batch/RecordingBatchView.h"

#include <gtest/gtest.h>

namespace mivora::test {

bool RecordingBatchView::AskYesNo(const std::string& question) {
  Called();
  if (onQuestion) onQuestion();
  std::lock_guard<std::mutex> lock(mutex_);
  questions_.push_back(question);
  return answered_ < answers.size() ? answers[answered_++] : defaultAnswer;
}

void RecordingBatchView::JobStarted(int) {
  Called();
  started++;
}

void RecordingBatchView::RowElapsed(int, const std::string&) {
  Called();
  elapsedTicks++;
}

void RecordingBatchView::RowProgress(int row, int percent) {
  Called();
  {
    std::lock_guard<std::mutex> lock(mutex_);
    percents_.push_back(percent);
  }
  if (onProgress) onProgress(row, percent);
}

void RecordingBatchView::RowRemaining(int, const std::string& text) {
  Called();
  EXPECT_EQ(text.size() >= 8, true) << text;
}

void RecordingBatchView::RowRemoved(int row) {
  Called();
  std::lock_guard<std::mutex> lock(mutex_);
  removed_.push_back(row);
}

void RecordingBatchView::JobFinished(int, const JobResult& result) {
  Called();
  std::lock_guard<std::mutex> lock(mutex_);
  finished_.push_back(result);
}

void RecordingBatchView::BatchCompleted(const BatchSummary& summary) {
  Called();
  std::lock_guard<std::mutex> lock(mutex_);
  summary_ = summary;
  completed_ = true;
}

void RecordingBatchView::WorkerFault(const std::string& report) {
  Called();
  ADD_FAILURE() << "worker fault: " << report;
}

std::vector<std::string> RecordingBatchView::Questions() {
  std::lock_guard<std::mutex> lock(mutex_);
  return questions_;
}
std::vector<int> RecordingBatchView::Removed() {
  std::lock_guard<std::mutex> lock(mutex_);
  return removed_;
}
std::vector<int> RecordingBatchView::Percents() {
  std::lock_guard<std::mutex> lock(mutex_);
  return percents_;
}
std::vector<JobResult> RecordingBatchView::Finished() {
  std::lock_guard<std::mutex> lock(mutex_);
  return finished_;
}
BatchSummary RecordingBatchView::Summary() {
  std::lock_guard<std::mutex> lock(mutex_);
  return summary_;
}

}  // namespace mivora::test
