#include "editing/YuvRgb.h"

#include <algorithm>

namespace mivora {
namespace {

int FloorDiv(int a, int b) {
  int q = a / b;
  return (a % b != 0 && a < 0) ? q - 1 : q;
}

// Y + offset is the floor of the real-valued formula, which after clamping
// equals the truncated double result; only where the real green value is an
// integer can double rounding differ, so those pixels take the double path.
struct ForwardTables {
  int16_t red[256];
  int16_t blue[256];
};
const ForwardTables& Forward() {
  static const ForwardTables tables = [] {
    ForwardTables t;
    for (int i = 0; i < 256; ++i) {
      t.red[i] = static_cast<int16_t>(FloorDiv(14022 * (i - 128), 10000));
      t.blue[i] = static_cast<int16_t>(FloorDiv(1771 * (i - 128), 1000));
    }
    return t;
  }();
  return tables;
}

struct BackTables {
  float yr[256], yg[256], yb[256];
  float ur[256], ug[256];
  float vg[256], vb[256];
};
const BackTables& Back() {
  static const BackTables tables = [] {
    BackTables t;
    for (int i = 0; i < 256; ++i) {
      t.yr[i] = static_cast<float>(0.299 * i);
      t.yg[i] = static_cast<float>(0.587 * i);
      t.yb[i] = static_cast<float>(0.114 * i);
      t.ur[i] = static_cast<float>(0.1684 * i);
      t.ug[i] = static_cast<float>(0.3316 * i);
      t.vg[i] = static_cast<float>(0.4187 * i);
      t.vb[i] = static_cast<float>(0.0813 * i);
    }
    return t;
  }();
  return tables;
}

inline uint8_t Clamp255(int v) { return static_cast<uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v)); }

inline int Truncate255(float v) {
  int i = static_cast<int>(v);
  return i < 0 ? 0 : (i > 255 ? 255 : i);
}

}  // namespace

void YuvToRgb(const YuvFrame& in, uint8_t* rgb) {
  const ForwardTables& t = Forward();
  const int width = in.width(), height = in.height();
  const int cw = in.chromaWidth(), ch = in.chromaRows();
  const bool hasChroma = cw > 0 && ch > 0;
  for (int i = 0; i < height; ++i) {
    const uint8_t* yRow = in.Y() + static_cast<size_t>(i) * width;
    const size_t chromaRow = hasChroma ? static_cast<size_t>(std::min(i / 2, ch - 1)) * cw : 0;
    uint8_t* out = rgb + static_cast<size_t>(i) * width * 3;
    for (int j = 0; j < width; ++j) {
      int u = 128, v = 128;
      if (hasChroma) {
        const size_t k = chromaRow + static_cast<size_t>(std::min(j / 2, cw - 1));
        u = in.U()[k];
        v = in.V()[k];
      }
      const int y = yRow[j];
      const int numerator = -(7145 * (v - 128) + 3456 * (u - 128));
      int green = y + FloorDiv(numerator, 10000);
      if (numerator != 0 && numerator % 10000 == 0)
        green = static_cast<int>(y - 0.7145 * (v - 128) - 0.3456 * (u - 128));
      out[3 * j] = Clamp255(y + t.red[v]);
      out[3 * j + 1] = Clamp255(green);
      out[3 * j + 2] = Clamp255(y + t.blue[u]);
    }
  }
}

void RgbToYuv(const uint8_t* rgb, YuvFrame& out) {
  const BackTables& t = Back();
  const int width = out.width();
  for (size_t p = 0; p < out.lumaBytes(); ++p) {
    const uint8_t* px = rgb + 3 * p;
    out.Y()[p] = static_cast<uint8_t>(Truncate255(t.yr[px[0]] + t.yg[px[1]] + t.yb[px[2]]));
  }
  const int cw = out.chromaWidth(), ch = out.chromaRows();
  for (int cy = 0; cy < ch; ++cy) {
    for (int cx = 0; cx < cw; ++cx) {
      int uSum = 0, vSum = 0;
      for (int dy = 0; dy < 2; ++dy) {
        for (int dx = 0; dx < 2; ++dx) {
          const uint8_t* px = rgb + (static_cast<size_t>(2 * cy + dy) * width + 2 * cx + dx) * 3;
          const int r = px[0], g = px[1], b = px[2];
          uSum += Truncate255(static_cast<float>(b / 2) - (t.ur[r] + t.ug[g]) + 128.0f);
          vSum += Truncate255(static_cast<float>(r / 2) - t.vg[g] - t.vb[b] + 128.0f);
        }
      }
      out.U()[static_cast<size_t>(cy) * cw + cx] = static_cast<uint8_t>(uSum >> 2);
      out.V()[static_cast<size_t>(cy) * cw + cx] = static_cast<uint8_t>(vSum >> 2);
    }
  }
}

}  // namespace mivora
