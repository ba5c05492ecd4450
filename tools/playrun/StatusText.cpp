#include "tools/playrun/StatusText.h"

#include <algorithm>
#include <cstdio>

namespace mivora::playrun {

std::string ClockText(int64_t milliseconds) {
  int64_t seconds = std::max<int64_t>(0, milliseconds) / 1000;
  char text[32];
  std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", static_cast<long long>(seconds / 3600),
                static_cast<long long>(seconds / 60 % 60), static_cast<long long>(seconds % 60));
  return text;
}

std::string StatusText(int64_t positionMs, int64_t durationMs, int videoWidth, int videoHeight) {
  positionMs = std::max<int64_t>(0, positionMs);
  durationMs = std::max<int64_t>(0, durationMs);
  return ClockText(positionMs) + "/" + ClockText(durationMs) + " (" + std::to_string(positionMs) +
         ") [" + std::to_string(durationMs) + "] <" + std::to_string(videoWidth) + "x" +
         std::to_string(videoHeight) + ">";
}

}  // namespace mivora::playrun
