#include "preview/ResizeContext.h"

#include <algorithm>
#include <cmath>

namespace mivora {
namespace {

constexpr int kMaxFrameSide = 32768;
constexpr int kMaxCropCoordinate = 2 * kMaxFrameSide;

double Cube(double t) { return t > 0 ? t * t * t : 0.0; }

// The cubic B-spline: ((x+2)^3 - 4(x+1)^3 + 6x^3 - 4(x-1)^3) / 6 over the
// positive parts. Past x = 2 the formula goes negative; those entries are
// never read (the largest index used is 131072, x = 2) and are stored as 0.
std::vector<uint16_t> BuildCubicTable() {
  std::vector<uint16_t> table(kCubicTableSize);
  for (int d = 0; d < kCubicTableSize; ++d) {
    double x = d / 32768.0 - 2.0;
    double b = (Cube(x + 2) - 4 * Cube(x + 1) + 6 * Cube(x) - 4 * Cube(x - 1)) / 6;
    double q = std::trunc(65536.0 * b);
    table[static_cast<size_t>(d)] = static_cast<uint16_t>(std::clamp(q, 0.0, 65535.0));
  }
  return table;
}

// Region of one plane in that plane's samples.
struct PlaneRegion {
  int left, top, right, bottom;
};

void FillColumns(PlaneScaleParams& p) {
  const uint16_t* table = CubicWeightTable();
  const int n = p.outputWidth;
  p.cubicBase.resize(n);
  p.cubicW01.resize(n);
  p.cubicW23.resize(n);
  p.linearBase.resize(n);
  p.linearW.resize(n);
  p.cubicInsideFirst = p.cubicInsideEnd = 0;
  p.linearInsideFirst = p.linearInsideEnd = 0;
  bool cubicSeen = false, linearSeen = false;
  for (int c = 0; c < n; ++c) {
    int64_t pos = p.startX + p.xStep * c;
    int64_t whole = pos >> 16;  // floor, also for positions left of the region
    int f = static_cast<int>(pos & 0xFFFF);
    int64_t cubicBase = p.regionLeft + whole - 1;
    int64_t linearBase = p.regionLeft + whole;
    // Keep the stored columns in int range; reads clamp them anyway.
    p.cubicBase[c] = static_cast<int32_t>(std::clamp<int64_t>(cubicBase, -8, p.sourceStride + 8));
    p.linearBase[c] = static_cast<int32_t>(std::clamp<int64_t>(linearBase, -8, p.sourceStride + 8));
    uint32_t wm1 = table[f / 2 + 32768 * 3], w0 = table[f / 2 + 32768 * 2];
    uint32_t w1 = table[f / 2 + 32768 * 1], w2 = table[f / 2];
    p.cubicW01[c] = wm1 | (w0 << 16);
    p.cubicW23[c] = w1 | (w2 << 16);
    uint32_t fx = static_cast<uint32_t>(f) >> 1;
    p.linearW[c] = (32767 - fx) | (fx << 16);
    // Column ranges whose four bytes from the base lie inside the row; the
    // positions are monotone, so each range is one run of columns.
    if (cubicBase >= 0 && cubicBase + 3 < p.sourceStride) {
      if (!cubicSeen) p.cubicInsideFirst = c;
      cubicSeen = true;
      p.cubicInsideEnd = c + 1;
    }
    if (linearBase >= 0 && linearBase + 3 < p.sourceStride) {
      if (!linearSeen) p.linearInsideFirst = c;
      linearSeen = true;
      p.linearInsideEnd = c + 1;
    }
  }
}

// Shuffle masks for groups of 8 columns: each half (4 columns) reads the 16
// bytes from its first column's base; dword i gets the bytes at offsets
// `offset + tap` and `offset + tap + 1` (as 16-bit values) for its column.
void FillGroupShuffles(const std::vector<int32_t>& base, int first, int end, int stride, int tapsPerRead,
                       std::vector<uint8_t>& usable, std::vector<int8_t>& pick) {
  const int groups = std::max(0, (end - first) / 8);
  const int masks = tapsPerRead / 2;  // 2 (cubic) or 1 (bilinear)
  usable.assign(static_cast<size_t>(groups), 0);
  pick.assign(static_cast<size_t>(groups) * 32 * masks, -128);
  for (int g = 0; g < groups; ++g) {
    const int c0 = first + 8 * g;
    bool ok = true;
    for (int half = 0; half < 2; ++half) {
      const int start = base[c0 + 4 * half];
      ok = ok && start + 15 < stride;
      for (int i = 0; i < 4; ++i) {
        const int offset = base[c0 + 4 * half + i] - start;
        ok = ok && offset >= 0 && offset + 3 <= 15;
      }
    }
    if (!ok) continue;
    usable[g] = 1;
    for (int half = 0; half < 2; ++half) {
      const int start = base[c0 + 4 * half];
      for (int i = 0; i < 4; ++i) {
        const int offset = base[c0 + 4 * half + i] - start;
        for (int m = 0; m < masks; ++m) {
          int8_t* mask = &pick[(static_cast<size_t>(g) * masks + m) * 32 + 16 * half + 4 * i];
          mask[0] = static_cast<int8_t>(offset + 2 * m);
          mask[2] = static_cast<int8_t>(offset + 2 * m + 1);
        }
      }
    }
  }
}

void PreparePlane(PlaneScaleParams& p, int stride, int rows, int outWidth, int outRows,
                  const PlaneRegion& r, uint8_t fill, bool withColumns = true) {
  p.sourceStride = stride;
  p.sourceRows = rows;
  p.outputWidth = outWidth;
  p.outputRows = outRows;
  p.fill = fill;
  p.startX = 65537;
  const int64_t regionWidth = int64_t{r.right} - r.left;
  const int64_t regionRows = int64_t{r.bottom} - r.top;
  // A plane with no output columns (destination width 1 halves to 0) has
  // nothing to scale; no step is computed for it.
  p.xStep = outWidth > 0 ? (regionWidth - 3) * 65536 / outWidth : 0;
  p.regionLeft = r.left;

  p.firstRow = 0;
  p.lastRow = -1;
  p.yStep = 0;
  p.sourceTop = std::max(r.top, 0);
  p.sourceOffset = r.left + int64_t{stride} * p.sourceTop;
  const int64_t clippedRows = int64_t{std::min(r.bottom, rows)} - p.sourceTop;
  if (outRows > 0 && regionRows > 0 && clippedRows > 0) {
    int64_t above = r.top < 0 ? -int64_t{r.top} : 0;
    int64_t below = r.bottom > rows ? int64_t{r.bottom} - rows : 0;
    int64_t first = above * outRows / regionRows;
    int64_t last = outRows - 1 - below * outRows / regionRows;
    if (last >= first) {
      p.firstRow = static_cast<int>(first);
      p.lastRow = static_cast<int>(last);
      p.yStep = (clippedRows - 1) * 65536 / (last - first + 1);
    }
  }
  if (withColumns) {
    FillColumns(p);
    FillGroupShuffles(p.cubicBase, p.cubicInsideFirst, p.cubicInsideEnd, stride, 4, p.cubicGroupShuffles,
                      p.cubicPick);
    FillGroupShuffles(p.linearBase, p.linearInsideFirst, p.linearInsideEnd, stride, 2,
                      p.linearGroupShuffles, p.linearPick);
  }
}

bool SizesUsable(int sourceWidth, int sourceHeight, int destinationWidth, int destinationHeight,
                 int cropLeft, int cropTop, int cropRight, int cropBottom) {
  auto sideOk = [](int v) { return v >= 0 && v <= kMaxFrameSide; };
  auto coordinateOk = [](int v) { return v >= -kMaxCropCoordinate && v <= kMaxCropCoordinate; };
  return sideOk(sourceWidth) && sideOk(sourceHeight) && sideOk(destinationWidth) &&
         sideOk(destinationHeight) && coordinateOk(cropLeft) && coordinateOk(cropTop) &&
         coordinateOk(cropRight) && coordinateOk(cropBottom);
}

}  // namespace

const uint16_t* CubicWeightTable() {
  static const std::vector<uint16_t> table = BuildCubicTable();
  return table.data();
}

CropRect AlignCrop(int left, int top, int right, int bottom) {
  CropRect r;
  r.left = ((left + 1) / 4) * 4;
  r.right = ((right + 1) / 4) * 4;
  r.top = ((top + 1) / 2) * 2;
  r.bottom = ((bottom + 1) / 2) * 2;
  return r;
}

ResizeContext* CreateResizeContext(int sourceWidth, int sourceHeight, int destinationWidth,
                                   int destinationHeight, int cropLeft, int cropTop, int cropRight,
                                   int cropBottom) {
  auto* context = new ResizeContext;
  context->sourceWidth = sourceWidth;
  context->sourceHeight = sourceHeight;
  context->destinationWidth = destinationWidth;
  context->destinationHeight = destinationHeight;
  context->cropLeft = cropLeft;
  context->cropTop = cropTop;
  context->cropRight = cropRight;
  context->cropBottom = cropBottom;
  CubicWeightTable();

  if (destinationWidth == 0 || destinationHeight == 0) return context;
  if (!SizesUsable(sourceWidth, sourceHeight, destinationWidth, destinationHeight, cropLeft, cropTop,
                   cropRight, cropBottom))
    return context;

  CropRect crop = AlignCrop(cropLeft, cropTop, cropRight, cropBottom);
  PreparePlane(context->luma, sourceWidth, sourceHeight, destinationWidth, destinationHeight,
               {crop.left, crop.top, crop.right, crop.bottom}, 16);
  PreparePlane(context->chroma, sourceWidth / 2, sourceHeight / 2, destinationWidth / 2,
               destinationHeight / 2, {crop.left / 2, crop.top / 2, crop.right / 2, crop.bottom / 2},
               128);
  context->scalingNeeded =
      (crop.right - crop.left == destinationWidth && crop.bottom - crop.top == destinationHeight) ? 0
                                                                                                  : 1;
  context->prepared = true;
  return context;
}

bool CropRegionParams(const ResizeContext& c, bool chroma, PlaneScaleParams& out) {
  if (!SizesUsable(c.sourceWidth, c.sourceHeight, 0, 0, c.cropLeft, c.cropTop, c.cropRight,
                   c.cropBottom))
    return false;
  CropRect crop = AlignCrop(c.cropLeft, c.cropTop, c.cropRight, c.cropBottom);
  const int width = std::max(crop.right - crop.left, 0);
  const int height = std::max(crop.bottom - crop.top, 0);
  if (chroma)
    PreparePlane(out, c.sourceWidth / 2, c.sourceHeight / 2, width / 2, height / 2,
                 {crop.left / 2, crop.top / 2, crop.right / 2, crop.bottom / 2}, 128, false);
  else
    PreparePlane(out, c.sourceWidth, c.sourceHeight, width, height,
                 {crop.left, crop.top, crop.right, crop.bottom}, 16, false);
  return true;
}

}  // namespace mivora
