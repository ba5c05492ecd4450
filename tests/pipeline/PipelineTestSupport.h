#pragma once
// Helpers shared by the engine tests of the pipeline.

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "common/Log.h"
#include "tests/platform/ProcessTable.h"
#include "tests/support/FifoRescuer.h"
#include "tests/support/TestEnvironment.h"

namespace mivora::test {

// The lines of the log that contain `part`, in order.
inline std::vector<std::string> LogLinesWith(const std::string& part) {
  std::vector<std::string> lines;
  std::string log = ReadFile(LogFilePath());
  size_t start = 0;
  while (start < log.size()) {
    size_t end = log.find('\n', start);
    if (end == std::string::npos) end = log.size();
    std::string line = log.substr(start, end - start);
    if (line.find(part) != std::string::npos) lines.push_back(line);
    start = end + 1;
  }
  return lines;
}

// Children of this test process that are still there, zombies included.
inline std::vector<ProcessEntry> LeftoverProcesses() { return ChildrenOf(::getpid()); }

// Watches, from a thread of its own, for the engine this process starts and
// notes its process group and whether ffmpeg runs in it.
class EngineWatcher {
 public:
  EngineWatcher()
      : thread_([this] {
          while (!stop_.load()) {
            for (const ProcessEntry& p : ChildrenOf(::getpid()))
              if (p.name == "trancor") group_.store(p.pid);
            pid_t group = group_.load();
            if (group != 0)
              for (const ProcessEntry& p : ProcessesInGroup(group))
                if (p.name == "ffmpeg") ffmpegSeen_.store(true);
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
          }
        }) {}
  ~EngineWatcher() { Stop(); }
  void Stop() {
    stop_.store(true);
    if (thread_.joinable()) thread_.join();
  }
  // Waits (at most ~5 s) until ffmpeg runs in the engine's group.
  bool WaitForFfmpeg() {
    for (int i = 0; i < 250 && !ffmpegSeen_.load(); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    return ffmpegSeen_.load();
  }
  pid_t Group() const { return group_.load(); }

 private:
  std::atomic<bool> stop_{false};
  std::atomic<pid_t> group_{0};
  std::atomic<bool> ffmpegSeen_{false};
  std::thread thread_;
};

inline std::string Describe(const std::vector<ProcessEntry>& processes) {
  std::string text;
  for (const auto& p : processes)
    text += std::to_string(p.pid) + " " + p.name + " state " + p.state + "\n";
  return text;
}

inline std::string MakeFifo(const std::string& name) {
  std::string path = MakeTempDir("fifo") + "/" + name;
  ::mkfifo(path.c_str(), 0600);
  return path;
}

}  // namespace mivora::test
