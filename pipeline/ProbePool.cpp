#include "pipeline/ProbePool.h"

#include <algorithm>
#include <system_error>

#include "common/Log.h"

namespace mivora {
namespace {

size_t WorkersFor(size_t asked) {
  if (asked > 0) return asked;
  return std::max<size_t>(1, std::thread::hardware_concurrency());
}

ProbeLimits WithCancel(ProbeLimits limits, const std::atomic<bool>* cancel) {
  limits.cancel = cancel;
  return limits;
}

}  // namespace

ProbePool::ProbePool(std::function<void()> answersWaiting, size_t workers, ProbeLimits limits)
    : answersWaiting_(std::move(answersWaiting)),
      workerLimit_(WorkersFor(workers)),
      limits_(WithCancel(limits, &stopping_)) {}

ProbePool::~ProbePool() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
    queued_.clear();
  }
  wake_.notify_all();
  for (std::thread& worker : workers_) worker.join();
}

void ProbePool::Add(const std::vector<std::string>& paths) {
  if (paths.empty()) return;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    queued_.insert(queued_.end(), paths.begin(), paths.end());
    // Workers are started as the files need them and then stay for later adds.
    size_t waiting = queued_.size();
    while (idle_ < waiting && workers_.size() < workerLimit_) {
      try {
        workers_.emplace_back(&ProbePool::Work, this);
        ++idle_;  // counted as idle until it takes a file
      } catch (const std::system_error& error) {
        MLOG("ProbePool::Add, cannot start a worker: %s", error.what());
        break;
      }
    }
  }
  wake_.notify_all();
}

void ProbePool::Work() {
  std::unique_lock<std::mutex> lock(mutex_);
  while (true) {
    wake_.wait(lock, [this] { return stopping_ || !queued_.empty(); });
    if (stopping_) return;
    Answer answer;
    answer.path = std::move(queued_.front());
    queued_.pop_front();
    --idle_;
    ++running_;
    lock.unlock();
    answer.outcome = ProbeMedia(answer.path, &answer.facts, limits_);
    lock.lock();
    --running_;
    ++idle_;
    if (stopping_) return;
    const bool first = answers_.empty();
    answers_.push_back(std::move(answer));
    if (first && answersWaiting_) {
      lock.unlock();
      answersWaiting_();
      lock.lock();
    }
  }
}

std::vector<ProbePool::Answer> ProbePool::TakeAnswers() {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<Answer> taken;
  taken.swap(answers_);
  return taken;
}

void ProbePool::DropQueued() {
  std::lock_guard<std::mutex> lock(mutex_);
  queued_.clear();
}

size_t ProbePool::Outstanding() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return queued_.size() + running_ + answers_.size();
}

}  // namespace mivora
