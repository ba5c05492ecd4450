#pragma once
// One Yes/No question at a time from the batch worker to the thread that
// shows it. The worker posts the question and waits; the driving thread,
// woken, takes it, shows it and answers. Either side can withdraw: Cancel
// wakes a waiting asker at once with No, and a question withdrawn while it
// is shown takes no answer. A cancelled channel stays closed: later
// questions are answered No without being shown.
//
// Threads: Ask on the asker's thread; Take and Answer on the answering
// thread; Cancel on any. The channel's mutex is a leaf: nothing else is
// locked while it is held, and `wake` runs without it.

#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <string>

namespace mivora {

class BatchQuestionChannel {
 public:
  // Posts `question`, calls `wake` so the answering thread looks, and waits
  // for the answer. No when the channel is or gets cancelled.
  bool Ask(const std::string& question, const std::function<void()>& wake);
  // The question waiting to be shown; taking it marks it shown, so a
  // second Take (from a nested event loop) gets nothing.
  std::optional<std::string> Take();
  // The answer to the question taken; ignored when it was withdrawn.
  void Answer(bool yes);
  void Cancel();
  bool Cancelled() const;

 private:
  enum class State { kIdle, kPosted, kShown, kAnswered };
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  State state_ = State::kIdle;  // guarded by mutex_, like the fields below
  std::string question_;
  bool yes_ = false;
  bool cancelled_ = false;
};

}  // namespace mivora
