#pragma once
// A watermark text's colour is kept as 0x00BBGGRR, the byte order saved
// lists and stored edits use; colour pickers, filters and the command line
// write 0xRRGGBB. Swapping red and blue turns either into the other.

#include <cstdint>

namespace mivora {

constexpr uint32_t SwapRedAndBlue(uint32_t colour) {
  return ((colour & 0xFF) << 16) | (colour & 0xFF00) | ((colour >> 16) & 0xFF);
}

// The kept colour as 0xRRGGBB.
constexpr uint32_t RgbOfTextColour(uint32_t kept) { return SwapRedAndBlue(kept); }
// 0xRRGGBB as the colour is kept.
constexpr uint32_t TextColourOfRgb(uint32_t rgb) { return SwapRedAndBlue(rgb & 0xFFFFFF); }

}  // namespace mivora
