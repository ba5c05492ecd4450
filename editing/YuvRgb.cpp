#include "editing/YuvRgb.h"

#include <algorithm>
#include <cstdint>

namespace mivora {
namespace {

int FloorDiv(int a, int b) {
  int q = a / b;
  return (a % b != 0 && a < 0) ? q - 1 : q;
}

// Y + offset is the floor of the real-valued formula, which after clamping
// equals the truncated double result. The offsets are n / 1000 or n / 10000
// for integers n, so the real value is at least 1e-4 away from an integer
// unless it is one; only then (and only for green) can double rounding differ,
// and those (U, V) pairs are marked to take the double path per pixel.
constexpr int16_t kGreenInDouble = INT16_MIN;
struct ForwardTables {
  int16_t red[256];
  int16_t blue[256];
  int16_t green[256 * 256];  // index U * 256 + V
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
        t->green[u * 256 + v] =
            (n != 0 && n % 10000 == 0) ? kGreenInDouble : static_cast<int16_t>(FloorDiv(n, 10000));
      }
    return t;
  }();
  return *tables;
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

namespace {

inline void StorePixel(int y, int u, int v, const ForwardTables& t, uint8_t* out) {
  const int green = t.green[u * 256 + v];
  out[0] = Clamp255(y + t.red[v]);
  out[1] = green == kGreenInDouble ? Clamp255(static_cast<int>(y - 0.7145 * (v - 128) - 0.3456 * (u - 128)))
                                   : Clamp255(y + green);
  out[2] = Clamp255(y + t.blue[u]);
}

}  // namespace

void YuvToRgb(const YuvFrame& in, uint8_t* rgb) {
  const ForwardTables& t = Forward();
  const int width = in.width(), height = in.height();
  const int cw = in.chromaWidth(), ch = in.chromaRows();
  for (int i = 0; i < height; ++i) {
    const uint8_t* yRow = in.Y() + static_cast<size_t>(i) * width;
    uint8_t* out = rgb + static_cast<size_t>(i) * width * 3;
    if (cw == 0 || ch == 0) {
      for (int j = 0; j < width; ++j) StorePixel(yRow[j], 128, 128, t, out + 3 * j);
      continue;
    }
    // Pixels share a chroma sample in pairs; the extra column of an odd
    // width and the extra row of an odd height use the last one.
    const size_t chromaRow = static_cast<size_t>(std::min(i / 2, ch - 1)) * cw;
    const uint8_t* uRow = in.U() + chromaRow;
    const uint8_t* vRow = in.V() + chromaRow;
    for (int k = 0; k < cw; ++k) {
      StorePixel(yRow[2 * k], uRow[k], vRow[k], t, out + 6 * k);
      StorePixel(yRow[2 * k + 1], uRow[k], vRow[k], t, out + 6 * k + 3);
    }
    if (width % 2 == 1) StorePixel(yRow[width - 1], uRow[cw - 1], vRow[cw - 1], t, out + 3 * (width - 1));
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
