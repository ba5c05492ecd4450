#pragma once
// Puts decoded video frames into the shared block's frame area as tightly
// packed YUV 4:2:0 at the size FitFrameSize gives. A 4:2:0 frame that needs
// no scaling is copied plane by plane straight from the decoder (bit-exact);
// any other frame is converted (and scaled down when too large) by
// libswscale into a staging copy first, so that work overlaps the window's
// drawing of the previous frame.

#include <cstdint>
#include <vector>

#include "tools/playrun/FrameFit.h"

struct AVFrame;
struct SwsContext;

namespace mivora::playrun {

class FrameHandover {
 public:
  explicit FrameHandover(uint8_t* frameArea) : area_(frameArea) {}
  ~FrameHandover();
  FrameHandover(const FrameHandover&) = delete;
  FrameHandover& operator=(const FrameHandover&) = delete;

  // Gets `frame` ready for the block and returns the size it will have
  // there; {0, 0} when it cannot be handed over. `frame` must stay unchanged
  // until Write.
  FrameSize Prepare(const AVFrame* frame);
  // Writes the prepared frame into the frame area.
  void Write();
  // Whether the prepared frame's codes are full range (the conversion keeps
  // the source's range).
  bool FullRange() const { return fullRange_; }

 private:
  uint8_t* const area_;
  const AVFrame* pending_ = nullptr;
  bool direct_ = false;
  bool fullRange_ = false;
  FrameSize size_;
  SwsContext* scaler_ = nullptr;
  std::vector<uint8_t> staging_;  // Y, U, V tightly packed at size_
};

}  // namespace mivora::playrun
