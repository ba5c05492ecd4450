#include "preview/YuvToBgr.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <cstring>
#include <vector>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define MIVORA_HAVE_X86 1
#endif

namespace mivora {
namespace {

// What each colour adds to Y for one chroma sample. With the real-valued
// formulas, Y + offset floored and then clamped equals the truncated and
// clamped double result (clamping makes floor and truncation agree below 0).
// The offsets are n / 1000 or n / 10000 for integers n, so the real value is
// at least 1e-4 away from an integer unless it is one; double rounding can
// only matter in that last case, which happens for green alone (red and blue
// are never integers for U, V != 128). Those samples are listed and their
// pixels recomputed in double precision.
struct ChromaRow {
  std::vector<int16_t> blue, green, red;  // chroma width + 1 (last repeated)
  std::vector<int> exact;                 // samples whose green takes the double path
};

int FloorDiv(int a, int b) {
  int q = a / b;
  return (a % b != 0 && a < 0) ? q - 1 : q;
}

int BlueNumerator(int u) { return 1771 * (u - 128); }   // / 1000
int RedNumerator(int v) { return 14022 * (v - 128); }   // / 10000
int GreenNumerator(int u, int v) { return -(3456 * (u - 128) + 7145 * (v - 128)); }  // / 10000

uint8_t Clamp255(int value) { return static_cast<uint8_t>(value < 0 ? 0 : (value > 255 ? 255 : value)); }

uint8_t GreenAsDouble(int y, int u, int v) {
  double g = y - 0.3456 * (u - 128) - 0.7145 * (v - 128);
  return Clamp255(static_cast<int>(g));
}

bool DetectAvx2() {
#ifdef MIVORA_HAVE_X86
  return __builtin_cpu_supports("avx2");
#else
  return false;
#endif
}
std::atomic<bool> g_useAvx2{DetectAvx2()};

void PrepareSamplesPortable(const uint8_t* u, const uint8_t* v, int first, int end, ChromaRow& row) {
  for (int k = first; k < end; ++k) {
    const int n = GreenNumerator(u[k], v[k]);
    row.blue[k] = static_cast<int16_t>(FloorDiv(BlueNumerator(u[k]), 1000));
    row.red[k] = static_cast<int16_t>(FloorDiv(RedNumerator(v[k]), 10000));
    row.green[k] = static_cast<int16_t>(FloorDiv(n, 10000));
    if (n != 0 && n % 10000 == 0) row.exact.push_back(k);
  }
}

void StorePixelsPortable(const uint8_t* y, const ChromaRow& row, int first, int end, uint8_t* out) {
  for (int j = first; j < end; ++j) {
    const int k = j / 2;
    out[3 * j] = Clamp255(y[j] + row.blue[k]);
    out[3 * j + 1] = Clamp255(y[j] + row.green[k]);
    out[3 * j + 2] = Clamp255(y[j] + row.red[k]);
  }
}

// ---- TV range: colour * 64 = LumaTerm(Y) + offset(U, V), rounded by the
// offset's +32, shifted down by 6 and clamped. ----
constexpr int kTvFractionBits = 6;
// Y * 19077 / 256 is Y * 64 * 255 / 219 (to 1 in 10,000).
constexpr int kTvLumaFactor = 19077;
inline int TvLumaTerm(int y) { return (y * kTvLumaFactor) >> 8; }

// Each colour's chroma weights in 1/1024 of the TV-range output units (64 per
// level), and the constant every colour carries: -16 scaled as luma is, and
// the half that rounds the final shift.
struct TvWeights {
  int red, greenU, greenV, blue;  // red from V, blue from U, green from both
  int constant;
};

TvWeights MakeTvWeights(double kr, double kb) {
  const double kg = 1 - kr - kb;
  const double scale = 64.0 * 1024 * 255.0 / 224.0;
  auto weight = [scale](double w) { return static_cast<int>(std::lround(w * scale)); };
  const int constant = -static_cast<int>(std::lround(16 * 64.0 * 255.0 / 219.0)) + 32;
  return {weight(2 * (1 - kr)), weight(-2 * kb * (1 - kb) / kg), weight(-2 * kr * (1 - kr) / kg),
          weight(2 * (1 - kb)), constant};
}

const TvWeights& TvWeightsFor(YuvColour colour) {
  static const std::array<TvWeights, 3> weights = {MakeTvWeights(0.299, 0.114), MakeTvWeights(0.2126, 0.0722),
                                                   MakeTvWeights(0.2627, 0.0593)};
  switch (colour) {
    case YuvColour::kTvBt709: return weights[1];
    case YuvColour::kTvBt2020: return weights[2];
    default: return weights[0];
  }
}

// The offsets of one chroma sample (the same integer steps as the AVX2 path).
inline int TvOffset(int weightedSum, int constant) { return ((weightedSum + 512) >> 10) + constant; }

void PrepareSamplesTv(const uint8_t* u, const uint8_t* v, int first, int end, const TvWeights& w, ChromaRow& row) {
  for (int k = first; k < end; ++k) {
    const int cb = u[k] - 128, cr = v[k] - 128;
    row.blue[k] = static_cast<int16_t>(TvOffset(w.blue * cb, w.constant));
    row.red[k] = static_cast<int16_t>(TvOffset(w.red * cr, w.constant));
    row.green[k] = static_cast<int16_t>(TvOffset(w.greenU * cb + w.greenV * cr, w.constant));
  }
}

void StorePixelsTvPortable(const uint8_t* y, const ChromaRow& row, int first, int end, uint8_t* out) {
  for (int j = first; j < end; ++j) {
    const int k = j / 2, luma = TvLumaTerm(y[j]);
    out[3 * j] = Clamp255((luma + row.blue[k]) >> kTvFractionBits);
    out[3 * j + 1] = Clamp255((luma + row.green[k]) >> kTvFractionBits);
    out[3 * j + 2] = Clamp255((luma + row.red[k]) >> kTvFractionBits);
  }
}

#ifdef MIVORA_HAVE_X86
// Floor of n / d for 8 integers |n| < 2^24: exact in single precision, as the
// quotient is either an integer or at least 1e-4 away from one.
__attribute__((target("avx2"))) inline __m256i FloorDivide(__m256i n, float d) {
  __m256 q = _mm256_div_ps(_mm256_cvtepi32_ps(n), _mm256_set1_ps(d));
  return _mm256_cvttps_epi32(_mm256_floor_ps(q));
}

__attribute__((target("avx2"))) inline void Store8(int16_t* out, __m256i values) {
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out),
                   _mm_packs_epi32(_mm256_castsi256_si128(values), _mm256_extracti128_si256(values, 1)));
}

