#include "common/Format.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace mivora {
namespace {

// The value of the leading decimal digits of `text` (0 when there are none),
// saturating instead of overflowing.
uint64_t LeadingNumber(std::string_view text) {
  uint64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') break;
    unsigned digit = static_cast<unsigned>(c - '0');
    if (value > (UINT64_MAX - digit) / 10) return UINT64_MAX;
    value = value * 10 + digit;
  }
  return value;
}

}  // namespace

std::string FormatByteSize(uint64_t bytes) {
  char text[64];
  if (bytes < 1024) {
    std::snprintf(text, sizeof text, "%d Bytes", static_cast<int>(bytes));
    return text;
  }
  static const char* const kUnits[] = {"KB", "MB", "GB", "TB", "PB", "EB"};
  int index = 0;
  while (index < 5 && bytes >= (uint64_t{1} << (10 * (index + 2)))) ++index;
  uint64_t unit = uint64_t{1} << (10 * (index + 1));
  uint64_t whole = bytes / unit;
  uint64_t rest = bytes - whole * unit;
  // The two decimals are truncated, never rounded; integer arithmetic keeps
  // them exact even where a double could not hold the rest.
  using Wide = unsigned __int128;
  int first = static_cast<int>(Wide{rest} * 10 / unit % 10);
  int second = static_cast<int>(Wide{rest} * 100 / unit % 10);
  std::snprintf(text, sizeof text, "%llu.%d%d %s", static_cast<unsigned long long>(whole), first,
                second, kUnits[index]);
  return text;
}

std::string FormatClock(uint32_t seconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%02u:%02u:%02u", seconds / 3600, (seconds % 3600) / 60,
                seconds % 60);
  return text;
}

int32_t ParseClock(std::string_view text) {
  // At most two ':' are consumed: hours, then minutes; what follows the last
  // consumed one is seconds.
  static const int64_t kScale[] = {3600, 60};
  int64_t total = 0;
  std::string_view rest = text;
  for (int field = 0; field < 2; ++field) {
    size_t colon = rest.find(':');
    if (colon == std::string_view::npos) break;
    total += static_cast<int64_t>(std::min<uint64_t>(LeadingNumber(rest.substr(0, colon)), INT32_MAX)) *
             kScale[field];
    rest.remove_prefix(colon + 1);
  }
  total += static_cast<int64_t>(std::min<uint64_t>(LeadingNumber(rest), INT32_MAX));
  return static_cast<int32_t>(std::min<int64_t>(total, INT32_MAX));
}

int64_t ParseByteSize(std::string_view text) {
  uint64_t number = std::min<uint64_t>(LeadingNumber(text), INT64_MAX);
  int shift = 0;
  if (text.size() >= 2) {
    std::string_view unit = text.substr(text.size() - 2);
    if (unit == "KB") shift = 10;
    else if (unit == "MB") shift = 20;
    else if (unit == "GB") shift = 30;
    else if (unit == "TB") shift = 40;
    else if (unit == "PB") shift = 50;
  }
  if (shift != 0 && number > (static_cast<uint64_t>(INT64_MAX) >> shift)) return INT64_MAX;
  return static_cast<int64_t>(number << shift);
}

uint64_t BitrateToBytes(uint32_t bitsPerSecond, uint32_t seconds) {
  return static_cast<uint64_t>(bitsPerSecond >> 3) * seconds;
}

bool ParseWholeNumber(const std::string& text, long long minimum, long long maximum, long long* value) {
  if (text.empty()) return false;
  errno = 0;
  char* end = nullptr;
  const long long parsed = std::strtoll(text.c_str(), &end, 10);
  if (errno != 0 || end == text.c_str() || *end != '\0' || parsed < minimum || parsed > maximum) return false;
  *value = parsed;
  return true;
}

int64_t RoundHalfAway(double value) { return static_cast<int64_t>(std::round(value)); }

}  // namespace mivora
