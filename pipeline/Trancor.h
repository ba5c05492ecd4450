#pragma once
// The media probe: runs the engine with only an input, collects everything
// it prints and picks the MediaInfo facts out of it (ProbeParser.h).
//
// One object serves one probe: create it, call Probe once, delete it.
//
// Threads: Probe runs on the caller's thread; a reader thread started by
// StartReader reads the engine's output. The collected output and
// `finished_` are written only by the reader thread (and by OnAbort, which
// it calls) and read by the caller only after the done event; the event is
// the only hand-over.

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "pipeline/MediaInfo.h"
#include "platform/ChildProcess.h"
#include "platform/ManualResetEvent.h"

namespace mivora {

class Trancor {
 public:
  // How long a probe may run before it is stopped and counts as failed.
  static constexpr std::chrono::milliseconds kDefaultProbeTimeout{30000};

  Trancor();
  virtual ~Trancor();
  Trancor(const Trancor&) = delete;
  Trancor& operator=(const Trancor&) = delete;

  // Probes `sourcePath` into the two groups (both cleared first). True when
  // the engine ran to its end within the time limit and reported the
  // source's duration line.
  bool Probe(const std::string& sourcePath, MediaVideoFacts* video, MediaAudioFacts* audio);

  void SetProbeTimeout(std::chrono::milliseconds timeout) { timeout_ = timeout; }
  // Optional: once set (by any thread), a running probe ends the engine and
  // fails within a tenth of a second.
  void SetCancelFlag(const std::atomic<bool>* cancel) { cancel_ = cancel; }
  // Why the last probe could not run the engine at all ("" when it ran): the
  // engine is missing or not executable, or it found no ffmpeg to start.
  const std::string& EngineError() const { return engineError_; }
  // Everything the engine printed during the last probe (valid UTF-8).
  const std::string& CollectedOutput() const { return output_; }

  // The engine-process part, each false on failure.
  bool OpenPipe();
  // Starts the engine with `arguments` (after the program name); its
  // standard output and error go to the pipe, its input is empty.
  bool Start(const std::vector<std::string>& arguments);
  bool StartReader();

 protected:
  // Called on the reader thread.
  virtual void OnOutput(const char* bytes, size_t count);
  virtual void OnAbort();
  virtual void OnFinish();

 private:
  void ReaderThread();
  void CloseFd(int* fd);
  // Ends the engine if it still runs and waits for the reader thread.
  void EndRun();

  // Waits for the reader thread within the time limit; false when the limit
  // or a cancel came first.
  bool WaitForEngine();

  std::chrono::milliseconds timeout_ = kDefaultProbeTimeout;  // caller's thread
  const std::atomic<bool>* cancel_ = nullptr;                 // set by another thread
  int readFd_ = -1;   // read by the reader thread; closed by it
  int writeFd_ = -1;  // the engine's copy; closed by the reader thread
  std::unique_ptr<ChildProcess> process_;  // started by the caller, reaped by the reader
  std::thread reader_;
  std::string output_;     // written by the reader thread
  bool finished_ = false;  // written by the reader thread
  int exitStatus_ = -1;    // written by the reader thread
  std::string engineError_;  // caller's thread
  ManualResetEvent done_;  // signalled by the reader thread
};

}  // namespace mivora