// 8 chroma samples, widened, less their midpoint 128.
__attribute__((target("avx2"))) inline __m256i Centred8(const uint8_t* samples) {
  return _mm256_sub_epi32(_mm256_cvtepu8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(samples))),
                          _mm256_set1_epi32(128));
}

// Returns the first sample not done.
__attribute__((target("avx2"))) int PrepareSamplesAvx2(const uint8_t* u, const uint8_t* v, int count,
                                                       ChromaRow& row) {
  int k = 0;
  for (; k + 8 <= count; k += 8) {
    const __m256i uu = Centred8(u + k);
    const __m256i vv = Centred8(v + k);
    const __m256i nb = _mm256_mullo_epi32(uu, _mm256_set1_epi32(1771));
    const __m256i nr = _mm256_mullo_epi32(vv, _mm256_set1_epi32(14022));
    const __m256i ng = _mm256_sub_epi32(_mm256_setzero_si256(),
                                        _mm256_add_epi32(_mm256_mullo_epi32(uu, _mm256_set1_epi32(3456)),
                                                         _mm256_mullo_epi32(vv, _mm256_set1_epi32(7145))));
    const __m256i qg = FloorDivide(ng, 10000.0f);
    Store8(&row.blue[k], FloorDivide(nb, 1000.0f));
    Store8(&row.red[k], FloorDivide(nr, 10000.0f));
    Store8(&row.green[k], qg);
    const __m256i whole = _mm256_cmpeq_epi32(_mm256_mullo_epi32(qg, _mm256_set1_epi32(10000)), ng);
    const __m256i zero = _mm256_cmpeq_epi32(ng, _mm256_setzero_si256());
    int mask = _mm256_movemask_ps(_mm256_castsi256_ps(_mm256_andnot_si256(zero, whole)));
    while (mask != 0) {
      row.exact.push_back(k + __builtin_ctz(static_cast<unsigned>(mask)));
      mask &= mask - 1;
    }
  }
  return k;
}

// TvOffset of 8 weighted sums.
__attribute__((target("avx2"))) inline __m256i TvOffset8(__m256i sum, __m256i constant) {
  return _mm256_add_epi32(_mm256_srai_epi32(_mm256_add_epi32(sum, _mm256_set1_epi32(512)), 10), constant);
}

