#pragma once
// The player's status text in the shared block, for example
//   "0:00:05/0:00:10 (5000) [10000] <320x240>"
// elapsed time / duration as display text, then position and duration in
// milliseconds, then the video's frame size.

#include <cstdint>
#include <string>

namespace mivora::playrun {

// "H:MM:SS" of whole seconds; negative times show as 0:00:00.
std::string ClockText(int64_t milliseconds);

std::string StatusText(int64_t positionMs, int64_t durationMs, int videoWidth, int videoHeight);

}  // namespace mivora::playrun
