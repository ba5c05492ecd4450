#pragma once
// A plain, slow restatement of the frame scaler's arithmetic, written apart
// from the library so that the two can be compared sample by sample.

#include <cstdint>
#include <vector>

namespace mivora::test {

struct RefFrame {
  int width = 0, height = 0;
  std::vector<uint8_t> y, u, v;  // u, v: (width / 2) x (height / 2)
};

struct RefCrop {
  int left, top, right, bottom;
};

// Output of cropping and scaling `source` to dw x dh; an empty result for a
// destination with a zero side.
RefFrame ReferenceResize(const RefFrame& source, int dw, int dh, RefCrop crop);
// The aligned crop region copied out unscaled.
RefFrame ReferenceCrop(const RefFrame& source, RefCrop crop);

}  // namespace mivora::test
