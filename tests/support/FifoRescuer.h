#pragma once
// A helper for tests of code that must never wait on a pipe.

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

namespace mivora::test {

// Frees a thread stuck opening one of `fifos` for reading: from `after` on,
// it opens each for writing whenever a reader waits, and closes it at once
// (the reader then reads its end). Rescued() tells whether anyone was stuck.
class FifoRescuer {
 public:
  FifoRescuer(std::vector<std::string> fifos, std::chrono::milliseconds after)
      : fifos_(std::move(fifos)), thread_([this, after] { Run(after); }) {}
  ~FifoRescuer() {
    stop_ = true;
    thread_.join();
  }
  FifoRescuer(const FifoRescuer&) = delete;
  FifoRescuer& operator=(const FifoRescuer&) = delete;
  bool Rescued() const { return rescued_.load(); }

 private:
  void Run(std::chrono::milliseconds after) {
    const auto start = std::chrono::steady_clock::now();
    while (!stop_) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
      if (std::chrono::steady_clock::now() - start < after) continue;
      for (const std::string& fifo : fifos_) {
        int fd = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) continue;  // nobody reads it
        rescued_ = true;
        ::close(fd);
      }
    }
  }

  const std::vector<std::string> fifos_;
  std::atomic<bool> stop_{false};
  std::atomic<bool> rescued_{false};
  std::thread thread_;
};

}  // namespace mivora::test
