#pragma once
// One YUV 4:2:0 frame in a single buffer: width x height bytes of Y, then U
// and V of (width x height) / 4 bytes each. Chroma rows are width / 2
// samples wide and there are height / 2 of them; for odd sizes the planes end
// with a few bytes beyond that grid, which the effects carry along unchanged.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace mivora {

class YuvFrame {
 public:
  YuvFrame() = default;
  YuvFrame(int width, int height);

  int width() const { return width_; }
  int height() const { return height_; }
  int chromaWidth() const { return width_ / 2; }
  int chromaRows() const { return height_ / 2; }
  size_t lumaBytes() const { return static_cast<size_t>(width_) * static_cast<size_t>(height_); }
  size_t chromaBytes() const { return lumaBytes() / 4; }

  uint8_t* Y() { return data_.data(); }
  uint8_t* U() { return data_.data() + lumaBytes(); }
  uint8_t* V() { return U() + chromaBytes(); }
  const uint8_t* Y() const { return data_.data(); }
  const uint8_t* U() const { return data_.data() + lumaBytes(); }
  const uint8_t* V() const { return U() + chromaBytes(); }

  bool SameSize(const YuvFrame& other) const {
    return width_ == other.width_ && height_ == other.height_;
  }

 private:
  int width_ = 0;
  int height_ = 0;
  std::vector<uint8_t> data_;
};

}  // namespace mivora
