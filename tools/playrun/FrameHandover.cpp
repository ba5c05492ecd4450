#include "tools/playrun/FrameHandover.h"

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/pixfmt.h>
#include <libswscale/swscale.h>
}

#include <cstring>

#include "platform/PlayerSharedBlock.h"

namespace mivora::playrun {
namespace {

void CopyPlane(const uint8_t* source, int sourceStride, uint8_t* target, int width, int rows) {
  for (int row = 0; row < rows; ++row)
    std::memcpy(target + static_cast<size_t>(row) * width,
                source + static_cast<ptrdiff_t>(row) * sourceStride, static_cast<size_t>(width));
}

// The scaler would squeeze full-range (JPEG) formats into TV range; the
// frame keeps its codes instead, and its colour says which range they are.
void KeepRange(SwsContext* scaler) {
  int *inverse = nullptr, *table = nullptr;
  int sourceRange = 0, targetRange = 0, brightness = 0, contrast = 0, saturation = 0;
  if (sws_getColorspaceDetails(scaler, &inverse, &sourceRange, &table, &targetRange, &brightness, &contrast,
                               &saturation) < 0 ||
      sourceRange == targetRange)
    return;
  sws_setColorspaceDetails(scaler, inverse, sourceRange, table, sourceRange, brightness, contrast, saturation);
}

}  // namespace

FrameHandover::~FrameHandover() { sws_freeContext(scaler_); }

FrameSize FrameHandover::Prepare(const AVFrame* frame) {
  pending_ = nullptr;
  if (frame->width <= 0 || frame->height <= 0) return {};
  size_ = FitFrameSize(frame->width, frame->height);
  const AVPixelFormat format = static_cast<AVPixelFormat>(frame->format);
  fullRange_ = frame->color_range == AVCOL_RANGE_JPEG || format == AV_PIX_FMT_YUVJ420P ||
               format == AV_PIX_FMT_YUVJ422P || format == AV_PIX_FMT_YUVJ444P || format == AV_PIX_FMT_YUVJ440P ||
               format == AV_PIX_FMT_YUVJ411P;
  direct_ = frame->format == AV_PIX_FMT_YUV420P && size_.width == (frame->width & ~1) &&
            size_.height == (frame->height & ~1);
  if (!direct_) {
    // A conversion at the same size uses the filter ffmpeg's own pixel
    // format conversion uses; shrinking a large frame takes the cheaper one
    // so that large videos keep their pace. Odd sides of a frame that is not
    // 4:2:0 are scaled to the even size.
    const bool shrinking = size_.width < (frame->width & ~1) || size_.height < (frame->height & ~1);
    scaler_ = sws_getCachedContext(scaler_, frame->width, frame->height,
                                   static_cast<AVPixelFormat>(frame->format), size_.width,
                                   size_.height, AV_PIX_FMT_YUV420P,
                                   shrinking ? SWS_BILINEAR : SWS_BICUBIC, nullptr, nullptr, nullptr);
    if (scaler_ == nullptr) return {};
    KeepRange(scaler_);
    const size_t luma = static_cast<size_t>(size_.width) * size_.height;
    // Room behind the planes for the scaler's wide stores.
    staging_.resize(playerblock::FrameBytes(size_.width, size_.height) + 64);
    uint8_t* planes[4] = {staging_.data(), staging_.data() + luma, staging_.data() + luma + luma / 4,
                          nullptr};
    int strides[4] = {size_.width, size_.width / 2, size_.width / 2, 0};
    if (sws_scale(scaler_, frame->data, frame->linesize, 0, frame->height, planes, strides) <= 0)
      return {};
  }
  pending_ = frame;
  return size_;
}

void FrameHandover::Write() {
  if (pending_ == nullptr) return;
  const int width = size_.width, height = size_.height;
  const size_t luma = static_cast<size_t>(width) * height;
  if (direct_) {
    CopyPlane(pending_->data[0], pending_->linesize[0], area_, width, height);
    CopyPlane(pending_->data[1], pending_->linesize[1], area_ + luma, width / 2, height / 2);
    CopyPlane(pending_->data[2], pending_->linesize[2], area_ + luma + luma / 4, width / 2,
              height / 2);
  } else {
    std::memcpy(area_, staging_.data(), playerblock::FrameBytes(width, height));
  }
  pending_ = nullptr;
}

}  // namespace mivora::playrun
