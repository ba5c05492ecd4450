#include "app/progress/DesktopBusThread.h"

#include <QCoreApplication>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

#include "common/Log.h"

namespace mivora {
namespace {

class BusThread {
 public:
  void Post(std::function<void()> work) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (ended_) return;
    if (!thread_.joinable()) {
      thread_ = std::thread([this] { Run(); });
      // Before the D-Bus library's own end, which would wait for ever on a
      // call still running here.
      qAddPostRoutine([] { Instance().End(); });
    }
    queue_.push_back(std::move(work));
    wake_.notify_one();
  }

  static BusThread& Instance() {
    static BusThread* thread = new BusThread;  // lives as long as the process
    return *thread;
  }

 private:
  void Run() {
    std::unique_lock<std::mutex> lock(mutex_);
    while (true) {
      wake_.wait(lock, [this] { return ended_ || !queue_.empty(); });
      if (ended_) break;
      std::function<void()> work = std::move(queue_.front());
      queue_.pop_front();
      lock.unlock();
      work();
      work = nullptr;  // what it holds ends here, on this thread
      lock.lock();
    }
    stopped_ = true;
    idle_.notify_all();
  }

  // The piece in progress ends within its own limits, which add up to
  // seconds; the program's end waits a moment for it and then goes on
  // without it.
  void End() {
    std::deque<std::function<void()>> dropped;
    bool stopped = true;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      ended_ = true;
      dropped.swap(queue_);
      wake_.notify_one();
      if (thread_.joinable()) stopped = idle_.wait_for(lock, kEndWait, [this] { return stopped_; });
    }
    if (!stopped) {
      MLOG("DesktopBusThread, a bus is still being talked to; the program ends without waiting for it");
      return;  // the thread is left to the process's end (this object is never destroyed)
    }
    if (thread_.joinable()) thread_.join();
  }

  static constexpr std::chrono::milliseconds kEndWait{1000};

  std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable idle_;             // the thread has stopped
  std::deque<std::function<void()>> queue_;  // guarded by mutex_
  bool ended_ = false;                       // guarded by mutex_
  bool stopped_ = false;                     // guarded by mutex_
  std::thread thread_;                       // started under mutex_, joined by End
};

}  // namespace

void PostBusWork(std::function<void()> work) { BusThread::Instance().Post(std::move(work)); }

}  // namespace mivora
