#pragma once
// The editor's live preview of the edits: each operation reads one pane-sized
// YUV 4:2:0 frame and returns the processor's own output frame for that
// operation. Output frames live until the next call and are re-created only
// when the incoming frame's size changes; the processor owns them, and the
// scratch buffers too, so a frame of unchanged size allocates nothing.
//
// The colour table, invert and flip colour do exactly what the engine's
// lutyuv filters do to the output, so that the pane shows the file.

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "editing/YuvFrame.h"

namespace mivora {

class EffectProcessor {
 public:
  const YuvFrame& FlipVertical(const YuvFrame& in);
  const YuvFrame& FlipHorizontal(const YuvFrame& in);
  const YuvFrame& Sharpen(const YuvFrame& in);  // effect 1
  const YuvFrame& Blur(const YuvFrame& in);     // effect 2
  const YuvFrame& Invert(const YuvFrame& in);   // effect 3
  const YuvFrame& FlipColor(const YuvFrame& in);  // effect 4
  const YuvFrame& Gray(const YuvFrame& in);     // effect 5
  const YuvFrame& AgedFilm(const YuvFrame& in);  // effect 6
  // Brightness, contrast and saturation as the edit settings store them
  // (contrast and saturation in percent); chroma is scaled by contrast x
  // saturation, as the engine does.
  const YuvFrame& Colour(const YuvFrame& in, int brightness, int contrast, int saturation);
  // Modes 0-3 anaglyphs, 4 interleaved, 5 side by side, as the engine makes
  // them (colours through full-range RGB, black where a view has no
  // picture); any other mode returns a copy of the frame.
  const YuvFrame& Stereo(const YuvFrame& in, int mode, int depth);

 private:
  enum Slot { kFlipV, kFlipH, kSharpen, kBlur, kColour, kInvert, kGray, kAged, kFlipColor, k3D, kFullRange, kSlots };
  YuvFrame& Output(Slot slot, const YuvFrame& in);
  const YuvFrame& UnsharpMask(Slot slot, const YuvFrame& in, int factor);
  void Anaglyph(const YuvFrame& in, int mode, int depth, YuvFrame& out);

  std::array<std::unique_ptr<YuvFrame>, kSlots> outputs_;
  std::vector<uint16_t> columnSums_;  // scratch of the 5 x 5 mask, one padded row
  std::vector<uint8_t> rgb_, shifted_;  // scratch of the anaglyphs, width x height x 3
};

}  // namespace mivora
