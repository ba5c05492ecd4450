#include "pipeline/SourceItem.h"

namespace mivora {

const char* const kScalarElementNames[kParameterCount] = {
    "VideoCodec", "VideoBitrate", "VideoSize", "VideoFrameRate", "VideoAspectRatio",
    "AudioCodec", "AudioBitrate", "AudioSampleRate", "AudioChannels", "AudioVolume"};
const char* const kListElementNames[kParameterCount] = {
    "VideoCodecList", "VideoBitrateList", "VideoSizeList", "VideoFrameRateList",
    "VideoAspectRatioList", "AudioCodecList", "AudioBitrateList", "AudioSampleRateList",
    "AudioChannelsList", "AudioVolumeList"};

SourceItem::SourceItem(const SourceItem& other) { *this = other; }

SourceItem& SourceItem::operator=(const SourceItem& other) {
  if (this == &other) return *this;
  sourcePath = other.sourcePath;
  estimatedSize = other.estimatedSize;
  targetExtension = other.targetExtension;
  mediaInfo = other.mediaInfo;
  editSettings = other.editSettings ? std::make_unique<EditSettings>(*other.editSettings) : nullptr;
  durationSeconds = other.durationSeconds;
  videoBitrateBps = other.videoBitrateBps;
  engineArgs = other.engineArgs;
  listIndices = other.listIndices;
  profilePath = other.profilePath;
  profileId = other.profileId;
  return *this;
}

std::string SourceItem::InfoText() const {
  std::string text;
  if (!mediaInfo.video.duration.empty()) text += "Duration:" + mediaInfo.video.duration + ", ";
  if (!mediaInfo.video.bitrate.empty()) text += "Bit Rate:" + mediaInfo.video.bitrate;
  return text;
}

}  // namespace mivora
