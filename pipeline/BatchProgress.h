#pragma once
// The arithmetic of a running job's progress: the engine's "time=" reports,
// the percent shown in the row and the remaining time.

#include <optional>
#include <string>
#include <string_view>

namespace mivora {

// The media time of a report: ParseClock of the 8 characters after "time=";
// nothing when the text has no "time=".
std::optional<int> MediaTimeOfReport(std::string_view text);

// (media + 1) / total * 100 in single precision; `exact` receives the value
// before truncation. Clamped to 0..100 for the row.
int ProgressPercent(int mediaSeconds, int totalSeconds, float* exact = nullptr);

// The remaining time after `elapsedSeconds` of work that produced
// `mediaSeconds` of `totalSeconds`: (total - media) / (media / elapsed),
// truncated, as "%02d:%02d:%02d" in signed arithmetic. Empty when no media
// time is known yet.
std::string RemainingTimeText(int elapsedSeconds, int mediaSeconds, int totalSeconds);

}  // namespace mivora
