#pragma once
// Producing one output plane from one source plane with the context's
// parameters: the cubic/bilinear scaler and the plain copy of the region.

#include <cstdint>

#include "preview/Glimra.h"
#include "preview/ResizeContext.h"

namespace mivora {

enum class PlaneKind { Luma, Chroma };

// Scales `plane` (p.sourceStride x p.sourceRows) into `out` (p.outputWidth x
// p.outputRows). Luma uses the 4 x 4 cubic where the rows allow it, chroma is
// bilinear. Reads never leave the plane: taps outside it take the edge sample.
void ScalePlane(const PlaneScaleParams& p, PlaneKind kind, const uint8_t* plane, uint8_t* out);

// Copies the region unchanged (the region already has the output size),
// filling rows that lie outside the frame.
void CopyPlane(const PlaneScaleParams& p, const uint8_t* plane, uint8_t* out);

// Crops and scales (or copies, when no scaling is needed) the three planes
// of one frame with a prepared context.
void ResizeFrame(const uint8_t* y, const uint8_t* u, const uint8_t* v, const YuvPlanes& out,
                 const ResizeContext& context);

// Row kernels; the vector versions handle only the columns whose taps lie
// inside the row, the portable ones any column range.
struct CubicRow {
  const uint8_t* rows[4];
  uint16_t vertical[4];
};
struct LinearRow {
  const uint8_t* rows[2];
  uint32_t fy;  // 15 bits
};
void CubicColumnsPortable(const PlaneScaleParams& p, const CubicRow& r, int first, int end,
                          uint8_t* out);
void LinearColumnsPortable(const PlaneScaleParams& p, const LinearRow& r, int first, int end,
                           uint8_t* out);
void CubicColumnsAvx2(const PlaneScaleParams& p, const CubicRow& r, int first, int end,
                      uint8_t* out);
void LinearColumnsAvx2(const PlaneScaleParams& p, const LinearRow& r, int first, int end,
                       uint8_t* out);

// Whether the AVX2 kernels are used (chosen from the processor at start-up;
// tests switch it to compare both).
bool ScalerUsesAvx2();
void SetScalerUsesAvx2(bool use);

}  // namespace mivora