// TV-range offsets of 8 samples at a time; returns the first sample not done.
__attribute__((target("avx2"))) int PrepareSamplesTvAvx2(const uint8_t* u, const uint8_t* v, int count,
                                                         const TvWeights& w, ChromaRow& row) {
  const __m256i constant = _mm256_set1_epi32(w.constant);
  int k = 0;
  for (; k + 8 <= count; k += 8) {
    const __m256i cb = Centred8(u + k);
    const __m256i cr = Centred8(v + k);
    Store8(&row.blue[k], TvOffset8(_mm256_mullo_epi32(cb, _mm256_set1_epi32(w.blue)), constant));
    Store8(&row.red[k], TvOffset8(_mm256_mullo_epi32(cr, _mm256_set1_epi32(w.red)), constant));
    Store8(&row.green[k], TvOffset8(_mm256_add_epi32(_mm256_mullo_epi32(cb, _mm256_set1_epi32(w.greenU)),
                                                     _mm256_mullo_epi32(cr, _mm256_set1_epi32(w.greenV))),
                                    constant));
  }
  return k;
}

// Byte shuffles that interleave 16 blue, green and red bytes into 48 BGR bytes.
struct InterleaveMasks {
  alignas(16) int8_t mask[3][3][16];  // [output block][channel][byte]
  InterleaveMasks() {
    for (int block = 0; block < 3; ++block)
      for (int channel = 0; channel < 3; ++channel)
        for (int m = 0; m < 16; ++m) {
          const int i = 16 * block + m;
          mask[block][channel][m] = static_cast<int8_t>(i % 3 == channel ? i / 3 : -128);
        }
  }
};
const InterleaveMasks g_masks;

// One colour of 16 pixels: Y + offset (full range), or the TV expansion.
template <bool kTv>
__attribute__((target("avx2"))) inline __m128i Colour16(__m128i low, __m128i high, __m128i o) {
  __m128i a = _mm_unpacklo_epi16(o, o), b = _mm_unpackhi_epi16(o, o);
  if constexpr (kTv) {
    // Saturating: a sum beyond the int16 range is beyond 255 anyway.
    a = _mm_srai_epi16(_mm_adds_epi16(low, a), kTvFractionBits);
    b = _mm_srai_epi16(_mm_adds_epi16(high, b), kTvFractionBits);
    return _mm_packus_epi16(a, b);
  }
  return _mm_packus_epi16(_mm_add_epi16(low, a), _mm_add_epi16(high, b));
}

// Returns the first pixel not done.
template <bool kTv>
__attribute__((target("avx2"))) int StorePixelsAvx2(const uint8_t* y, const ChromaRow& row, int width,
                                                    uint8_t* out) {
  __m128i masks[3][3];
  for (int b = 0; b < 3; ++b)
    for (int c = 0; c < 3; ++c) masks[b][c] = _mm_load_si128(reinterpret_cast<const __m128i*>(g_masks.mask[b][c]));
  const int16_t* offsets[3] = {row.blue.data(), row.green.data(), row.red.data()};
  const __m128i lumaFactor = _mm_set1_epi16(static_cast<int16_t>(kTvLumaFactor));
  int j = 0;
  for (; j + 16 <= width; j += 16) {
    const __m128i luma = _mm_loadu_si128(reinterpret_cast<const __m128i*>(y + j));
    __m128i low = _mm_cvtepu8_epi16(luma);
    __m128i high = _mm_cvtepu8_epi16(_mm_srli_si128(luma, 8));
    if constexpr (kTv) {
      // (Y << 8) * factor >> 16 is TvLumaTerm(Y).
      low = _mm_mulhi_epu16(_mm_slli_epi16(low, 8), lumaFactor);
      high = _mm_mulhi_epu16(_mm_slli_epi16(high, 8), lumaFactor);
    }
    __m128i channel[3];
    for (int c = 0; c < 3; ++c)
      channel[c] = Colour16<kTv>(low, high, _mm_loadu_si128(reinterpret_cast<const __m128i*>(offsets[c] + j / 2)));
    for (int b = 0; b < 3; ++b) {
      const __m128i bgr = _mm_or_si128(
          _mm_or_si128(_mm_shuffle_epi8(channel[0], masks[b][0]), _mm_shuffle_epi8(channel[1], masks[b][1])),
          _mm_shuffle_epi8(channel[2], masks[b][2]));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 3 * j + 16 * b), bgr);
    }
  }
  return j;
}
#endif

