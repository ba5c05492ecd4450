#pragma once
// One file in the source list: what was probed from it, the profile chosen
// for it and its edits.

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "editing/EditSettings.h"
#include "pipeline/MediaInfo.h"

namespace mivora {

// The ten adjustable parameters, in their fixed order.
enum ProfileParameter {
  kVideoCodec, kVideoBitrate, kVideoSize, kVideoFrameRate, kVideoAspectRatio,
  kAudioCodec, kAudioBitrate, kAudioSampleRate, kAudioChannels, kAudioVolume,
  kParameterCount
};
// Scalar and list element names of the parameters, in that order.
extern const char* const kScalarElementNames[kParameterCount];
extern const char* const kListElementNames[kParameterCount];

struct SourceItem {
  SourceItem() = default;
  SourceItem(const SourceItem& other);
  SourceItem& operator=(const SourceItem& other);
  SourceItem(SourceItem&&) noexcept = default;
  SourceItem& operator=(SourceItem&&) noexcept = default;

  std::string sourcePath;       // unique in the list (exact byte comparison)
  std::string estimatedSize;    // FormatByteSize((videoBitrateBps >> 3) * durationSeconds)
  std::string targetExtension;  // the profile's FormatExt
  MediaInfo mediaInfo;
  std::unique_ptr<EditSettings> editSettings;  // none until the user edits the item
  int32_t durationSeconds = 0;
  int32_t videoBitrateBps = 0;  // selected video kbit/s * 1024
  std::string engineArgs;
  // videoCodecIndex ... audioVolumeIndex: the selected position of each list.
  std::array<int32_t, kParameterCount> listIndices{};
  std::string profilePath;
  int32_t profileId = 0;

  // "Duration:00:03:25, Bit Rate:1834" (each part only when probed).
  std::string InfoText() const;
};

}  // namespace mivora
