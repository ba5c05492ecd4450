#include "editing/EffectProcessor.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "editing/YuvRgb.h"

#include "editing/VectorKernel.h"

namespace mivora {
namespace {

constexpr uint8_t kBlackLuma = 16;  // black in limited-range YUV



// Bytes of a chroma plane beyond its (width / 2) x (height / 2) grid (odd
// sizes only) pass through unchanged.
void CopyChromaTail(const YuvFrame& in, YuvFrame& out) {
  const size_t grid = static_cast<size_t>(in.chromaWidth()) * in.chromaRows();
  const size_t tail = in.chromaBytes() - grid;
  std::memcpy(out.U() + grid, in.U() + grid, tail);
  std::memcpy(out.V() + grid, in.V() + grid, tail);
}

void FlipRows(const uint8_t* in, uint8_t* out, int width, int rows) {
  for (int r = 0; r < rows; ++r)
    std::memcpy(out + static_cast<size_t>(r) * width,
                in + static_cast<size_t>(rows - 1 - r) * width, static_cast<size_t>(width));
}

MIVORA_VECTOR_KERNEL void MirrorRows(const uint8_t* in, uint8_t* out, int width, int rows) {
  for (int r = 0; r < rows; ++r) {
    const uint8_t* __restrict src = in + static_cast<size_t>(r) * width + (width - 1);
    uint8_t* __restrict dst = out + static_cast<size_t>(r) * width;
    for (int x = 0; x < width; ++x) dst[x] = src[-x];
  }
}

// Maps every byte through a table of 256 values.
MIVORA_VECTOR_KERNEL void MapBytes(const uint8_t* __restrict in, uint8_t* __restrict out, size_t count,
              const uint8_t* __restrict table) {
  for (size_t i = 0; i < count; ++i) out[i] = table[in[i]];
}

// One row of the interleaved mode: column x takes column x + shift; columns
// that are `blank` get `fill`.
void ShiftRow(const uint8_t* src, uint8_t* dst, int width, int shift, int blankLeft, int blankRight,
              uint8_t fill) {
  // Columns x with x >= blankLeft, x < blankRight and 0 <= x + shift < width.
  const int first = std::clamp(std::max(blankLeft, -shift), 0, width);
  const int end = std::clamp(std::min(blankRight, width - shift), first, width);
  std::memset(dst, fill, static_cast<size_t>(first));
  std::memcpy(dst + first, src + first + shift, static_cast<size_t>(end - first));
  std::memset(dst + end, fill, static_cast<size_t>(width - end));
}

// Output columns x of one half (count of them: `columns`) show the source
// row squeezed to half width (every second column) and moved by `shift`:
// column x takes source column 2 (x + shift); where x + shift leaves the
// half picture (or the row), it is `fill`, as the engine pads it.
MIVORA_VECTOR_KERNEL void HalfRow(const uint8_t* __restrict src, uint8_t* __restrict dst, int columns,
                                  int width, int shift, uint8_t fill) {
  const int first = std::clamp(-shift, 0, columns);
  const int end = std::clamp(std::min(columns, (width + 1) / 2) - shift, first, columns);
  std::memset(dst, fill, static_cast<size_t>(first));
  for (int x = first; x < end; ++x) dst[x] = src[2 * (x + shift)];
  std::memset(dst + end, fill, static_cast<size_t>(columns - end));
}

// One row of the side-by-side mode for a plane of `width` samples: the left
// half moved by +shift, the right half by -shift.
void SideBySideRow(const uint8_t* src, uint8_t* dst, int width, int shift, uint8_t fill) {
  const int half = width / 2;
  HalfRow(src, dst, half, width, shift, fill);
  HalfRow(src, dst + half, width - half, width, -shift, fill);
}

// The engine's anaglyphs convert limited-range YUV to full-range RGB and back;
// the preview's conversion works on full-range values, so it is wrapped in
// these range changes.
struct RangeTables {
  uint8_t expandLuma[256], expandChroma[256], compressLuma[256], compressChroma[256];
};
const RangeTables& Ranges() {
  static const RangeTables tables = [] {
    RangeTables t{};
    auto clamp = [](double v) { return static_cast<uint8_t>(std::clamp(std::lround(v), 0L, 255L)); };
    for (int i = 0; i < 256; ++i) {
      t.expandLuma[i] = clamp((i - 16) * 255.0 / 219);
      t.expandChroma[i] = clamp((i - 128) * 255.0 / 224 + 128);
      t.compressLuma[i] = clamp(16 + i * 219.0 / 255);
      t.compressChroma[i] = clamp(128 + (i - 128) * 224.0 / 255);
    }
    return t;
  }();
  return tables;
}

// Vertical 1 4 6 4 1 sums of one row.
MIVORA_VECTOR_KERNEL void ColumnSums(const uint8_t* const* rows, uint16_t* __restrict sums, int width) {
  const uint8_t* __restrict r0 = rows[0];
  const uint8_t* __restrict r1 = rows[1];
  const uint8_t* __restrict r2 = rows[2];
  const uint8_t* __restrict r3 = rows[3];
  const uint8_t* __restrict r4 = rows[4];
  for (int x = 0; x < width; ++x)
    sums[x] = static_cast<uint16_t>(r0[x] + 4 * r1[x] + 6 * r2[x] + 4 * r3[x] + r4[x]);
}

// Horizontal 1 4 6 4 1 over padded column sums (sums[-2 .. width + 1]),
// blurred = (sum + 128) >> 8, output input + (input - blurred) * factor,
// clamped. The sums stay below 65536, so 16-bit lanes suffice.
MIVORA_VECTOR_KERNEL void UnsharpRow(const uint8_t* __restrict src, const uint16_t* __restrict sums,
                                     uint8_t* __restrict dst, int width, int16_t factor) {
  for (int x = 0; x < width; ++x) {
    const uint16_t sum = static_cast<uint16_t>(sums[x - 2] + 4 * sums[x - 1] + 6 * sums[x] +
                                               4 * sums[x + 1] + sums[x + 2]);
    const int16_t blurred = static_cast<int16_t>((sum + 128u) >> 8);
    const int16_t value = static_cast<int16_t>(src[x] + (src[x] - blurred) * factor);
    dst[x] = static_cast<uint8_t>(value < 0 ? 0 : (value > 255 ? 255 : value));
  }
}

}  // namespace

YuvFrame& EffectProcessor::Output(Slot slot, const YuvFrame& in) {
  std::unique_ptr<YuvFrame>& frame = outputs_[slot];
  if (!frame || !frame->SameSize(in)) frame = std::make_unique<YuvFrame>(in.width(), in.height());
  return *frame;
}

const YuvFrame& EffectProcessor::FlipVertical(const YuvFrame& in) {
  YuvFrame& out = Output(kFlipV, in);
  if (in.lumaBytes() == 0) return out;
  FlipRows(in.Y(), out.Y(), in.width(), in.height());
  FlipRows(in.U(), out.U(), in.chromaWidth(), in.chromaRows());
  FlipRows(in.V(), out.V(), in.chromaWidth(), in.chromaRows());
  CopyChromaTail(in, out);
  return out;
}

const YuvFrame& EffectProcessor::FlipHorizontal(const YuvFrame& in) {
  YuvFrame& out = Output(kFlipH, in);
  if (in.lumaBytes() == 0) return out;
  MirrorRows(in.Y(), out.Y(), in.width(), in.height());
  MirrorRows(in.U(), out.U(), in.chromaWidth(), in.chromaRows());
  MirrorRows(in.V(), out.V(), in.chromaWidth(), in.chromaRows());
  CopyChromaTail(in, out);
  return out;
}

const YuvFrame& EffectProcessor::Sharpen(const YuvFrame& in) { return UnsharpMask(kSharpen, in, 3); }

const YuvFrame& EffectProcessor::Blur(const YuvFrame& in) { return UnsharpMask(kBlur, in, -1); }

// Luma unsharp mask: the blurred sample is the 5 x 5 binomial (1 4 6 4 1)
// sum over the neighbourhood, edges repeated, rounded >> 8; the output is
// input + ((input - blurred) * amount >> 16), clamped, with amount = factor x
// 65536 (3 sharpens, -1 blurs), which is exactly input + (input - blurred) x
// factor. Chroma is copied.
const YuvFrame& EffectProcessor::UnsharpMask(Slot slot, const YuvFrame& in, int factor) {
  YuvFrame& out = Output(slot, in);
  if (in.lumaBytes() == 0) return out;
  const int width = in.width(), height = in.height();
  std::memcpy(out.U(), in.U(), 2 * in.chromaBytes());
  columnSums_.assign(static_cast<size_t>(width) + 4, 0);
  uint16_t* sums = columnSums_.data() + 2;  // sums[-2 .. width + 1]
  for (int r = 0; r < height; ++r) {
    const uint8_t* rows[5];
    for (int k = 0; k < 5; ++k)
      rows[k] = in.Y() + static_cast<size_t>(std::clamp(r + k - 2, 0, height - 1)) * width;
    ColumnSums(rows, sums, width);
    sums[-2] = sums[-1] = sums[0];
    sums[width] = sums[width + 1] = sums[width - 1];
    const uint8_t* src = in.Y() + static_cast<size_t>(r) * width;
    uint8_t* dst = out.Y() + static_cast<size_t>(r) * width;
    UnsharpRow(src, sums, dst, width, factor);
  }
  return out;
}

namespace {

// The engine's "negval" of 8-bit limited-range YUV: a sample clipped to its
// range (luma 16..235, chroma 16..240) and mirrored inside it.
const uint8_t* NegatedLuma() {
  static const auto table = [] {
    std::array<uint8_t, 256> t{};
    for (int i = 0; i < 256; ++i) t[i] = static_cast<uint8_t>(235 + 16 - std::clamp(i, 16, 235));
    return t;
  }();
  return table.data();
}
const uint8_t* NegatedChroma() {
  static const auto table = [] {
    std::array<uint8_t, 256> t{};
    for (int i = 0; i < 256; ++i) t[i] = static_cast<uint8_t>(240 + 16 - std::clamp(i, 16, 240));
    return t;
  }();
  return table.data();
}

// Luma that a lutyuv table leaves alone is still clipped to 16..235.
const uint8_t* ClippedLuma() {
  static const auto table = [] {
    std::array<uint8_t, 256> t{};
    for (int i = 0; i < 256; ++i) t[i] = static_cast<uint8_t>(std::clamp(i, 16, 235));
    return t;
  }();
  return table.data();
}

}  // namespace

// Effect 3: all three planes negated, as the engine does.
const YuvFrame& EffectProcessor::Invert(const YuvFrame& in) {
  YuvFrame& out = Output(kInvert, in);
  if (in.lumaBytes() == 0) return out;
  MapBytes(in.Y(), out.Y(), in.lumaBytes(), NegatedLuma());
  MapBytes(in.U(), out.U(), 2 * in.chromaBytes(), NegatedChroma());
  return out;
}

// Effect 4: luma kept (clipped), both chroma planes negated, as the engine does.
const YuvFrame& EffectProcessor::FlipColor(const YuvFrame& in) {
  YuvFrame& out = Output(kFlipColor, in);
  if (in.lumaBytes() == 0) return out;
  MapBytes(in.Y(), out.Y(), in.lumaBytes(), ClippedLuma());
  MapBytes(in.U(), out.U(), 2 * in.chromaBytes(), NegatedChroma());
  return out;
}

const YuvFrame& EffectProcessor::Gray(const YuvFrame& in) {
  YuvFrame& out = Output(kGray, in);
  if (in.lumaBytes() == 0) return out;
  MapBytes(in.Y(), out.Y(), in.lumaBytes(), ClippedLuma());
  std::memset(out.U(), 128, 2 * in.chromaBytes());
  return out;
}

const YuvFrame& EffectProcessor::AgedFilm(const YuvFrame& in) {
  YuvFrame& out = Output(kAged, in);
  if (in.lumaBytes() == 0) return out;
  MapBytes(in.Y(), out.Y(), in.lumaBytes(), ClippedLuma());
  std::memset(out.U(), 116, in.chromaBytes());
  std::memset(out.V(), 134, in.chromaBytes());
  return out;
}

// The engine's colour table: Y' = (Y - 16) k / 100 + b + 16 and C' = (C - 128)
// k s / 10000 + 128 for both chroma planes (saturation 100 included),
// evaluated in double precision, truncated toward zero and clamped to 0..255.
const YuvFrame& EffectProcessor::Colour(const YuvFrame& in, int brightness, int contrast,
                                        int saturation) {
  YuvFrame& out = Output(kColour, in);
  if (in.lumaBytes() == 0) return out;
  auto clamped = [](double value) {
    if (!(value > 0)) return uint8_t{0};  // NaN too
    return value >= 255 ? uint8_t{255} : static_cast<uint8_t>(static_cast<int>(value));
  };
  uint8_t luma[256], chroma[256];
  for (int i = 0; i < 256; ++i) {
    luma[i] = clamped((i - 16.0) * contrast / 100 + brightness + 16);
    chroma[i] = clamped((i - 128.0) * contrast * saturation / 10000 + 128);
  }
  MapBytes(in.Y(), out.Y(), in.lumaBytes(), luma);
  MapBytes(in.U(), out.U(), 2 * in.chromaBytes(), chroma);
  return out;
}

const YuvFrame& EffectProcessor::Stereo(const YuvFrame& in, int mode, int depth) {
  YuvFrame& out = Output(k3D, in);
  if (in.lumaBytes() == 0) return out;
  const int width = in.width(), height = in.height();
  const int cw = in.chromaWidth(), ch = in.chromaRows();
  // Keep |depth| meaningful without overflow; anything past the frame blanks it.
  depth = std::clamp(depth, -65536, 65536);
  switch (mode) {
    case 0:
    case 1:
    case 2:
    case 3:
      Anaglyph(in, mode, depth, out);
      CopyChromaTail(in, out);
      break;
    case 4: {
      // Even rows read to the right by depth, odd rows to the left; columns
      // whose source leaves the row are black, as the engine pads them.
      for (int r = 0; r < height; ++r)
        ShiftRow(in.Y() + static_cast<size_t>(r) * width, out.Y() + static_cast<size_t>(r) * width,
                 width, r % 2 == 0 ? depth : -depth, 0, width, kBlackLuma);
      const int cd = depth / 2;
      for (int r = 0; r < ch; ++r) {
        const size_t offset = static_cast<size_t>(r) * cw;
        const int shift = r % 2 == 0 ? cd : -cd;
        ShiftRow(in.U() + offset, out.U() + offset, cw, shift, 0, cw, 128);
        ShiftRow(in.V() + offset, out.V() + offset, cw, shift, 0, cw, 128);
      }
      CopyChromaTail(in, out);
      break;
    }
    case 5: {
      // Each half moves by depth / 2 of its own (half-width) columns; chroma
      // columns are half as many.
      const int halfDepth = depth / 2;
      for (int r = 0; r < height; ++r)
        SideBySideRow(in.Y() + static_cast<size_t>(r) * width,
                      out.Y() + static_cast<size_t>(r) * width, width, halfDepth, kBlackLuma);
      for (int r = 0; r < ch; ++r) {
        const size_t offset = static_cast<size_t>(r) * cw;
        SideBySideRow(in.U() + offset, out.U() + offset, cw, halfDepth / 2, 128);
        SideBySideRow(in.V() + offset, out.V() + offset, cw, halfDepth / 2, 128);
      }
      CopyChromaTail(in, out);
      break;
    }
    default:
      std::memcpy(out.Y(), in.Y(), in.lumaBytes() + 2 * in.chromaBytes());
      break;
  }
  return out;
}

// Anaglyphs: with d = |depth|, columns x < d and x >= width - d are black
// (they lack the partner pixel); elsewhere "near" is column x + d and "far"
// column x - d for depth > 0, the other way round for depth <= 0.
void EffectProcessor::Anaglyph(const YuvFrame& in, int mode, int depth, YuvFrame& out) {
  const int width = in.width(), height = in.height();
  // Two R, G, B buffers (three planes each), kept between calls like the
  // output frames.
  const size_t plane = in.lumaBytes();
  rgb_.resize(3 * plane);
  shifted_.resize(3 * plane);
  const RgbPlanes source{rgb_.data(), rgb_.data() + plane, rgb_.data() + 2 * plane};
  const RgbPlanes result{shifted_.data(), shifted_.data() + plane, shifted_.data() + 2 * plane};
  YuvFrame& full = Output(kFullRange, in);
  const RangeTables& range = Ranges();
  MapBytes(in.Y(), full.Y(), in.lumaBytes(), range.expandLuma);
  MapBytes(in.U(), full.U(), 2 * in.chromaBytes(), range.expandChroma);
  YuvToRgb(full, source);
  const int d = std::abs(depth);
  const int nearShift = depth > 0 ? d : -d;
  // Which colours come from the near pixel, which from the far one, which are 0.
  enum Take { kNear, kFar, kZero };
  static constexpr Take kTakes[4][3] = {
      {kNear, kFar, kFar},   // red / cyan
      {kNear, kFar, kZero},  // red / green
      {kNear, kZero, kFar},  // red / blue
      {kFar, kFar, kNear},   // blue / yellow
  };
  const uint8_t* from[3] = {source.r, source.g, source.b};
  uint8_t* to[3] = {result.r, result.g, result.b};
  // Columns d .. width - d - 1 have both partners inside the row.
  const int first = std::min(d, width), end = std::max(width - d, first);
  for (int c = 0; c < 3; ++c) {
    const Take take = kTakes[mode][c];
    const int shift = take == kNear ? nearShift : -nearShift;
    for (int r = 0; r < height; ++r) {
      const size_t at = static_cast<size_t>(r) * width;
      uint8_t* dst = to[c] + at;
      std::memset(dst, 0, static_cast<size_t>(first));
      std::memset(dst + end, 0, static_cast<size_t>(width - end));
      if (take == kZero)
        std::memset(dst + first, 0, static_cast<size_t>(end - first));
      else if (end > first)
        std::memcpy(dst + first, from[c] + at + first + shift, static_cast<size_t>(end - first));
    }
  }
  RgbToYuv(result, out);
  auto compress = [](uint8_t* bytes, size_t count, const uint8_t* table) {
    for (size_t i = 0; i < count; ++i) bytes[i] = table[bytes[i]];
  };
  compress(out.Y(), out.lumaBytes(), range.compressLuma);
  const size_t grid = static_cast<size_t>(out.chromaWidth()) * out.chromaRows();
  compress(out.U(), grid, range.compressChroma);
  compress(out.V(), grid, range.compressChroma);
}

}  // namespace mivora
