#pragma once
// A PQ or HLG source's mastering-display and content-light metadata (the
// display it was graded on, its brightest pixel and brightest frame), read
// with FFmpeg's libraries (SourceFacts.h says when), and the encoder parameters that write it into an
// output that keeps HDR. ffmpeg carries the colour description itself but
// not this metadata, which HDR screens use to map the picture to their range.

#include <string>

struct AVFormatContext;

namespace mivora::trancor {

struct HdrMetadata {
  bool hasMastering = false;
  // CIE 1931 chromaticities of the mastering display's primaries and white
  // point, and its luminance range in cd/m².
  double redX = 0, redY = 0, greenX = 0, greenY = 0, blueX = 0, blueY = 0, whiteX = 0, whiteY = 0;
  double minLuminance = 0, maxLuminance = 0;
  bool hasContentLight = false;
  unsigned maxContentLight = 0, maxFrameAverageLight = 0;  // cd/m²
};

// From the side data of the video stream `videoStream` of a source opened
// through pipeline/AvLibraries.h, else from its first decoded frame (which
// reads the source on from where it stands).
HdrMetadata HdrMetadataOf(AVFormatContext* format, int videoStream);

// libx265's parameter text ("master-display=G(..)B(..)R(..)WP(..)L(..):max-cll=..,.."),
// empty when there is nothing to write.
std::string X265HdrParameters(const HdrMetadata& metadata);
// SVT-AV1's parameter text ("mastering-display=...:content-light=..").
std::string SvtAv1HdrParameters(const HdrMetadata& metadata);

}  // namespace mivora::trancor
