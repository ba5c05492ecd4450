#pragma once
// What a batch run shows and asks: implemented by the progress window and by
// the command line's terminal view.
//
// Threads: every call comes on the thread that drives the runner (the
// window's thread, or the command line's loop), from inside one of the
// runner's calls, and never while the runner holds a lock: an
// implementation may call the runner back (DeleteJob, Snapshot, ...). The
// calls about rows come in the order the rows changed. AskYesNo shows a
// question of the worker, which waits for the answer meanwhile; it may run
// a nested event loop, in which further calls may come.

#include <string>

#include "pipeline/ConversionJob.h"

namespace mivora {

class BatchView {
 public:
  virtual ~BatchView() = default;

  // A Yes/No question; true for Yes.
  virtual bool AskYesNo(const std::string& question) = 0;

  virtual void JobStarted(int row) = 0;
  virtual void RowProgress(int row, int percent) = 0;  // 0..100
  virtual void RowElapsed(int row, const std::string& text) = 0;
  virtual void RowRemaining(int row, const std::string& text) = 0;
  virtual void RowDeleteEnabled(int row, bool enabled) = 0;
  virtual void RowRemoved(int row) = 0;
  virtual void JobFinished(int row, const JobResult& result) = 0;
  // One record of a running job's engine text, as the log gets it. Shown
  // only where the user asked for the engine's own words.
  virtual void EngineText(int /*row*/, const std::string& /*text*/) {}
  // The Cancel button and the auto-shutdown box.
  virtual void ControlsEnabled(bool enabled) = 0;

  // The batch has ended by itself (not by Cancel): every job ran, was
  // skipped or deleted, or the user stopped it for lack of space.
  virtual void BatchCompleted(const BatchSummary& summary) = 0;
  // A machine fault ended the worker; `report` says where.
  virtual void WorkerFault(const std::string& report) = 0;
};

}  // namespace mivora
