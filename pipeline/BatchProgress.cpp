#include "pipeline/BatchProgress.h"

#include <algorithm>
#include <cstdio>

#include "common/Format.h"

namespace mivora {

std::optional<int> MediaTimeOfReport(std::string_view text) {
  size_t at = text.find("time=");
  if (at == std::string_view::npos) return std::nullopt;
  return ParseClock(text.substr(at + 5, 8));
}

int ProgressPercent(int mediaSeconds, int totalSeconds, float* exact) {
  float value = totalSeconds == 0
                    ? 0.0f
                    : (static_cast<float>(mediaSeconds) + 1.0f) / static_cast<float>(totalSeconds) * 100.0f;
  if (exact) *exact = value;
  return std::clamp(static_cast<int>(std::clamp(value, -1.0f, 1000.0f)), 0, 100);
}

std::string RemainingTimeText(int elapsedSeconds, int mediaSeconds, int totalSeconds) {
  if (mediaSeconds == 0 || elapsedSeconds <= 0) return {};
  float rate = static_cast<float>(mediaSeconds) / static_cast<float>(elapsedSeconds);
  float seconds = static_cast<float>(totalSeconds - mediaSeconds) / rate;
  int remaining = static_cast<int>(std::clamp(seconds, -1e9f, 1e9f));
  char text[48];
  std::snprintf(text, sizeof text, "%02d:%02d:%02d", remaining / 3600, (remaining % 3600) / 60,
                remaining % 60);
  return text;
}

}  // namespace mivora
