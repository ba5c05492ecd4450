#include "pipeline/ConvertHelper.h"

#include <exception>

#include "common/Log.h"
#include "pipeline/EnginePath.h"
#include "platform/WindowsCommandLine.h"

namespace mivora {
namespace {

std::function<void()>& RunStartHook() {
  static std::function<void()> hook;
  return hook;
}

}  // namespace

void ConvertHelper::SetRunStartHookForTests(std::function<void()> hook) {
  RunStartHook() = std::move(hook);
}

ConvertHelper::ConvertHelper() {
  faultSink_ = [](const std::string& report) { MLOG("%s", report.c_str()); };
}

ConvertHelper::~ConvertHelper() = default;

std::string ConvertHelper::BuildCommandLine(const std::string& sourcePath,
                                            const std::string& outputPath,
                                            copydata::EndpointNumber window,
                                            const std::string& arguments) {
  return QuoteWindowsArgument(EnginePath()) + " -i " + QuoteWindowsArgument(sourcePath) +
         " -dxva2 0 -hwnd " + std::to_string(window) + " " + arguments + " " +
         QuoteWindowsArgument(outputPath);
}

std::vector<std::string> ConvertHelper::BuildArgumentVector(const std::string& sourcePath,
                                                            const std::string& outputPath,
                                                            copydata::EndpointNumber window,
                                                            const std::string& arguments) {
  std::vector<std::string> argv = {EnginePath(), "-i",    sourcePath,
                                   "-dxva2",     "0",     "-hwnd",
                                   std::to_string(window)};
  for (std::string& arg : SplitWindowsArguments(arguments)) argv.push_back(std::move(arg));
  argv.push_back(outputPath);
  return argv;
}

bool ConvertHelper::ConvertStart(std::string sourcePath, std::string outputPath,
                                 copydata::EndpointNumber window, std::string arguments,
                                 int* exitCode) {
  if (RunStartHook()) RunStartHook()();
  {
    // A run begun by BeginRun keeps the stop request made since.
    std::lock_guard<std::mutex> lock(mutex_);
    if (!running_) {
      running_ = true;
      finished_ = false;
      stopRequested_ = false;
    }
    lastRunStopped_ = false;
  }
  ScopedFaultTranslator translator(faultSink_);
  bool result = false;
  try {
    RunGuarded([&] { result = Run(sourcePath, outputPath, window, arguments, exitCode); });
  } catch (const std::exception&) {
    result = false;
  } catch (...) {
    result = false;
  }
  EndRun();
  return result;
}

bool ConvertHelper::Run(const std::string& sourcePath, const std::string& outputPath,
                        copydata::EndpointNumber window, const std::string& arguments,
                        int* exitCode) {
  MLOG("Enter: ConvertHelper::ConvertStart");
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (stopRequested_) {  // stopped before it started: ends like a stopped run
      *exitCode = 0;
      lastRunStopped_ = true;
      MLOG("Leave: ConvertHelper::ConvertStart, stopped before the engine started");
      return true;
    }
  }
  std::string commandLine = BuildCommandLine(sourcePath, outputPath, window, arguments);
  MLOG("ConvertHelper::ConvertStart, CmdLine: %s", commandLine.c_str());

  // No standard handles: the engine reports through the endpoint only.
  std::unique_ptr<ChildProcess> child = ChildProcess::Start(
      BuildArgumentVector(sourcePath, outputPath, window, arguments), ChildOptions{});
  if (!child) {
    MLOG("Leave: ConvertHelper::ConvertStart, CreateProcess: FALSE");
    return false;
  }
  ChildProcess* running = child.get();
  {
    std::lock_guard<std::mutex> lock(mutex_);
    process_ = std::move(child);
    // A stop that came while the engine was being started ends it now.
    if (stopRequested_) process_->TerminateGroup();
  }
  int status = running->Wait();
  bool stopped;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopped = stopRequested_ && process_->WasTerminated();
    lastRunStopped_ = stopped;
  }
  // A stopped run ends like a normal one, with exit code 0.
  *exitCode = stopped ? 0 : status;
  MLOG("Leave: ConvertHelper::ConvertStart, Convert Finish, Result: %s", "TRUE");
  return true;
}

void ConvertHelper::EndRun() {
  std::unique_ptr<ChildProcess> left;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    left = std::move(process_);
  }
  // Ends and reaps whatever a failed run left (normally it is reaped already).
  left.reset();
  std::lock_guard<std::mutex> lock(mutex_);
  running_ = false;
  finished_ = true;
  ended_.notify_all();
}

void ConvertHelper::BeginRun() {
  std::lock_guard<std::mutex> lock(mutex_);
  running_ = true;
  finished_ = false;
  stopRequested_ = false;
}

bool ConvertHelper::LastRunStopped() {
  std::lock_guard<std::mutex> lock(mutex_);
  return lastRunStopped_;
}

void ConvertHelper::Stop() {
  std::unique_lock<std::mutex> lock(mutex_);
  if (!running_ || finished_) return;
  stopRequested_ = true;
  if (process_) process_->TerminateGroup();
  ended_.wait(lock, [this] { return !running_; });
}

}  // namespace mivora
