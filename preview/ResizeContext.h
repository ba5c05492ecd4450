#pragma once
// The scaling context behind GLIMRA_InitResize: the source size, the crop
// rectangle, the destination size and, per plane kind, where every output
// column and row reads from.

#include <cstdint>
#include <vector>

namespace mivora {

// Number of entries of the cubic weight table; entry d is the B-spline at
// d / 32768 - 2 in Q16.
constexpr int kCubicTableSize = 140000;
const uint16_t* CubicWeightTable();

// Crop rectangle rounded as the scaler uses it: left and right to multiples
// of 4, top and bottom to multiples of 2 (rounding half up, toward zero).
struct CropRect {
  int left = 0, top = 0, right = 0, bottom = 0;
};
CropRect AlignCrop(int left, int top, int right, int bottom);

// How one plane (luma, or the two chroma planes) is scaled.
struct PlaneScaleParams {
  int sourceStride = 0;  // plane width
  int sourceRows = 0;    // plane rows
  int outputWidth = 0;
  int outputRows = 0;
  int startX = 65537;  // 16.16: one pixel plus 1/65536
  int64_t xStep = 0;   // 16.16
  int firstRow = 0;    // output rows first..last come from the source,
  int lastRow = -1;    // the others are filled
  int64_t yStep = 0;   // 16.16, over the filled rows
  int64_t sourceOffset = 0;  // region's first sample (may lie outside the plane)
  int regionLeft = 0;  // column of the region's first sample (may be negative)
  int sourceTop = 0;   // plane row read at row position 0
  uint8_t fill = 16;

  // Column taps, one entry per output column. Reads are clamped to the row,
  // so columns whose taps would leave it are marked with `edge`.
  std::vector<int32_t> cubicBase;     // plane column of the tap at -1
  std::vector<uint32_t> cubicW01;     // weights of taps -1 (low) and 0 (high)
  std::vector<uint32_t> cubicW23;     // weights of taps +1 and +2
  std::vector<int32_t> linearBase;    // plane column of the left neighbour
  std::vector<uint32_t> linearW;      // 32767 - f (low) and f (high), 15 bits
  int cubicInsideFirst = 0, cubicInsideEnd = 0;    // columns whose 4 taps are inside
  int linearInsideFirst = 0, linearInsideEnd = 0;  // columns whose 4 bytes from base are inside

  // Groups of 8 inside columns (from the first inside column) whose taps lie
  // within 16 bytes from the group's first and fifth column: such a group
  // reads two 16-byte pieces of the row and picks its taps by byte shuffles
  // (`cubicPick`: 64 bytes per group, taps -1/0 then +1/+2; `linearPick`: 32
  // bytes per group). Other groups gather their taps.
  std::vector<uint8_t> cubicGroupShuffles, linearGroupShuffles;  // 1 where usable
  std::vector<int8_t> cubicPick, linearPick;
};

}  // namespace mivora

struct ResizeContext {
  int sourceWidth = 0, sourceHeight = 0;
  int destinationWidth = 0, destinationHeight = 0;
  int cropLeft = 0, cropTop = 0, cropRight = 0, cropBottom = 0;  // as given
  int chromaShiftX = 1, chromaShiftY = 1;  // 4:2:0
  bool prepared = false;  // false: destination empty or sizes unusable
  int scalingNeeded = 1;
  mivora::PlaneScaleParams luma;
  mivora::PlaneScaleParams chroma;
};

namespace mivora {
// Builds a context as GLIMRA_InitResize describes it.
ResizeContext* CreateResizeContext(int sourceWidth, int sourceHeight, int destinationWidth,
                                   int destinationHeight, int cropLeft, int cropTop, int cropRight,
                                   int cropBottom);

// Rows and columns for copying the aligned crop region of the luma (or
// chroma) plane unscaled, output size = region size; false when the
// context's source size or crop rectangle is unusable.
bool CropRegionParams(const ResizeContext& context, bool chroma, PlaneScaleParams& out);
}  // namespace mivora
