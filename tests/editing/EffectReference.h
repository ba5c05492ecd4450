#pragma once
// The preview effects restated pixel by pixel, apart from the processor, for
// comparing the two on random frames.

#include <cstdint>
#include <vector>

namespace mivora::test {

struct Picture {
  int width = 0, height = 0;
  std::vector<uint8_t> y, u, v;  // u, v: (width * height) / 4 bytes each
  int cw() const { return width / 2; }
  int ch() const { return height / 2; }
};

Picture RefFlipVertical(const Picture& in);
Picture RefFlipHorizontal(const Picture& in);
Picture RefUnsharp(const Picture& in, int amount);
Picture RefInvert(const Picture& in);
Picture RefFlipColor(const Picture& in);
Picture RefGray(const Picture& in);
Picture RefAgedFilm(const Picture& in);
Picture RefColour(const Picture& in, int brightness, int contrast, int saturation);
Picture RefStereo(const Picture& in, int mode, int depth);

}  // namespace mivora::test
