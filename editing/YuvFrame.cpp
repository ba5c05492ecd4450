#include "editing/YuvFrame.h"

namespace mivora {

YuvFrame::YuvFrame(int width, int height) {
  if (width <= 0 || height <= 0) return;
  width_ = width;
  height_ = height;
  data_.assign(lumaBytes() + 2 * chromaBytes(), 0);
}

}  // namespace mivora
