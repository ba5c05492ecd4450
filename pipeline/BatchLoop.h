#pragma once
// The event loop of a batch run without a window: waits for engine text and
// ticks the one-second clock until the worker has ended. The command line
// runs a batch with it; the desktop program uses its own event loop instead
// (a socket notifier on EngineFd and a timer).

#include <functional>

#include "pipeline/BatchRunner.h"

namespace mivora {

struct BatchLoopHooks {
  // Polled often; when it returns true the batch is cancelled (without a
  // question) and the loop ends once the worker has.
  std::function<bool()> cancelRequested;
  // Called after every tick of the one-second clock.
  std::function<void()> everySecond;
};

// Runs until the batch has ended, then joins the worker.
void RunBatchLoop(BatchRunner& runner, const BatchLoopHooks& hooks = {});

}  // namespace mivora
