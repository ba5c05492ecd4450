#pragma once
// YUV 4:2:0 to 24-bit BGR, bottom-up rows padded to 4 bytes.
//
// Full-range frames: each colour is computed as in floating point (blue = Y +
// 1.771 (U-128), green = Y - 0.3456 (U-128) - 0.7145 (V-128), red = Y +
// 1.4022 (V-128)), truncated toward zero and clamped to 0..255; the result is
// bit-exact with that double-precision evaluation for every Y, U and V.
//
// TV-range frames (Y 16..235, U and V 16..240) are expanded as a screen shows
// them, with the matrix they were made with: colour = 255/219 (Y-16) + the
// matrix's chroma terms scaled by 255/224, in fixed point with 6 fractional
// bits, rounded to the nearest and clamped (within 1 of the exact value).

#include <cstdint>

namespace mivora {

constexpr int kMaxBitmapSide = 32768;

// How a frame's YUV codes become colours. The numbers are the player's
// frame colour codes (platform/PlayerSharedBlock.h) and the library's
// GLIMRA_YUV_* values.
enum class YuvColour { kFullRange = 0, kTvBt601 = 1, kTvBt709 = 2, kTvBt2020 = 3 };
// A code from outside (the shared block, the C interface) as a YuvColour;
// unknown codes are drawn as full range.
YuvColour YuvColourFromCode(int code);

// width * 3 rounded up to a multiple of 4; 0 for a width outside 0..32768.
int BitmapStride(int width);

// Writes BitmapStride(width) x height bytes (padding bytes 0). Chroma of a
// pixel is sample (x / 2, y / 2); the extra right column or bottom row of an
// odd-sized frame uses the last chroma column or row, and a frame without
// chroma samples (width or height 1) is drawn as grey levels.
void ConvertYuv420ToBgr(const uint8_t* y, const uint8_t* u, const uint8_t* v, int width, int height,
                        uint8_t* bits, YuvColour colour = YuvColour::kFullRange);

// Whether the AVX2 kernels are used (chosen from the processor at start-up;
// tests switch it to compare both).
bool ConverterUsesAvx2();
void SetConverterUsesAvx2(bool use);

}  // namespace mivora
