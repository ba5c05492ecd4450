#include "pipeline/BatchLoop.h"

#include <poll.h>

#include <chrono>

namespace mivora {

void RunBatchLoop(BatchRunner& runner, const BatchLoopHooks& hooks) {
  using Clock = std::chrono::steady_clock;
  constexpr auto kSecond = std::chrono::seconds(1);
  constexpr int kPollMs = 50;
  auto nextTick = Clock::now() + kSecond;
  while (runner.IsRunning()) {
    if (hooks.cancelRequested && hooks.cancelRequested()) {
      runner.Cancel(false);
      break;
    }
    pollfd fd{runner.EngineFd(), POLLIN, 0};
    if (poll(&fd, 1, kPollMs) > 0 && (fd.revents & POLLIN)) runner.OnEngineTextReady();
    if (Clock::now() >= nextTick) {
      nextTick += kSecond;
      runner.OnSecondTimer();
      if (hooks.everySecond) hooks.everySecond();
    }
  }
  runner.Join();
  runner.OnEngineTextReady();  // whatever the engines and the worker said last
}

}  // namespace mivora
