#include "pipeline/MediaInfo.h"

namespace mivora {

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
