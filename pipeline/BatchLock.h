#pragma once
// The batch runner's job lock: a mutex that knows which thread holds it, so
// that code which must never run under it (every call into the view) can
// check, and a test can prove it.

#include <atomic>
#include <mutex>
#include <thread>

namespace mivora {

class BatchLock {
 public:
  void lock() {
    mutex_.lock();
    owner_.store(std::this_thread::get_id(), std::memory_order_relaxed);
  }
  void unlock() {
    owner_.store(std::thread::id(), std::memory_order_relaxed);
    mutex_.unlock();
  }
  // Only the holder can see its own id here, so the answer is exact for the
  // calling thread.
  bool HeldByCallingThread() const {
    return owner_.load(std::memory_order_relaxed) == std::this_thread::get_id();
  }

 private:
  std::mutex mutex_;
  std::atomic<std::thread::id> owner_{};
};

}  // namespace mivora
