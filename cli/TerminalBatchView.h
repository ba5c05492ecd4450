#pragma once
// The batch view of mivora-cli: a progress line per file, questions asked on
// the terminal or answered by options, and a summary.

#include <atomic>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

#include "pipeline/BatchView.h"

namespace mivora::cli {

// How questions are answered when there is no terminal to ask.
struct TerminalAnswers {
  enum Existing { kAsk, kOverwrite, kSkip } existing = kAsk;
  bool yesToAll = false;  // answer Yes to every other question
};

class TerminalBatchView : public BatchView {
 public:
  TerminalBatchView(std::vector<std::string> sources, TerminalAnswers answers,
                    const std::atomic<bool>& interrupted);
  // With `verbose` the engine's own lines are printed as they come.
  void SetVerbose(bool verbose) { verbose_ = verbose; }

  bool AskYesNo(const std::string& question) override;
  void JobStarted(int row) override;
  void RowProgress(int row, int percent) override;
  void RowElapsed(int row, const std::string& text) override;
  void RowRemaining(int row, const std::string& text) override;
  void RowDeleteEnabled(int, bool) override {}
  void RowRemoved(int row) override;
  void JobFinished(int row, const JobResult& result) override;
  void EngineText(int row, const std::string& text) override;
  void ControlsEnabled(bool) override {}
  void BatchCompleted(const BatchSummary& summary) override;
  void WorkerFault(const std::string& report) override;

  bool completed() const { return completed_; }
  bool allSucceeded() const { return allSucceeded_; }

 private:
  struct Row {
    std::string name;
    int percent = 0;
    std::string elapsed = "00:00:00";
    std::string remaining = "--:--:--";
    bool running = false;  // started, not yet finished
  };
  // A finished row's line, "Failed" in place of its percent for a failure
  // (with mutex_ held).
  void DrawFinal(const Row& row, bool failed);
  // On a terminal, the one changing line: the running row, or every running
  // row in short when several convert at once (with mutex_ held).
  void DrawRunning();

  std::mutex mutex_;
  std::vector<Row> rows_;  // guarded by mutex_; follows the batch's rows
  TerminalAnswers answers_;
  const std::atomic<bool>& interrupted_;
  bool interactive_;
  bool verbose_ = false;
  std::atomic<bool> completed_{false};
  std::atomic<bool> allSucceeded_{false};
};

}  // namespace mivora::cli
