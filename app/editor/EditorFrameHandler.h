#pragma once
// The editor's right pane, frame by frame: shows the output's frame fitted
// into the pane with its shape (OutputFrame: the picture's box, or a
// standard's frame with black bars), scales each frame the player hands over
// into the picture's place (through the crop rectangle when cropping is on),
// applies the colour values, the flips, the effect and the 3D mode in
// software, in the engine's order and with its tables, and draws the text and
// picture watermarks where the output will hold them.
//
// Thread ownership: the window's thread only (frames arrive on it).

#include <QImage>
#include <QSize>
#include <QString>
#include <set>
#include <string>

#include "editing/EditSettings.h"
#include "editing/EffectProcessor.h"
#include "editing/YuvFrame.h"
#include "preview/Glimra.h"
#include "profiles/OutputFrame.h"

namespace mivora {

class EditorFrameHandler {
 public:
  EditorFrameHandler() = default;
  ~EditorFrameHandler();
  EditorFrameHandler(const EditorFrameHandler&) = delete;
  EditorFrameHandler& operator=(const EditorFrameHandler&) = delete;

  // Renders one `width` x `height` frame with `edits` for a pane of
  // `paneSize`, whose sides are cut down to multiples of 8. The edits'
  // crop edges and positions are in pixels of the source frame of
  // `sourceSize`, which the frame shows (scaled down when the player had to
  // shrink it); an empty `sourceSize` means the frame's own size. A pane or
  // frame without area renders nothing. The frame is kept (the planes need
  // to live only during the call). `colour` says how the frame's codes become
  // colours (GLIMRA_YUV_*, as the player tells it).
  void Render(const EditSettings& edits, const YuvPlanes& planes, int width, int height, QSize sourceSize,
              QSize paneSize, int colour = GLIMRA_YUV_FULL_RANGE);
  void Render(const EditSettings& edits, const YuvPlanes& planes, int width, int height, QSize paneSize) {
    Render(edits, planes, width, height, QSize(), paneSize);
  }
  // Renders the kept frame again, for edits made while the player is paused
  // or stopped; nothing before the first frame.
  void Rerender(const EditSettings& edits, QSize paneSize);

  // The output's frame (the profile's) and the shape of the source's pixels
  // as shown (width : height); until set, the frame is the source's own
  // with square pixels.
  void SetOutputFormat(const FrameFormat& format, int sampleAspectNum = 1, int sampleAspectDen = 1);
  // The output frame of the last rendering, and where it and its picture lie
  // in the pane (the rest of the pane is black).
  const OutputFrame& Output() const { return output_; }
  QRect FrameInPane() const { return frameInPane_; }
  QRect PictureInPane() const { return pictureInPane_; }

  // The last rendered picture, pane-sized; null before the first frame.
  const QImage& Picture() const { return picture_; }
  // The last frame's size as handed over; 0 before the first frame.
  int FrameWidth() const { return frameWidth_; }
  int FrameHeight() const { return frameHeight_; }
  // The source frame the edits' pixels refer to.
  QSize SourceSize() const { return sourceSize_.isEmpty() ? QSize(frameWidth_, frameHeight_) : sourceSize_; }
  // How many scaling contexts were made so far.
  int ContextsMade() const { return contextsMade_; }

 private:
  struct CropKey {
    int enabled = -1, left = 0, top = 0, right = 0, bottom = 0;
    bool operator==(const CropKey&) const = default;
  };
  struct Region {
    int left, top, width, height;
  };
  static Region CropRegion(const EditSettings& edits, int width, int height);
  // `region` (source pixels) in the pixels of the handed-over frame, inside it.
  Region InFrame(const Region& region) const;
  void PrepareContext(const Region& frameRegion, QSize pane);
  void PlaceInPane(const Region& region, QSize pane);
  const YuvFrame& ApplyEffects(const EditSettings& edits);
  const YuvFrame& ComposeFrame(const YuvFrame& picture);
  void DrawText(const EditSettings& edits, const Region& region);
  void DrawPicture(const EditSettings& edits, const Region& region);

  ResizeContext* context_ = nullptr;
  CropKey cropKey_;          // the crop values the context was made for
  bool madeOnce_ = false;
  QSize contextFrame_, contextPane_;  // the sizes the context was made for
  int contextsMade_ = 0;

  int frameWidth_ = 0, frameHeight_ = 0;
  QSize sourceSize_;  // empty: the frame's own size
  YuvFrame source_;  // the last frame from the player
  int colour_ = GLIMRA_YUV_FULL_RANGE;  // how its codes become colours
  YuvFrame scaled_;  // the picture, at its size in the pane
  YuvFrame composed_;  // the output's frame at its size in the pane, bars included
  FrameFormat format_;
  int sampleAspectNum_ = 1, sampleAspectDen_ = 1;
  OutputFrame output_;
  QRect frameInPane_, pictureInPane_;
  QSize placedPane_;  // the pane they were placed in
  EffectProcessor effects_;
  QImage picture_;
  QImage watermark_;           // the loaded picture watermark
  std::string watermarkPath_;  // the path it was loaded from
  qint64 watermarkStamp_ = 0;  // that file's modification time then (0: none)
  std::set<std::string> unreadable_;  // pictures already reported as unreadable
};

}  // namespace mivora