void PrepareChromaRow(const uint8_t* u, const uint8_t* v, int count, YuvColour colour, ChromaRow& row) {
  row.exact.clear();
  if (colour != YuvColour::kFullRange) {
    const TvWeights& weights = TvWeightsFor(colour);
    int done = 0;
#ifdef MIVORA_HAVE_X86
    if (g_useAvx2.load(std::memory_order_relaxed)) done = PrepareSamplesTvAvx2(u, v, count, weights, row);
#endif
    PrepareSamplesTv(u, v, done, count, weights, row);
  } else {
    int done = 0;
#ifdef MIVORA_HAVE_X86
    if (g_useAvx2.load(std::memory_order_relaxed)) done = PrepareSamplesAvx2(u, v, count, row);
#endif
    PrepareSamplesPortable(u, v, done, count, row);
  }
  // The extra column of an odd width uses the last chroma column.
  row.blue[count] = row.blue[count - 1];
  row.green[count] = row.green[count - 1];
  row.red[count] = row.red[count - 1];
}

void StoreRow(const uint8_t* y, const ChromaRow& row, int width, bool tv, uint8_t* out) {
  int done = 0;
#ifdef MIVORA_HAVE_X86
  if (g_useAvx2.load(std::memory_order_relaxed))
    done = tv ? StorePixelsAvx2<true>(y, row, width, out) : StorePixelsAvx2<false>(y, row, width, out);
#endif
  if (tv)
    StorePixelsTvPortable(y, row, done, width, out);
  else
    StorePixelsPortable(y, row, done, width, out);
}

}  // namespace

YuvColour YuvColourFromCode(int code) {
  switch (code) {
    case static_cast<int>(YuvColour::kTvBt601): return YuvColour::kTvBt601;
    case static_cast<int>(YuvColour::kTvBt709): return YuvColour::kTvBt709;
    case static_cast<int>(YuvColour::kTvBt2020): return YuvColour::kTvBt2020;
    default: return YuvColour::kFullRange;
  }
}

bool ConverterUsesAvx2() { return g_useAvx2.load(); }
void SetConverterUsesAvx2(bool use) { g_useAvx2.store(use && DetectAvx2()); }

int BitmapStride(int width) {
  if (width < 0 || width > kMaxBitmapSide) return 0;
  return (width * 3 + 3) / 4 * 4;
}

void ConvertYuv420ToBgr(const uint8_t* y, const uint8_t* u, const uint8_t* v, int width, int height,
                        uint8_t* bits, YuvColour colour) {
  if (width <= 0 || height <= 0 || width > kMaxBitmapSide || height > kMaxBitmapSide) return;
  const int stride = BitmapStride(width);
  const int chromaWidth = width / 2, chromaRows = height / 2;
  const bool hasChroma = chromaWidth > 0 && chromaRows > 0;
  // Offsets are indexed by x / 2, so they cover width / 2 + 1 samples.
  const size_t samples = static_cast<size_t>(width / 2) + 1;
  ChromaRow row{std::vector<int16_t>(samples, 0), std::vector<int16_t>(samples, 0),
                std::vector<int16_t>(samples, 0), {}};
  const bool tv = colour != YuvColour::kFullRange;
  // A frame without chroma samples is grey: every U and V is 128.
  // (Full range: the offsets are then 0, as they start.)
  if (!hasChroma && tv) {
    const int16_t grey = static_cast<int16_t>(TvOffset(0, TvWeightsFor(colour).constant));
    for (auto* offsets : {&row.blue, &row.green, &row.red}) std::fill(offsets->begin(), offsets->end(), grey);
  }
  int preparedRow = -1;
  const uint8_t* uRow = u;
  const uint8_t* vRow = v;
  for (int i = 0; i < height; ++i) {
    const int chromaRow = hasChroma ? std::min(i / 2, chromaRows - 1) : 0;
    if (hasChroma && chromaRow != preparedRow) {
      preparedRow = chromaRow;
      uRow = u + static_cast<size_t>(chromaRow) * static_cast<size_t>(chromaWidth);
      vRow = v + static_cast<size_t>(chromaRow) * static_cast<size_t>(chromaWidth);
      PrepareChromaRow(uRow, vRow, chromaWidth, colour, row);
    }
    const uint8_t* yRow = y + static_cast<size_t>(i) * static_cast<size_t>(width);
    uint8_t* out = bits + static_cast<size_t>(height - 1 - i) * static_cast<size_t>(stride);
    StoreRow(yRow, row, width, tv, out);
    std::memset(out + 3 * width, 0, static_cast<size_t>(stride - 3 * width));
    for (int k : row.exact) {
      for (int j = 2 * k; j < std::min(2 * k + 2, width); ++j)
        out[3 * j + 1] = GreenAsDouble(yRow[j], uRow[k], vRow[k]);
      // The extra column of an odd width shares the last chroma sample.
      if (k == chromaWidth - 1 && width % 2 == 1)
        out[3 * (width - 1) + 1] = GreenAsDouble(yRow[width - 1], uRow[k], vRow[k]);
    }
  }
}

}  // namespace mivora
