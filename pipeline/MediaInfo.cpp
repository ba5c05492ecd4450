#include "pipeline/MediaInfo.h"

#include <climits>
#include <cmath>
#include <cstdlib>
#include <numeric>
#include <utility>

namespace mivora {

int ClockwiseRotation(const MediaVideoFacts& video) {
  if (video.rotation.empty()) return 0;
  double counterClockwise = std::strtod(video.rotation.c_str(), nullptr);
  if (!std::isfinite(counterClockwise)) return 0;
  // The nearest quarter turn, as the engine rounds it.
  long quarters = std::lround(-counterClockwise / 90.0) % 4;
  return static_cast<int>((quarters + 4) % 4) * 90;
}

DisplayedSize DisplayedFrameSize(const MediaVideoFacts& video) {
  int width = std::atoi(video.width.c_str()), height = std::atoi(video.height.c_str());
  if (width <= 0 || height <= 0) return {};
  int turn = ClockwiseRotation(video);
  if (turn == 90 || turn == 270) return {height, width};
  return {width, height};
}

double ExactDurationSeconds(const MediaVideoFacts& video) {
  const std::string& text = video.exactDuration.empty() ? video.duration : video.exactDuration;
  // "hh:mm:ss" with an optional ".fraction", read by hand: the C locale's point always.
  int fields[3] = {0, 0, 0};
  size_t at = 0;
  for (int& field : fields) {
    size_t start = at;
    while (at < text.size() && text[at] >= '0' && text[at] <= '9') field = field * 10 + (text[at++] - '0');
    if (at == start || at - start > 6) return 0;
    if (&field != &fields[2] && (at >= text.size() || text[at++] != ':')) return 0;
  }
  double seconds = fields[0] * 3600.0 + fields[1] * 60.0 + fields[2];
  if (at < text.size() && text[at] == '.') {
    double scale = 0.1;
    for (++at; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at, scale /= 10)
      seconds += (text[at] - '0') * scale;
  }
  return seconds;
}

PictureShape DisplayedPictureShape(const MediaVideoFacts& video) {
  PictureShape shape;
  const int width = std::atoi(video.width.c_str()), height = std::atoi(video.height.c_str());
  if (width <= 0 || height <= 0) return shape;
  shape.width = width, shape.height = height;
  int num = 0, den = 0;
  if (ParseDisplayAspect(video.displayAspect, &num, &den)) {
    // Pixel shape = display aspect / frame aspect, kept as a fraction.
    const long long n = static_cast<long long>(num) * height, d = static_cast<long long>(den) * width;
    const long long divisor = std::gcd(n, d);
    if (n / divisor <= INT_MAX && d / divisor <= INT_MAX)
      shape.sampleAspectNum = static_cast<int>(n / divisor), shape.sampleAspectDen = static_cast<int>(d / divisor);
  }
  const int turn = ClockwiseRotation(video);
  if (turn == 90 || turn == 270) {
    std::swap(shape.width, shape.height);
    std::swap(shape.sampleAspectNum, shape.sampleAspectDen);
  }
  return shape;
}

std::vector<std::pair<std::string_view, std::string_view>> MediaInfoFields(const MediaInfo& info) {
  const MediaVideoFacts& v = info.video;
  const MediaAudioFacts& a = info.audio;
  return {{"duration", v.duration},         {"videoCodec", v.videoCodec},
          {"bitrate", v.bitrate},           {"width", v.width},
          {"height", v.height},             {"displayAspect", v.displayAspect},
          {"frameRate", v.frameRate},       {"audioCodec", a.audioCodec},
          {"sampleRate", a.sampleRate},     {"audioBitrate", a.audioBitrate}};
}

}  // namespace mivora
