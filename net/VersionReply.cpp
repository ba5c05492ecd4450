#include "net/VersionReply.h"

#include <cstdio>

namespace mivora {
namespace {

// Text between the first `open` and the first `close` after it; false when
// either tag is missing.
bool TaggedText(std::string_view reply, std::string_view open, std::string_view close, std::string* out) {
  size_t start = reply.find(open);
  if (start == std::string_view::npos) return false;
  start += open.size();
  size_t end = reply.find(close, start);
  if (end == std::string_view::npos) return false;
  *out = std::string(reply.substr(start, end - start));
  return true;
}

// The decimal digits at the start of the text (an optional sign allowed), as
// a number; 0 when there are none. Saturates instead of overflowing.
int LeadingDigits(const std::string& text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  long long value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = value * 10 + (text[i] - '0');
    if (value > 0x7fffffff) value = 0x7fffffff;
  }
  return static_cast<int>(negative ? -value : value);
}

}  // namespace

VersionInfo ParseVersionReply(std::string_view reply) {
  reply = reply.substr(0, kVersionReplyBytes);
  if (size_t zero = reply.find('\0'); zero != std::string_view::npos) reply = reply.substr(0, zero);
  VersionInfo info;
  info.text = std::to_string(kOwnVersionNumber);
  std::string text;
  if (TaggedText(reply, "<v>", "</v>", &text)) info.text = text;
  if (TaggedText(reply, "<i>", "</i>", &text)) info.number = LeadingDigits(text);
  if (TaggedText(reply, "<b>", "</b>", &text)) info.build = LeadingDigits(text);
  return info;
}

bool IsNewerThanOwn(const VersionInfo& version) {
  return version.number > kOwnVersionNumber || version.build > kOwnBuildNumber;
}

std::string NewVersionQuestion(const VersionInfo& version) {
  char buffer[512];
  std::snprintf(buffer, sizeof buffer, "Found new version: %s build %d,do you want download now?",
                version.text.c_str(), version.build);
  return buffer;
}

}  // namespace mivora
