#pragma once
// The frame an output holds and where the picture lies in it, from the
// picture as it is shown (after the display matrix's turn, the sample aspect
// and the crop) and what the profile names (-s, -aspect, -target, the codec,
// its group). The engine adapter builds its scaling from this, and the
// editor's right pane draws the same frame.
//
// - A frame a standard fixes (the disc formats, DV, H.261, any target): the
//   frame stays as named, with the display aspect named (4:3 when none), and
//   the picture is fitted inside it, centred, with black bars.
// - Any other frame size is a box: a landscape picture fits inside W x H, a
//   portrait one inside H x W; the frame is the picture, square pixels, both
//   sides even (or a multiple of what the encoder needs, the remainder black).
// - No frame size: the source's frame as it comes, as before.

#include <string>
#include <string_view>

namespace mivora {

// A picture's size in pixels and the shape of one pixel (width : height).
struct PictureShape {
  int width = 0, height = 0;
  int sampleAspectNum = 1, sampleAspectDen = 1;
  // Width over height as shown; 0 for a picture without area.
  double DisplayAspect() const;
};

// What a profile says about its frame.
struct FrameFormat {
  int width = 0, height = 0;         // 0 x 0: no frame size (the source's own)
  int aspectNum = 0, aspectDen = 0;  // the display aspect named; 0: none
  bool fixedByStandard = false;
  int alignment = 2;  // both sides of the frame are multiples of this
};

struct OutputFrame {
  bool keepsSource = true;  // no frame size: nothing is scaled
  int width = 0, height = 0;  // the encoded frame
  int aspectNum = 1, aspectDen = 1;  // its display aspect, reduced
  // Where the picture lies, in frame pixels; the rest is black.
  int pictureLeft = 0, pictureTop = 0, pictureWidth = 0, pictureHeight = 0;

  bool HasBars() const { return pictureWidth != width || pictureHeight != height; }
  // Width over height of the whole frame as shown.
  double DisplayAspect() const { return static_cast<double>(aspectNum) / aspectDen; }
};

// Frame sizes the target standards fix ("ntsc-dvd" 720 x 480, ...); false
// for an unknown target.
bool TargetFrameSize(std::string_view target, int* width, int* height);
// "640x480" or "640*480"; false for anything else.
bool ParseFrameSize(std::string_view text, int* width, int* height);
// "4:3", "16:9" or a decimal ratio ("1.7778"); false for "Auto" and the like.
bool ParseDisplayAspect(std::string_view text, int* num, int* den);

// The format from the option values: `size` (-s), `aspect` (-aspect),
// `target` (-target) and `videoEncoder` (the engine's codec name);
// `discGroup` is true for the profiles of the disc group.
FrameFormat MakeFrameFormat(std::string_view size, std::string_view aspect, std::string_view target,
                            std::string_view videoEncoder, bool discGroup);

OutputFrame FitOutputFrame(const FrameFormat& format, const PictureShape& picture);

}  // namespace mivora
