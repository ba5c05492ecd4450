#include "editing/YuvRgb.h"

#include <algorithm>
#include <cstdint>
#include <vector>

#include "editing/VectorKernel.h"

namespace mivora {
namespace {


int FloorDiv(int a, int b) {
  int q = a / b;
  return (a % b != 0 && a < 0) ? q - 1 : q;
}

inline uint8_t Clamp255(int v) { return static_cast<uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v)); }

// Y + offset is the floor of the real-valued formula, which after clamping
// equals the truncated double result. The offsets are n / 1000 or n / 10000
// for integers n, so the real value is at least 1e-4 away from an integer
// unless it is one; only then (and only for green) can double rounding differ,
// and those (U, V) pairs are marked to take the double path per pixel.
struct ForwardTables {
  int16_t red[256];
  int16_t blue[256];
  int16_t green[256 * 256];  // index U * 256 + V
  uint8_t greenInDouble[256 * 256];
};
const ForwardTables& Forward() {
  static const ForwardTables* tables = [] {
    auto* t = new ForwardTables;
    for (int i = 0; i < 256; ++i) {
      t->red[i] = static_cast<int16_t>(FloorDiv(14022 * (i - 128), 10000));
      t->blue[i] = static_cast<int16_t>(FloorDiv(1771 * (i - 128), 1000));
    }
    for (int u = 0; u < 256; ++u)
      for (int v = 0; v < 256; ++v) {
        const int n = -(7145 * (v - 128) + 3456 * (u - 128));
        t->green[u * 256 + v] = static_cast<int16_t>(FloorDiv(n, 10000));
        t->greenInDouble[u * 256 + v] = n != 0 && n % 10000 == 0;
      }
    return t;
  }();
  return *tables;
}

uint8_t GreenInDouble(int y, int u, int v) {
  return Clamp255(static_cast<int>(y - 0.7145 * (v - 128) - 0.3456 * (u - 128)));
}

// Offsets of one chroma row, one entry per chroma sample.
struct RowOffsets {
  std::vector<int16_t> red, green, blue;
  std::vector<int> inDouble;  // samples whose green takes the double path
};

void PrepareOffsets(const uint8_t* u, const uint8_t* v, int count, const ForwardTables& t,
                    RowOffsets& o) {
  o.inDouble.clear();
  for (int k = 0; k < count; ++k) {
    const int index = u[k] * 256 + v[k];
    o.red[k] = t.red[v[k]];
    o.blue[k] = t.blue[u[k]];
    o.green[k] = t.green[index];
    if (t.greenInDouble[index]) o.inDouble.push_back(k);
  }
}

// Pixels 0 .. 2 pairs - 1 of a row from per-sample offsets.
MIVORA_VECTOR_KERNEL void StorePairs(const uint8_t* __restrict y, const int16_t* __restrict offset,
                                     int pairs, uint8_t* __restrict out) {
  for (int k = 0; k < pairs; ++k) {
    const int a = y[2 * k] + offset[k], b = y[2 * k + 1] + offset[k];
    out[2 * k] = static_cast<uint8_t>(a < 0 ? 0 : (a > 255 ? 255 : a));
    out[2 * k + 1] = static_cast<uint8_t>(b < 0 ? 0 : (b > 255 ? 255 : b));
  }
}

inline float Product(double coefficient, int value) { return static_cast<float>(coefficient * value); }

inline int Truncate255(float v) {
  const int i = static_cast<int>(v);
  return i < 0 ? 0 : (i > 255 ? 255 : i);
}

MIVORA_VECTOR_KERNEL void LumaRow(const uint8_t* __restrict r, const uint8_t* __restrict g,
                                  const uint8_t* __restrict b, int count, uint8_t* __restrict y) {
  for (int i = 0; i < count; ++i)
    y[i] = static_cast<uint8_t>(
        Truncate255(Product(0.299, r[i]) + Product(0.587, g[i]) + Product(0.114, b[i])));
}

inline int PixelU(int r, int g, int b) {
  return Truncate255(static_cast<float>(b / 2) - (Product(0.1684, r) + Product(0.3316, g)) + 128.0f);
}
inline int PixelV(int r, int g, int b) {
  return Truncate255(static_cast<float>(r / 2) - Product(0.4187, g) - Product(0.0813, b) + 128.0f);
}

