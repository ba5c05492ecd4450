#include "tools/playrun/FrameFit.h"

#include <algorithm>
#include <cmath>

#include "platform/CopyDataProtocol.h"
#include "platform/PlayerSharedBlock.h"

namespace mivora::playrun {
namespace {

int EvenAtLeastTwo(double side) { return std::max(2, static_cast<int>(side) & ~1); }

bool Fits(int width, int height) {
  return static_cast<unsigned>(width) <= copydata::kMaxFrameSide &&
         static_cast<unsigned>(height) <= copydata::kMaxFrameSide &&
         playerblock::FrameFits(static_cast<size_t>(width), static_cast<size_t>(height));
}

}  // namespace

FrameSize FitFrameSize(int width, int height) {
  FrameSize size{EvenAtLeastTwo(width), EvenAtLeastTwo(height)};
  if (Fits(size.width, size.height)) return size;
  // Shrink both sides by the same factor: first the estimate from the area,
  // then by small steps until rounding no longer pushes it over.
  double scale = std::sqrt(static_cast<double>(playerblock::kFrameCapacity) /
                           (1.5 * static_cast<double>(width) * static_cast<double>(height)));
  scale = std::min(scale, static_cast<double>(copydata::kMaxFrameSide) / std::max(width, height));
  while (true) {
    size = {EvenAtLeastTwo(width * scale), EvenAtLeastTwo(height * scale)};
    if (Fits(size.width, size.height)) return size;
    scale *= 0.995;
  }
}

}  // namespace mivora::playrun
