#pragma once
// Colour conversions of the stereo preview: a YUV 4:2:0 frame to three planes
// R, G, B (width x height bytes each) and back.
//
// Forward, per pixel (computed as in double precision, truncated toward zero,
// clamped to 0..255): R = Y + 1.4022 (V-128), G = Y - 0.7145 (V-128) -
// 0.3456 (U-128), B = Y + 1.771 (U-128). Pixel (x, y) uses chroma sample
// (x / 2, y / 2), the last chroma column or row for the extra column or row
// of an odd size, and U = V = 128 when the frame has no chroma samples.
//
// Back: Y = 0.299 R + 0.587 G + 0.114 B; per pixel U = B/2 - (0.1684 R +
// 0.3316 G) + 128 and V = R/2 - 0.4187 G - 0.0813 B + 128, with integer
// halves, each product the single-precision value of the double product (as
// a table of 256 floats per coefficient would hold it), sums in single
// precision, truncated; a 2 x 2 block stores the sum of its four values >> 2.

#include <cstdint>

#include "editing/YuvFrame.h"

namespace mivora {

struct RgbPlanes {
  uint8_t* r;
  uint8_t* g;
  uint8_t* b;
};

void YuvToRgb(const YuvFrame& in, const RgbPlanes& out);
// Writes the Y plane and the chroma grid of `out` (already sized).
void RgbToYuv(const RgbPlanes& in, YuvFrame& out);

}  // namespace mivora