// Per-pixel U and V of one row.
MIVORA_VECTOR_KERNEL void ChromaValues(const uint8_t* __restrict r, const uint8_t* __restrict g,
                                       const uint8_t* __restrict b, int count, int16_t* __restrict u,
                                       int16_t* __restrict v) {
  for (int i = 0; i < count; ++i) {
    u[i] = static_cast<int16_t>(PixelU(r[i], g[i], b[i]));
    v[i] = static_cast<int16_t>(PixelV(r[i], g[i], b[i]));
  }
}

MIVORA_VECTOR_KERNEL void BlockSums(const int16_t* __restrict top, const int16_t* __restrict bottom,
                                    int blocks, uint8_t* __restrict out) {
  for (int k = 0; k < blocks; ++k)
    out[k] = static_cast<uint8_t>((top[2 * k] + top[2 * k + 1] + bottom[2 * k] + bottom[2 * k + 1]) >> 2);
}

}  // namespace

void YuvToRgb(const YuvFrame& in, const RgbPlanes& out) {
  const ForwardTables& t = Forward();
  const int width = in.width(), height = in.height();
  const int cw = in.chromaWidth(), ch = in.chromaRows();
  if (width <= 0 || height <= 0) return;
  // Without chroma samples every pixel has U = V = 128.
  const uint8_t neutral = 128;
  const bool hasChroma = cw > 0 && ch > 0;
  const int samples = hasChroma ? cw : 1;
  thread_local RowOffsets o;  // kept, so that a frame allocates nothing
  o.red.resize(samples);
  o.green.resize(samples);
  o.blue.resize(samples);
  if (!hasChroma) PrepareOffsets(&neutral, &neutral, 1, t, o);
  int prepared = -1;
  const uint8_t* uRow = &neutral;
  const uint8_t* vRow = &neutral;
  for (int i = 0; i < height; ++i) {
    const int chromaRow = ch > 0 ? std::min(i / 2, ch - 1) : 0;
    if (hasChroma && chromaRow != prepared) {
      prepared = chromaRow;
      uRow = in.U() + static_cast<size_t>(chromaRow) * cw;
      vRow = in.V() + static_cast<size_t>(chromaRow) * cw;
      PrepareOffsets(uRow, vRow, cw, t, o);
    }
    const uint8_t* yRow = in.Y() + static_cast<size_t>(i) * width;
    const size_t at = static_cast<size_t>(i) * width;
    // Pixels share a chroma sample in pairs; the last sample also serves the
    // extra column of an odd width (and every pixel of a frame without chroma).
    const int pairs = hasChroma ? std::min(width / 2, cw) : 0;
    StorePairs(yRow, o.red.data(), pairs, out.r + at);
    StorePairs(yRow, o.green.data(), pairs, out.g + at);
    StorePairs(yRow, o.blue.data(), pairs, out.b + at);
    const int last = samples - 1;
    for (int j = 2 * pairs; j < width; ++j) {
      out.r[at + j] = Clamp255(yRow[j] + o.red[last]);
      out.g[at + j] = Clamp255(yRow[j] + o.green[last]);
      out.b[at + j] = Clamp255(yRow[j] + o.blue[last]);
    }
    for (int k : o.inDouble) {
      const int end = k == samples - 1 ? width : std::min(2 * k + 2, width);
      for (int j = std::min(2 * k, end); j < end; ++j) out.g[at + j] = GreenInDouble(yRow[j], uRow[k], vRow[k]);
    }
  }
}

void RgbToYuv(const RgbPlanes& in, YuvFrame& out) {
  const int width = out.width(), height = out.height();
  for (int i = 0; i < height; ++i) {
    const size_t at = static_cast<size_t>(i) * width;
    LumaRow(in.r + at, in.g + at, in.b + at, width, out.Y() + at);
  }
  const int cw = out.chromaWidth(), ch = out.chromaRows();
  thread_local std::vector<int16_t> u, v;  // per-pixel values of two rows
  u.resize(2 * static_cast<size_t>(width));
  v.resize(u.size());
  for (int cy = 0; cy < ch; ++cy) {
    for (int k = 0; k < 2; ++k) {
      const size_t at = static_cast<size_t>(2 * cy + k) * width;
      ChromaValues(in.r + at, in.g + at, in.b + at, width, u.data() + k * width, v.data() + k * width);
    }
    BlockSums(u.data(), u.data() + width, cw, out.U() + static_cast<size_t>(cy) * cw);
    BlockSums(v.data(), v.data() + width, cw, out.V() + static_cast<size_t>(cy) * cw);
  }
}

}  // namespace mivora
