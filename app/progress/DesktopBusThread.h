#pragma once
// The one thread that talks to the desktop's buses. Opening a connection and
// calling a service take as long as the bus likes, so neither the window's
// thread nor the batch worker does it: they post the work here and go on.
// Work runs one piece at a time, in the order posted; every piece has a time
// limit of its own (DesktopBus, the calls' limits). When the application
// object ends, the rest is dropped and the piece in progress is given a
// second to finish; the program then ends without it.

#include <functional>

namespace mivora {

// Runs `work` on the bus thread; never waits. Dropped once the application
// object has ended.
void PostBusWork(std::function<void()> work);

}  // namespace mivora
