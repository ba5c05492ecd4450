#pragma once
// An event that stays signalled until it is reset: one thread signals, any
// number of threads wait for it (with or without a time limit).

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace mivora {

class ManualResetEvent {
 public:
  void Set() {
    std::lock_guard<std::mutex> lock(mutex_);
    signalled_ = true;
    changed_.notify_all();
  }
  void Reset() {
    std::lock_guard<std::mutex> lock(mutex_);
    signalled_ = false;
  }
  void Wait() {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return signalled_; });
  }
  // True when the event was signalled within `timeout`.
  bool WaitFor(std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, timeout, [this] { return signalled_; });
  }
  bool IsSet() {
    std::lock_guard<std::mutex> lock(mutex_);
    return signalled_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  bool signalled_ = false;
};

}  // namespace mivora
