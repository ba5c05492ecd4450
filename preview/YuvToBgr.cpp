#include "preview/YuvToBgr.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace mivora {
namespace {

int FloorDiv(int a, int b) {
  int q = a / b;
  return (a % b != 0 && (a < 0)) ? q - 1 : q;
}

// Per chroma sample: what each colour adds to Y. Y + offset is the exact
// floor of the real-valued formula, and clamping makes floor and truncation
// agree; double rounding can only matter where the real green value is an
// integer, so those (U, V) pairs are marked and recomputed per pixel.
struct ChromaOffsets {
  int16_t blue[256];
  int16_t red[256];
};
const ChromaOffsets& Offsets() {
  static const ChromaOffsets offsets = [] {
    ChromaOffsets o;
    for (int i = 0; i < 256; ++i) {
      o.blue[i] = static_cast<int16_t>(FloorDiv(1771 * (i - 128), 1000));
      o.red[i] = static_cast<int16_t>(FloorDiv(14022 * (i - 128), 10000));
    }
    return o;
  }();
  return offsets;
}

inline int GreenNumerator(int u, int v) { return -(3456 * (u - 128) + 7145 * (v - 128)); }

uint8_t Clamp255(int value) { return static_cast<uint8_t>(std::clamp(value, 0, 255)); }

uint8_t GreenAsDouble(int y, int u, int v) {
  double g = y - 0.3456 * (u - 128) - 0.7145 * (v - 128);
  return Clamp255(static_cast<int>(g));
}

// One bitmap row from one luma row and per-pixel colour offsets.
__attribute__((target_clones("avx2", "default"))) void StoreRow(const uint8_t* y,
                                                                 const int16_t* blue,
                                                                 const int16_t* green,
                                                                 const int16_t* red, int width,
                                                                 uint8_t* out) {
  for (int j = 0; j < width; ++j) {
    int luma = y[j];
    int b = luma + blue[j], g = luma + green[j], r = luma + red[j];
    out[3 * j] = static_cast<uint8_t>(b < 0 ? 0 : (b > 255 ? 255 : b));
    out[3 * j + 1] = static_cast<uint8_t>(g < 0 ? 0 : (g > 255 ? 255 : g));
    out[3 * j + 2] = static_cast<uint8_t>(r < 0 ? 0 : (r > 255 ? 255 : r));
  }
}

}  // namespace

int BitmapStride(int width) {
  if (width < 0 || width > kMaxBitmapSide) return 0;
  return (width * 3 + 3) / 4 * 4;
}

void ConvertYuv420ToBgr(const uint8_t* y, const uint8_t* u, const uint8_t* v, int width, int height,
                        uint8_t* bits) {
  if (width <= 0 || height <= 0 || width > kMaxBitmapSide || height > kMaxBitmapSide) return;
  const ChromaOffsets& offsets = Offsets();
  const int stride = BitmapStride(width);
  const int chromaWidth = width / 2, chromaRows = height / 2;
  const bool hasChroma = chromaWidth > 0 && chromaRows > 0;
  std::vector<int16_t> blue(static_cast<size_t>(width), 0), green(blue), red(blue);
  std::vector<uint8_t> exact(static_cast<size_t>(width), 0);  // pixel needs the double path
  int preparedRow = -1;
  bool anyExact = false;
  for (int i = 0; i < height; ++i) {
    const int chromaRow = hasChroma ? std::min(i / 2, chromaRows - 1) : 0;
    if (hasChroma && chromaRow != preparedRow) {
      preparedRow = chromaRow;
      anyExact = false;
      const uint8_t* uRow = u + static_cast<size_t>(chromaRow) * static_cast<size_t>(chromaWidth);
      const uint8_t* vRow = v + static_cast<size_t>(chromaRow) * static_cast<size_t>(chromaWidth);
      for (int j = 0; j < width; ++j) {
        const int k = std::min(j / 2, chromaWidth - 1);
        const int uu = uRow[k], vv = vRow[k];
        const int numerator = GreenNumerator(uu, vv);
        blue[j] = offsets.blue[uu];
        red[j] = offsets.red[vv];
        green[j] = static_cast<int16_t>(FloorDiv(numerator, 10000));
        exact[j] = numerator != 0 && numerator % 10000 == 0;
        anyExact |= exact[j] != 0;
      }
    }
    const uint8_t* yRow = y + static_cast<size_t>(i) * static_cast<size_t>(width);
    uint8_t* out = bits + static_cast<size_t>(height - 1 - i) * static_cast<size_t>(stride);
    StoreRow(yRow, blue.data(), green.data(), red.data(), width, out);
    std::memset(out + 3 * width, 0, static_cast<size_t>(stride - 3 * width));
    if (anyExact) {
      const uint8_t* uRow = u + static_cast<size_t>(chromaRow) * static_cast<size_t>(chromaWidth);
      const uint8_t* vRow = v + static_cast<size_t>(chromaRow) * static_cast<size_t>(chromaWidth);
      for (int j = 0; j < width; ++j) {
        if (!exact[j]) continue;
        const int k = std::min(j / 2, chromaWidth - 1);
        out[3 * j + 1] = GreenAsDouble(yRow[j], uRow[k], vRow[k]);
      }
    }
  }
}

}  // namespace mivora
