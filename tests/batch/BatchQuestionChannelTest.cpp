#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>

#include "pipeline/BatchQuestionChannel.h"

namespace mivora {
namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kPrompt = std::chrono::milliseconds(200);

// What the asking thread got, and how long it waited after the answerer acted.
struct Asked {
  bool yes = true;
  Clock::duration waitedAfter{};
};

// Asks on a thread of its own; `answer` runs on this thread once the question
// is posted (the wake). The asker's wait is timed from the moment `answer` began.
template <typename Answer>
Asked AskWhile(BatchQuestionChannel& channel, Answer answer) {
  std::promise<void> posted;
  std::atomic<Clock::rep> actedAt{0};
  Asked asked;
  std::thread asker([&] {
    asked.yes = channel.Ask("Overwrite?", [&] { posted.set_value(); });
    asked.waitedAfter = Clock::now() - Clock::time_point(Clock::duration(actedAt.load()));
  });
  posted.get_future().wait();
  actedAt = Clock::now().time_since_epoch().count();
  answer();
  asker.join();
  return asked;
}

TEST(BatchQuestionChannel, TheShownQuestionGetsItsAnswerOrIsWithdrawnFromEitherSide) {
  struct Case {
    const char* name;
    bool answer;
    bool cancelBeforeTake, cancelWhileShown;
    bool expectYes;
  };
  const Case cases[] = {
      {"answered yes", true, false, false, true},
      {"answered no", false, false, false, false},
      {"withdrawn before it was shown", true, true, false, false},
      {"withdrawn while shown: the late yes is ignored", true, false, true, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    BatchQuestionChannel channel;
    Asked asked = AskWhile(channel, [&] {
      if (c.cancelBeforeTake) channel.Cancel();
      std::optional<std::string> question = channel.Take();
      EXPECT_EQ(question.has_value(), !c.cancelBeforeTake);
      if (!question) return;
      EXPECT_EQ(*question, "Overwrite?");
      EXPECT_FALSE(channel.Take()) << "a nested look took the shown question again";
      if (c.cancelWhileShown) channel.Cancel();
      channel.Answer(c.answer);
    });
    EXPECT_EQ(asked.yes, c.expectYes);
    EXPECT_LT(asked.waitedAfter, kPrompt);
  }
}

// A cancel from another thread (the batch being cancelled) frees a waiting
// asker at once, and the closed channel answers later questions No without
// waking anybody.
TEST(BatchQuestionChannel, ACancelFreesTheWaitingAskerAndKeepsTheChannelClosed) {
  BatchQuestionChannel channel;
  std::promise<void> posted;
  std::future<bool> answer = std::async(std::launch::async, [&] {
    return channel.Ask("Not enough space?", [&] { posted.set_value(); });
  });
  posted.get_future().wait();
  EXPECT_EQ(answer.wait_for(std::chrono::milliseconds(50)), std::future_status::timeout);
  std::thread canceller([&] { channel.Cancel(); });
  canceller.join();
  ASSERT_EQ(answer.wait_for(kPrompt), std::future_status::ready);
  EXPECT_FALSE(answer.get());
  EXPECT_TRUE(channel.Cancelled());
  bool woken = false;
  EXPECT_FALSE(channel.Ask("Again?", [&] { woken = true; }));
  EXPECT_FALSE(woken);
  EXPECT_FALSE(channel.Take());
}

}  // namespace
}  // namespace mivora
