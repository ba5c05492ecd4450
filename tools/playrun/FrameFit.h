#pragma once
// The size at which a video frame goes into the shared block: even sides
// (the chroma planes are half of them) that fit the block's frame area and
// the announcement's 16-bit sides. A frame too large for the block is scaled
// down, keeping its aspect ratio.

namespace mivora::playrun {

struct FrameSize {
  int width = 0;
  int height = 0;
  bool operator==(const FrameSize&) const = default;
};

// The handed-over size for a decoded frame of `width` x `height` (both > 0).
FrameSize FitFrameSize(int width, int height);

}  // namespace mivora::playrun
