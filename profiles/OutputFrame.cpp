#include "profiles/OutputFrame.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <numeric>

namespace mivora {
namespace {

// The standards' frames know 4:3 and 16:9; 4:3 is what they assume.
constexpr int kStandardAspectNum = 4, kStandardAspectDen = 3;

bool ParsePositive(std::string_view text, int* value) {
  if (text.empty() || text.size() > 6 || text.find_first_not_of("0123456789") != std::string_view::npos)
    return false;
  *value = std::atoi(std::string(text).c_str());
  return *value > 0;
}

// The nearest multiple of `step`, at least `step` and at most `limit` (itself
// a multiple of `step`).
int NearestMultiple(double value, int step, int limit) {
  int rounded = static_cast<int>(std::lround(value / step)) * step;
  return std::clamp(rounded, step, std::max(step, limit));
}

int DownTo(int value, int step) { return value / step * step; }
int UpTo(int value, int step) { return (value + step - 1) / step * step; }

void Reduce(int* num, int* den) {
  const int divisor = std::gcd(*num, *den);
  if (divisor > 1) *num /= divisor, *den /= divisor;
}

// Centres the picture, on even pixels so that 4:2:0 chroma stays aligned.
void Centre(OutputFrame* frame) {
  frame->pictureLeft = DownTo((frame->width - frame->pictureWidth) / 2, 2);
  frame->pictureTop = DownTo((frame->height - frame->pictureHeight) / 2, 2);
}

// The picture (aspect `a`) at the largest even size inside a box of
// `boxWidth` x `boxHeight` pixels whose pixels are `pixelAspect` wide.
void FitInside(double a, int boxWidth, int boxHeight, double pixelAspect, OutputFrame* frame) {
  const int width = std::max(2, DownTo(boxWidth, 2)), height = std::max(2, DownTo(boxHeight, 2));
  if (a >= width * pixelAspect / height) {
    frame->pictureWidth = width;
    frame->pictureHeight = NearestMultiple(width * pixelAspect / a, 2, height);
  } else {
    frame->pictureHeight = height;
    frame->pictureWidth = NearestMultiple(height * a / pixelAspect, 2, width);
  }
}

OutputFrame FitFixed(const FrameFormat& format, double a) {
  OutputFrame frame;
  frame.keepsSource = false;
  frame.width = format.width;
  frame.height = format.height;
  frame.aspectNum = format.aspectNum > 0 ? format.aspectNum : kStandardAspectNum;
  frame.aspectDen = format.aspectNum > 0 ? format.aspectDen : kStandardAspectDen;
  Reduce(&frame.aspectNum, &frame.aspectDen);
  const double pixelAspect = frame.DisplayAspect() * frame.height / frame.width;
  FitInside(a, frame.width, frame.height, pixelAspect, &frame);
  Centre(&frame);
  return frame;
}

OutputFrame FitBox(const FrameFormat& format, double a) {
  const int longSide = std::max(format.width, format.height);
  const int shortSide = std::min(format.width, format.height);
  const int boxWidth = a >= 1 ? longSide : shortSide;
  const int boxHeight = a >= 1 ? shortSide : longSide;
  const int step = std::max(2, format.alignment);
  OutputFrame frame;
  frame.keepsSource = false;
  FitInside(a, boxWidth, boxHeight, 1.0, &frame);
  // An encoder that takes only multiples of `step` gets the picture with a
  // thin black edge rather than a stretched one.
  frame.width = std::min(UpTo(frame.pictureWidth, step), std::max(step, DownTo(boxWidth, step)));
  frame.height = std::min(UpTo(frame.pictureHeight, step), std::max(step, DownTo(boxHeight, step)));
  frame.pictureWidth = std::min(frame.pictureWidth, frame.width);
  frame.pictureHeight = std::min(frame.pictureHeight, frame.height);
  frame.aspectNum = frame.width;
  frame.aspectDen = frame.height;
  Reduce(&frame.aspectNum, &frame.aspectDen);
  Centre(&frame);
  return frame;
}

}  // namespace

double PictureShape::DisplayAspect() const {
  if (width <= 0 || height <= 0 || sampleAspectNum <= 0 || sampleAspectDen <= 0) return 0;
  return static_cast<double>(width) * sampleAspectNum / (static_cast<double>(height) * sampleAspectDen);
}

bool TargetFrameSize(std::string_view target, int* width, int* height) {
  const size_t dash = target.find('-');
  if (dash == std::string_view::npos) return false;
  const std::string_view system = target.substr(0, dash), disc = target.substr(dash + 1);
  const bool pal = system == "pal";
  if (!pal && system != "ntsc" && system != "film") return false;
  const int lines = pal ? 576 : 480;
  if (disc == "dvd") *width = 720, *height = lines;
  else if (disc == "svcd") *width = 480, *height = lines;
  else if (disc == "vcd") *width = 352, *height = pal ? 288 : 240;
  else return false;
  return true;
}

bool ParseFrameSize(std::string_view text, int* width, int* height) {
  const size_t cross = text.find_first_of("x*");
  if (cross == std::string_view::npos) return false;
  return ParsePositive(text.substr(0, cross), width) && ParsePositive(text.substr(cross + 1), height);
}

bool ParseDisplayAspect(std::string_view text, int* num, int* den) {
  const size_t colon = text.find(':');
  if (colon != std::string_view::npos)
    return ParsePositive(text.substr(0, colon), num) && ParsePositive(text.substr(colon + 1), den);
  if (text.empty() || text.size() > 12 || text.find_first_not_of("0123456789.") != std::string_view::npos)
    return false;
  const double ratio = std::strtod(std::string(text).c_str(), nullptr);  // digits and a point only
  if (!(ratio > 0.01 && ratio < 100)) return false;
  *num = static_cast<int>(std::lround(ratio * 10000));
  *den = 10000;
  Reduce(num, den);
  return true;
}

FrameFormat MakeFrameFormat(std::string_view size, std::string_view aspect, std::string_view target,
                            std::string_view videoEncoder, bool discGroup) {
  FrameFormat format;
  // H.261 knows two frame sizes only; DV and the disc targets one each.
  format.fixedByStandard =
      discGroup || !target.empty() || videoEncoder == "dvvideo" || videoEncoder == "h261";
  if (videoEncoder == "rv10") format.alignment = 16;
  else if (videoEncoder == "rv20" || videoEncoder == "h263p" || videoEncoder == "msvideo1") format.alignment = 4;
  const bool sized = !target.empty() ? TargetFrameSize(target, &format.width, &format.height)
                                     : ParseFrameSize(size, &format.width, &format.height);
  if (!sized) format.width = format.height = 0;
  if (!ParseDisplayAspect(aspect, &format.aspectNum, &format.aspectDen)) format.aspectNum = format.aspectDen = 0;
  return format;
}

OutputFrame FitOutputFrame(const FrameFormat& format, const PictureShape& picture) {
  const double a = picture.DisplayAspect();
  if (format.width <= 0 || format.height <= 0 || a <= 0) {
    OutputFrame same;
    same.width = same.pictureWidth = std::max(picture.width, 0);
    same.height = same.pictureHeight = std::max(picture.height, 0);
    if (a > 0) {
      same.aspectNum = picture.width * picture.sampleAspectNum;
      same.aspectDen = picture.height * picture.sampleAspectDen;
      Reduce(&same.aspectNum, &same.aspectDen);
    }
    return same;
  }
  return format.fixedByStandard ? FitFixed(format, a) : FitBox(format, a);
}

}  // namespace mivora
