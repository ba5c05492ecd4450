#include "profiles/Profile.h"

#include <algorithm>
#include <cstdio>
#include <limits>
#include <memory>

#include "common/Log.h"

namespace mivora {
namespace {

struct ScalarKey {
  std::string_view key;
  std::string Profile::*field;
};
struct ListKey {
  std::string_view key;
  ParameterList Profile::*field;
};

// Tested in this order; the first key found in a line wins.
constexpr ScalarKey kScalarKeys[] = {
    {"GroupID ", &Profile::groupId},
    {"GroupName ", &Profile::groupName},
    {"ProfileID ", &Profile::profileId},
    {"ProfileName ", &Profile::profileName},
    {"ProfileComment ", &Profile::profileComment},
    {"FormatExt ", &Profile::formatExt},
    {"VideoDisable ", &Profile::videoDisable},
    {"VideoCodec ", &Profile::videoCodec},
    {"VideoBitrate ", &Profile::videoBitrate},
    {"VideoSize ", &Profile::videoSize},
    {"VideoFrameRate ", &Profile::videoFrameRate},
    {"VideoAspectRatio ", &Profile::videoAspectRatio},
    {"VideoZoom ", &Profile::videoZoom},
    {"AudioDisable ", &Profile::audioDisable},
    {"AudioCodec ", &Profile::audioCodec},
    {"AudioBitrate ", &Profile::audioBitrate},
    {"AudioSampleRate ", &Profile::audioSampleRate},
    {"AudioChannels ", &Profile::audioChannels},
    {"AudioVolume ", &Profile::audioVolume},
};
constexpr ListKey kListKeys[] = {
    {"VideoCodecList ", &Profile::videoCodecList},
    {"VideoBitrateList ", &Profile::videoBitrateList},
    {"VideoSizeList ", &Profile::videoSizeList},
    {"VideoFrameRateList ", &Profile::videoFrameRateList},
    {"VideoAspectRatioList ", &Profile::videoAspectRatioList},
    {"VideoZoomList ", &Profile::videoZoomList},
    {"VideoDisableList ", &Profile::videoDisableList},
    {"AudioCodecList ", &Profile::audioCodecList},
    {"AudioBitrateList ", &Profile::audioBitrateList},
    {"AudioSampleRateList ", &Profile::audioSampleRateList},
    {"AudioChannelsList ", &Profile::audioChannelsList},
    {"AudioVolumeList ", &Profile::audioVolumeList},
    {"AudioDisableList ", &Profile::audioDisableList},
};

// The text between the (2n+1)-th and (2n+2)-th double quote; empty when the
// line has fewer quotes.
std::string_view QuotedText(std::string_view line, int n) {
  size_t open = std::string_view::npos;
  size_t from = 0;
  for (int i = 0; i <= n; ++i) {
    open = line.find('"', from);
    if (open == std::string_view::npos) return {};
    size_t close = line.find('"', open + 1);
    if (close == std::string_view::npos) return {};
    if (i == n) return line.substr(open + 1, close - open - 1);
    from = close + 1;
  }
  return {};
}

void ReadList(ParameterList& list, std::string_view line) {
  list.items.clear();
  std::string_view value = QuotedText(line, 0);
  while (true) {
    size_t comma = value.find(',');
    list.items.emplace_back(value.substr(0, comma));
    if (comma == std::string_view::npos) break;
    value.remove_prefix(comma + 1);
  }
  list.index = LeadingInteger(QuotedText(line, 1));
}

}  // namespace

Profile::~Profile() = default;

int32_t LeadingInteger(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t' || text[i] == '\n' ||
                             text[i] == '\r' || text[i] == '\v' || text[i] == '\f'))
    ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  int64_t value = 0;
  constexpr int64_t kLimit = int64_t{std::numeric_limits<int32_t>::max()} + 1;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = value * 10 + (text[i] - '0');
    if (value > kLimit) value = kLimit;
  }
  if (negative) return static_cast<int32_t>(-value);
  return static_cast<int32_t>(std::min<int64_t>(value, std::numeric_limits<int32_t>::max()));
}

void Profile::ReadLine(std::string_view line) {
  for (const auto& key : kScalarKeys) {
    if (line.find(key.key) != std::string_view::npos) {
      this->*key.field = std::string(QuotedText(line, 0));
      return;
    }
  }
  for (const auto& key : kListKeys) {
    if (line.find(key.key) != std::string_view::npos) {
      ReadList(this->*key.field, line);
      return;
    }
  }
}

void Profile::LoadText(std::string_view text) {
  if (text.empty()) return;
  text.remove_suffix(1);  // the last byte is never part of the text
  size_t start = 0;
  while (true) {
    size_t feed = text.find('\n', start);
    if (feed == std::string_view::npos) break;  // the text after the last line feed is dropped
    std::string_view line = text.substr(start, feed - start);
    if (line.size() <= kMaxProfileLineBytes) ReadLine(line);
    start = feed + 1;
  }
}

bool Profile::Load(std::string_view path) {
  std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(std::string(path).c_str(), "rb"),
                                             &std::fclose);
  if (!file) {
    MLOG("Profile::Load, cannot open: %.*s", static_cast<int>(path.size()), path.data());
    return false;
  }
  // Streams the file so that memory stays bounded whatever its size. A line is
  // read only once a byte follows its line feed: the line whose feed is the
  // file's last byte, and the text after the last feed, are never read.
  std::string line;
  bool overlong = false, complete = false;
  size_t skipped = 0;
  std::vector<char> chunk(1 << 16);
  size_t got;
  while ((got = std::fread(chunk.data(), 1, chunk.size(), file.get())) > 0) {
    for (size_t i = 0; i < got; ++i) {
      if (complete) {
        if (!overlong) ReadLine(line);
        else ++skipped;
        line.clear();
        overlong = complete = false;
      }
      char c = chunk[i];
      if (c == '\n') {
        complete = true;
      } else if (!overlong) {
        if (line.size() < kMaxProfileLineBytes) line.push_back(c);
        else overlong = true, line.clear();
      }
    }
  }
  if (skipped > 0)
    MLOG("Profile::Load, skipped %zu lines longer than %zu bytes in %.*s", skipped,
         kMaxProfileLineBytes, static_cast<int>(path.size()), path.data());
  return true;
}

}  // namespace mivora
