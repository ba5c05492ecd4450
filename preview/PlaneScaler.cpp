#include "preview/PlaneScaler.h"

#include <algorithm>
#include <atomic>
#include <cstring>

namespace mivora {
namespace {

bool DetectAvx2() {
#if defined(__x86_64__) || defined(__i386__)
  return __builtin_cpu_supports("avx2");
#else
  return false;
#endif
}
std::atomic<bool> g_useAvx2{DetectAvx2()};

inline int ClampIndex(int i, int size) { return i < 0 ? 0 : (i >= size ? size - 1 : i); }

void ScaleRowColumns(const PlaneScaleParams& p, const CubicRow* cubic, const LinearRow* linear,
                     uint8_t* out) {
  const bool avx2 = g_useAvx2.load(std::memory_order_relaxed);
  int first = 0, end = 0;
  if (avx2) {
    first = cubic ? p.cubicInsideFirst : p.linearInsideFirst;
    end = cubic ? p.cubicInsideEnd : p.linearInsideEnd;
  }
  // Edge columns (and everything without AVX2) take the portable path.
  if (cubic) {
    CubicColumnsPortable(p, *cubic, 0, first, out);
    if (end > first) CubicColumnsAvx2(p, *cubic, first, end, out);
    CubicColumnsPortable(p, *cubic, std::max(end, first), p.outputWidth, out);
  } else {
    LinearColumnsPortable(p, *linear, 0, first, out);
    if (end > first) LinearColumnsAvx2(p, *linear, first, end, out);
    LinearColumnsPortable(p, *linear, std::max(end, first), p.outputWidth, out);
  }
}

}  // namespace

bool ScalerUsesAvx2() { return g_useAvx2.load(); }
void SetScalerUsesAvx2(bool use) { g_useAvx2.store(use && DetectAvx2()); }

void CubicColumnsPortable(const PlaneScaleParams& p, const CubicRow& r, int first, int end,
                          uint8_t* out) {
  const int width = p.sourceStride;
  for (int c = first; c < end; ++c) {
    const int base = p.cubicBase[c];
    const uint32_t h[4] = {p.cubicW01[c] & 0xFFFF, p.cubicW01[c] >> 16, p.cubicW23[c] & 0xFFFF,
                           p.cubicW23[c] >> 16};
    uint32_t sum = 0;
    for (int j = 0; j < 4; ++j) {
      const uint8_t* row = r.rows[j];
      for (int t = 0; t < 4; ++t) {
        uint32_t weight = (h[t] * r.vertical[j]) >> 16;
        sum += weight * row[ClampIndex(base + t, width)];
      }
    }
    out[c] = static_cast<uint8_t>((sum + 32768) >> 16);
  }
}

void LinearColumnsPortable(const PlaneScaleParams& p, const LinearRow& r, int first, int end,
                           uint8_t* out) {
  const int width = p.sourceStride;
  const uint32_t fy = r.fy;
  for (int c = first; c < end; ++c) {
    const int x0 = ClampIndex(p.linearBase[c], width);
    const int x1 = ClampIndex(p.linearBase[c] + 1, width);
    const uint32_t w0 = p.linearW[c] & 0xFFFF, w1 = p.linearW[c] >> 16;
    uint32_t top = r.rows[0][x0] * w0 + r.rows[0][x1] * w1;
    uint32_t bottom = r.rows[1][x0] * w0 + r.rows[1][x1] * w1;
    uint32_t v = (top >> 8) * (32767 - fy) + (bottom >> 8) * fy;
    out[c] = static_cast<uint8_t>((v + (1u << 21)) >> 22);
  }
}

void ScalePlane(const PlaneScaleParams& p, PlaneKind kind, const uint8_t* plane, uint8_t* out) {
  const int width = p.outputWidth;
  if (width <= 0 || p.outputRows <= 0) return;
  const bool empty = p.sourceStride <= 0 || p.sourceRows <= 0;
  const uint16_t* table = CubicWeightTable();
  const int rows = p.sourceRows;
  // Rows outside the plane read its first or last row.
  auto rowAt = [&](int64_t i) {
    const int64_t row = std::clamp<int64_t>(i, 0, rows - 1);
    return plane + static_cast<size_t>(row) * static_cast<size_t>(p.sourceStride);
  };
  for (int r = 0; r < p.outputRows; ++r) {
    uint8_t* line = out + static_cast<size_t>(r) * static_cast<size_t>(width);
    if (empty || r < p.firstRow || r > p.lastRow) {
      std::memset(line, p.fill, static_cast<size_t>(width));
      continue;
    }
    const int64_t py = p.yStep * (r - p.firstRow);
    const int64_t whole = py >> 16;
    const uint32_t fy = static_cast<uint32_t>(py & 0xFFFF);
    const int64_t top = p.sourceTop + whole;
    if (kind == PlaneKind::Luma && py >= 65536 && whole < rows - 2) {
      CubicRow cubic;
      for (int j = 0; j < 4; ++j) {
        cubic.rows[j] = rowAt(top - 1 + j);
        cubic.vertical[j] = table[((j + 1) * 65536 - fy) / 2];
      }
      ScaleRowColumns(p, &cubic, nullptr, line);
    } else {
      LinearRow linear{{rowAt(top), rowAt(top + 1)}, fy >> 1};
      ScaleRowColumns(p, nullptr, &linear, line);
    }
  }
}

void CopyPlane(const PlaneScaleParams& p, const uint8_t* plane, uint8_t* out) {
  const int width = p.outputWidth;
  if (width <= 0 || p.outputRows <= 0) return;
  const bool empty = p.sourceStride <= 0 || p.sourceRows <= 0;
  // The part of the region's columns that lies inside the row.
  const int insideFirst = std::clamp(-p.regionLeft, 0, width);
  const int insideEnd = std::clamp(p.sourceStride - p.regionLeft, insideFirst, width);
  for (int r = 0; r < p.outputRows; ++r) {
    uint8_t* line = out + static_cast<size_t>(r) * static_cast<size_t>(width);
    if (empty || r < p.firstRow || r > p.lastRow) {
      std::memset(line, p.fill, static_cast<size_t>(width));
      continue;
    }
    int row = ClampIndex(p.sourceTop + (r - p.firstRow), p.sourceRows);
    const uint8_t* src = plane + static_cast<size_t>(row) * static_cast<size_t>(p.sourceStride);
    if (insideEnd > insideFirst)
      std::memcpy(line + insideFirst, src + p.regionLeft + insideFirst,
                  static_cast<size_t>(insideEnd - insideFirst));
    std::memset(line, src[0], static_cast<size_t>(insideFirst));
    std::memset(line + insideEnd, src[p.sourceStride - 1], static_cast<size_t>(width - insideEnd));
  }
}

void ResizeFrame(const uint8_t* y, const uint8_t* u, const uint8_t* v, const YuvPlanes& out,
                 const ResizeContext& context) {
  if (!context.prepared) return;
  if (context.scalingNeeded) {
    ScalePlane(context.luma, PlaneKind::Luma, y, out.y);
    ScalePlane(context.chroma, PlaneKind::Chroma, u, out.u);
    ScalePlane(context.chroma, PlaneKind::Chroma, v, out.v);
  } else {
    CopyPlane(context.luma, y, out.y);
    CopyPlane(context.chroma, u, out.u);
    CopyPlane(context.chroma, v, out.v);
  }
}

}  // namespace mivora
