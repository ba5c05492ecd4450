#pragma once
// Runs the converter engine for one file and blocks its caller until the
// engine has ended. The batch makes one ConvertHelper per started job and
// calls ConvertStart on that job's thread; another thread (the user
// interface) may end the conversion with Stop at any time. One helper may
// also run several jobs one after another.
//
// Threads: ConvertStart runs on the job's thread and blocks it for the whole
// run; BeginRun and Stop run on any other thread. A stop request, once made, holds until
// the run it was made for has ended. Every field below `mutex_` is guarded
// by it: the worker writes `process_`, `running_` and `finished_`; Stop
// writes `stopRequested_`.

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/ChildProcess.h"
#include "platform/CopyDataProtocol.h"
#include "platform/FaultGuard.h"

namespace mivora {

class ConvertHelper {
 public:
  ConvertHelper();
  virtual ~ConvertHelper();
  ConvertHelper(const ConvertHelper&) = delete;
  ConvertHelper& operator=(const ConvertHelper&) = delete;

  // Starts the engine on one job and waits for its end. True when the engine
  // was started and has ended, whatever its exit code (a stopped run gives
  // exit code 0); false when it could not be started or the run failed with
  // an error or a machine fault. `window` names the endpoint that receives
  // the engine's console text.
  //
  // The run guards itself with the fault translator (this helper's sink) for
  // its own length; the calling thread has nothing to remove afterwards, and
  // a translator it had installed before gets its own sink back.
  bool ConvertStart(std::string sourcePath, std::string outputPath,
                    copydata::EndpointNumber window, std::string arguments, int* exitCode);

  // Marks a run as begun before the caller gets to ConvertStart: a Stop from
  // now on holds for that run (the engine is then not started, or ended as
  // soon as it is) and waits until the run has ended. Without it
  // ConvertStart begins the run itself.
  void BeginRun();

  // Ends the running engine and everything it started, and returns when the
  // run has ended. Returns at once when no run is going (nor begun).
  void Stop();
  // Whether the last run was ended by Stop (rather than ending by itself).
  bool LastRunStopped();

  // The progress window and its notice number; set by the batch worker
  // before each run (kept for the caller, not used by the run itself).
  void SetNotify(copydata::EndpointNumber window, uint32_t message) {
    notifyWindow_ = window;
    notifyMessage_ = message;
  }
  // Receives the crash report of a machine fault inside a run (on the
  // worker's thread). By default the report is logged.
  void SetFaultReportSink(FaultReportSink sink) { faultSink_ = std::move(sink); }

  // Test seam: called on the calling thread at the start of every
  // ConvertStart, before anything else. Tests widen the moment between a
  // batch choosing a job and the engine starting on it. Set it while no run
  // is going; an empty function removes it.
  static void SetRunStartHookForTests(std::function<void()> hook);

  // The engine command line as text (what the log shows), and the argument
  // vector it stands for. Paths go into the vector whole, never through the
  // splitting of the argument text, so no name can be taken for an option.
  static std::string BuildCommandLine(const std::string& sourcePath, const std::string& outputPath,
                                      copydata::EndpointNumber window,
                                      const std::string& arguments);
  static std::vector<std::string> BuildArgumentVector(const std::string& sourcePath,
                                                      const std::string& outputPath,
                                                      copydata::EndpointNumber window,
                                                      const std::string& arguments);

 private:
  bool Run(const std::string& sourcePath, const std::string& outputPath,
           copydata::EndpointNumber window, const std::string& arguments, int* exitCode);
  void EndRun();

  // Written by the batch worker only.
  copydata::EndpointNumber notifyWindow_ = 0;
  uint32_t notifyMessage_ = 0;
  FaultReportSink faultSink_;

  std::mutex mutex_;
  std::condition_variable ended_;
  std::unique_ptr<ChildProcess> process_;
  bool running_ = false;
  bool finished_ = false;
  bool stopRequested_ = false;
  bool lastRunStopped_ = false;
};

}  // namespace mivora
