#include "pipeline/ProbePool.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <list>
#include <mutex>
#include <system_error>

#include "common/Log.h"

namespace mivora {

// What the pool and its workers share; lives as long as any of them.
struct ProbePool::Shared {
  std::function<void()> answersWaiting;
  ProbeFunction probe;
  ProbeLimits limits;  // its cancel flag is `stopping`
  std::atomic<bool> stopping{false};

  // One probe under way.
  struct Running {
    std::string path;
    std::chrono::steady_clock::time_point started;
    bool givenUp = false;
  };

  std::mutex mutex;
  std::condition_variable wake;        // files queued, or stopping
  std::condition_variable workerEnded;
  std::deque<std::string> queued;      // guarded by mutex
  std::vector<Answer> answers;         // guarded by mutex
  std::list<Running> running;          // guarded by mutex: probes under way, given up or not
  size_t idle = 0;                     // guarded by mutex: workers waiting for files
  size_t working = 0;                  // guarded by mutex: workers not given up
  size_t alive = 0;                    // guarded by mutex: worker threads not yet ended

  // Under the lock: puts an answer in the box and tells the owner when the
  // box was empty.
  void Deliver(Answer answer) {
    const bool first = answers.empty();
    answers.push_back(std::move(answer));
    if (first && answersWaiting) answersWaiting();
  }
};

namespace {

constexpr std::chrono::milliseconds kEndWait{2000};

size_t WorkersFor(size_t asked) {
  if (asked > 0) return asked;
  return std::max<size_t>(1, std::thread::hardware_concurrency());
}

}  // namespace

ProbePool::ProbePool(std::function<void()> answersWaiting, size_t workers, ProbeLimits limits,
                     ProbeFunction probe)
    : workerLimit_(WorkersFor(workers)), shared_(std::make_shared<Shared>()) {
  shared_->answersWaiting = std::move(answersWaiting);
  shared_->probe = probe ? std::move(probe) : ProbeFunction(&ProbeMedia);
  shared_->limits = limits;
  shared_->limits.cancel = &shared_->stopping;
}

ProbePool::~ProbePool() {
  Shared& shared = *shared_;
  std::unique_lock<std::mutex> lock(shared.mutex);
  shared.stopping = true;
  shared.queued.clear();
  shared.wake.notify_all();
  // Cancelled probes end at their next read; one stuck where no cancel
  // reaches is not waited for: a stop or the program's end goes on.
  const bool ended = shared.workerEnded.wait_for(lock, kEndWait, [&] { return shared.alive == 0; });
  if (!ended) MLOG("ProbePool, %zu probes did not end; not waiting for them", shared.running.size());
  lock.unlock();
  for (std::thread& worker : workers_) ended ? worker.join() : worker.detach();
}

void ProbePool::StartWorkers(Shared& shared) {
  // Workers are started as the files need them and then stay for later adds.
  while (shared.idle < shared.queued.size() && shared.working < workerLimit_) {
    try {
      workers_.emplace_back(&ProbePool::Work, shared_);
      ++shared.idle;  // counted as idle until it takes a file
      ++shared.working;
      ++shared.alive;
    } catch (const std::system_error& error) {
      MLOG("ProbePool::Add, cannot start a worker: %s", error.what());
      break;
    }
  }
}

void ProbePool::Add(const std::vector<std::string>& paths) {
  if (paths.empty()) return;
  {
    std::lock_guard<std::mutex> lock(shared_->mutex);
    shared_->queued.insert(shared_->queued.end(), paths.begin(), paths.end());
    StartWorkers(*shared_);
  }
  shared_->wake.notify_all();
}

void ProbePool::Work(std::shared_ptr<Shared> shared) {
  Shared& s = *shared;
  std::unique_lock<std::mutex> lock(s.mutex);
  while (true) {
    s.wake.wait(lock, [&] { return s.stopping || !s.queued.empty(); });
    if (s.stopping) break;
    Answer answer;
    answer.path = std::move(s.queued.front());
    s.queued.pop_front();
    --s.idle;
    const auto now = std::chrono::steady_clock::now();
    auto probe = s.running.insert(s.running.end(), Shared::Running{answer.path, now, false});
    lock.unlock();
    answer.outcome = s.probe(answer.path, &answer.facts, s.limits);
    lock.lock();
    const bool givenUp = probe->givenUp;
    s.running.erase(probe);
    if (givenUp) break;  // answered already; another worker took this one's place
    ++s.idle;
    if (s.stopping) break;
    s.Deliver(std::move(answer));
  }
  if (--s.alive == 0) s.workerEnded.notify_all();
}

size_t ProbePool::GiveUpOverdueProbes() {
  Shared& shared = *shared_;
  std::lock_guard<std::mutex> lock(shared.mutex);
  const auto overdue = std::chrono::steady_clock::now() - shared.limits.time - kOverdueAfterLimit;
  size_t givenUp = 0;
  for (Shared::Running& probe : shared.running) {
    if (probe.givenUp || probe.started > overdue) continue;
    probe.givenUp = true;
    --shared.working;
    ++givenUp;
    MLOG("ProbePool, gave up probing %s: no answer long past its time limit", probe.path.c_str());
    Answer answer;
    answer.path = probe.path;
    answer.outcome.stopped = true;
    shared.Deliver(std::move(answer));
  }
  if (givenUp > 0) {
    StartWorkers(shared);
    shared.wake.notify_all();
  }
  return givenUp;
}

std::vector<ProbePool::Answer> ProbePool::TakeAnswers() {
  std::lock_guard<std::mutex> lock(shared_->mutex);
  std::vector<Answer> taken;
  taken.swap(shared_->answers);
  return taken;
}

void ProbePool::DropQueued() {
  std::lock_guard<std::mutex> lock(shared_->mutex);
  shared_->queued.clear();
}

size_t ProbePool::Outstanding() const {
  std::lock_guard<std::mutex> lock(shared_->mutex);
  size_t running = 0;
  for (const Shared::Running& probe : shared_->running) running += probe.givenUp ? 0 : 1;
  return shared_->queued.size() + running + shared_->answers.size();
}

}  // namespace mivora
