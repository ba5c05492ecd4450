#include "cli/TerminalBatchView.h"

#include <unistd.h>

#include "common/Folders.h"

namespace mivora::cli {

TerminalBatchView::TerminalBatchView(std::vector<std::string> sources, TerminalAnswers answers,
                                     const std::atomic<bool>& interrupted)
    : answers_(answers), interrupted_(interrupted), interactive_(isatty(STDIN_FILENO) && isatty(STDERR_FILENO)) {
  for (const std::string& source : sources) rows_.push_back({std::string(BaseName(source))});
}

bool TerminalBatchView::AskYesNo(const std::string& question) {
  bool aboutExisting = question.rfind("The file '", 0) == 0;
  if (aboutExisting && answers_.existing != TerminalAnswers::kAsk)
    return answers_.existing == TerminalAnswers::kOverwrite;
  if (!aboutExisting && answers_.yesToAll) return true;
  std::lock_guard<std::mutex> lock(mutex_);
  std::fprintf(stderr, "\n%s", question.c_str());
  if (!interactive_ || interrupted_) {
    std::fprintf(stderr, "\nNo (no terminal to ask; see --overwrite, --skip-existing, --yes)\n");
    return false;
  }
  std::fprintf(stderr, " [y/N] ");
  std::fflush(stderr);
  char answer[16] = {0};
  // A Ctrl-C interrupts the read and counts as No.
  ssize_t n = read(STDIN_FILENO, answer, sizeof answer - 1);
  return n > 0 && (answer[0] == 'y' || answer[0] == 'Y');
}

namespace {

std::string Bar(int percent) {
  std::string bar(20, '.');
  for (int i = 0; i < 20 && i < percent / 5; ++i) bar[i] = '#';
  return bar;
}

}  // namespace

void TerminalBatchView::DrawFinal(const Row& row, bool failed) {
  char percent[16];
  std::snprintf(percent, sizeof percent, "%3d%%", row.percent);
  std::fprintf(stderr, "%s[%s] %s  %s  elapsed %s  left %s\n", interactive_ ? "\r\x1b[K" : "",
               Bar(row.percent).c_str(), failed ? kFailedWord : percent, row.name.c_str(),
               row.elapsed.c_str(), row.remaining.c_str());
  std::fflush(stderr);
}

void TerminalBatchView::DrawRunning() {
  if (!interactive_) return;  // a log gets one line per file
  std::vector<const Row*> running;
  for (const Row& row : rows_)
    if (row.running) running.push_back(&row);
  std::string line;
  if (running.size() == 1) {
    const Row& row = *running[0];
    char text[64];
    std::snprintf(text, sizeof text, "[%s] %3d%%  ", Bar(row.percent).c_str(), row.percent);
    line = text + row.name + "  elapsed " + row.elapsed + "  left " + row.remaining;
  } else {
    for (const Row* row : running) {
      if (!line.empty()) line += "  |  ";
      line += std::to_string(row->percent) + "% " + row->name + " " + row->elapsed;
    }
  }
  std::fprintf(stderr, "\r\x1b[K%s", line.c_str());
  std::fflush(stderr);
}

void TerminalBatchView::JobStarted(int row) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (row < 0 || row >= static_cast<int>(rows_.size())) return;
  rows_[row].running = true;
  DrawRunning();
}

void TerminalBatchView::RowProgress(int row, int percent) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (row < 0 || row >= static_cast<int>(rows_.size())) return;
  rows_[row].percent = percent;
  DrawRunning();
}

void TerminalBatchView::RowElapsed(int row, const std::string& text) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (row < 0 || row >= static_cast<int>(rows_.size())) return;
  rows_[row].elapsed = text;
  DrawRunning();
}

void TerminalBatchView::RowRemaining(int row, const std::string& text) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (row < 0 || row >= static_cast<int>(rows_.size())) return;
  rows_[row].remaining = text;
}

void TerminalBatchView::RowRemoved(int row) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (row < 0 || row >= static_cast<int>(rows_.size())) return;
  rows_.erase(rows_.begin() + row);
  DrawRunning();
}

void TerminalBatchView::JobFinished(int row, const JobResult& result) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (row < 0 || row >= static_cast<int>(rows_.size())) return;
  Row& r = rows_[row];
  r.running = false;
  if (result.outcome == JobOutcome::kSucceeded) {
    r.percent = 100;
    r.remaining = "00:00:00";
  }
  DrawFinal(r, result.outcome == JobOutcome::kFailed);
  if (result.outcome == JobOutcome::kFailed && !result.reason.empty())
    std::fprintf(stderr, "  %s: %s\n", kFailedWord, result.reason.c_str());
  else if (result.outcome != JobOutcome::kSucceeded && !result.reason.empty())
    std::fprintf(stderr, "  %s\n", result.reason.c_str());
  else if (!result.note.empty())
    std::fprintf(stderr, "  %s\n", result.note.c_str());
  DrawRunning();
}

void TerminalBatchView::EngineText(int row, const std::string& text) {
  if (!verbose_) return;
  std::lock_guard<std::mutex> lock(mutex_);
  std::string name = row >= 0 && row < static_cast<int>(rows_.size()) ? rows_[row].name : "";
  std::fprintf(stderr, "%s%s: %s\n", interactive_ ? "\r\x1b[K" : "", name.c_str(), text.c_str());
  DrawRunning();
}

void TerminalBatchView::BatchCompleted(const BatchSummary& summary) {
  std::lock_guard<std::mutex> lock(mutex_);
  allSucceeded_ = summary.AllSucceeded();
  completed_ = true;
  std::printf("%s\n", summary.Text().c_str());
  for (const JobResult& job : summary.jobs)
    if (job.outcome == JobOutcome::kSucceeded) std::printf("wrote %s\n", job.outputPath.c_str());
  if (summary.shuttingDown) std::printf("Shutting the computer down.\n");
  std::fflush(stdout);
}

void TerminalBatchView::WorkerFault(const std::string& report) {
  std::lock_guard<std::mutex> lock(mutex_);
  std::fprintf(stderr, "\nThe conversion stopped after a fault:\n%s", report.c_str());
}

}  // namespace mivora::cli
