#pragma once
// Where a watermark lands in the region the output keeps (the crop band, or
// the whole frame): at its position relative to the region, moved back
// inside where it would reach past an edge, and to the region's near edge
// when it is larger than the region. One rule for the editor's pane, which
// knows the watermark's size, and for the engine adapter, which hands the
// same rule to ffmpeg as an expression evaluated once the size is known.

#include <algorithm>
#include <string>
#include <string_view>

namespace mivora {

// `offset`: the watermark's edge relative to the region's (pixels); `room`:
// the region's side; `size`: the watermark's side.
inline int PlaceInsideRegion(int offset, int room, int size) { return std::max(0, std::min(offset, room - size)); }

// The same rule as an ffmpeg expression over the names of the region's side
// and the watermark's side ("w", "text_w"), commas escaped for a filter graph.
inline std::string PlaceInsideRegionExpression(int offset, std::string_view room, std::string_view size) {
  return "max(0\\,min(" + std::to_string(offset) + "\\," + std::string(room) + "-" + std::string(size) + "))";
}

}  // namespace mivora
