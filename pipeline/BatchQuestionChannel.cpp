#include "pipeline/BatchQuestionChannel.h"

namespace mivora {

bool BatchQuestionChannel::Ask(const std::string& question, const std::function<void()>& wake) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (cancelled_) return false;
    question_ = question;
    state_ = State::kPosted;
  }
  if (wake) wake();
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [this] { return cancelled_ || state_ == State::kAnswered; });
  bool yes = !cancelled_ && yes_;
  state_ = State::kIdle;
  return yes;
}

std::optional<std::string> BatchQuestionChannel::Take() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (cancelled_ || state_ != State::kPosted) return std::nullopt;
  state_ = State::kShown;
  return question_;
}

void BatchQuestionChannel::Answer(bool yes) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (cancelled_ || state_ != State::kShown) return;
  yes_ = yes;
  state_ = State::kAnswered;
  changed_.notify_all();
}

void BatchQuestionChannel::Cancel() {
  std::lock_guard<std::mutex> lock(mutex_);
  cancelled_ = true;
  changed_.notify_all();
}

bool BatchQuestionChannel::Cancelled() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return cancelled_;
}

}  // namespace mivora
