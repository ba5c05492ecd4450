#include "pipeline/OutputLength.h"

#include <algorithm>
#include <cmath>

namespace mivora {
namespace {

// "2.5 s", with a point whatever the locale.
std::string SecondsText(double seconds) {
  const long long tenths = std::llround(std::max(seconds, 0.0) * 10);
  return std::to_string(tenths / 10) + "." + std::to_string(tenths % 10) + " s";
}

}  // namespace

std::string ShortOutputReason(int32_t expectedSeconds, double outputSeconds) {
  if (expectedSeconds <= 0 || outputSeconds < 0) return "";
  if (outputSeconds >= kShortestOutputShare * expectedSeconds) return "";
  return "The converted file holds only " + SecondsText(outputSeconds) + " of the " +
         SecondsText(expectedSeconds) +
         " expected, so it was not kept. The source may be damaged or cut short, or hold less than it "
         "says: play it to check, and to convert what it holds, trim it to that length in the editor.";
}

}  // namespace mivora
