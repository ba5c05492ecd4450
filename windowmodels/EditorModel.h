#pragma once
// The editor window without the window: the working copy of one source's
// edits, what each page's controls do to it, the limits they keep, saving
// into the source's record and when closing asks to save. The desktop
// program shows these values and calls the On.../Set... operations; nothing
// here draws.
//
// Thread ownership: the user-interface thread only.

#include <memory>
#include <string>

#include "editing/EditSettings.h"

namespace mivora {

// Where the crop band lies on the left pane, in pane pixels.
struct PaneRect {
  int left = 0, top = 0, width = 0, height = 0;
  bool operator==(const PaneRect&) const = default;
};

// The crop page's four edges, in source pixels.
struct CropEdges {
  int left = 0, top = 0, right = 0, bottom = 0;
  int width() const { return right - left; }
  int height() const { return bottom - top; }
};

class EditorModel {
 public:
  static constexpr int kDefaultFrameWidth = 720;
  static constexpr int kDefaultFrameHeight = 480;
  static constexpr int kMinCropSide = 16;
  static constexpr size_t kMaxWatermarkChars = 511;
  static constexpr int kMinStereoDepth = -50;
  static constexpr int kMaxStereoDepth = 50;

  // `existing`: the source's record, copied into the working record (none:
  // all groups off). The frame size is the source's frame as shown: the
  // probed size, sides exchanged for a track turned a quarter; 0 means
  // unknown. Every position, limit and crop edge is in its pixels, whatever
  // size the player's frames reach the window at.
  EditorModel(const EditSettings* existing, int frameWidth, int frameHeight);

  const EditSettings& Working() const { return working_; }
  bool Changed() const { return changed_; }
  int FrameWidth() const { return frameWidth_; }
  int FrameHeight() const { return frameHeight_; }
  // False while the frame size is the default one (the probe gave none).
  bool FrameSizeKnown() const { return frameSizeKnown_; }
  // The source's frame as shown, when the player tells it (a source the
  // probe could not measure, or measured differently); the crop page follows
  // it while the crop group is off. Frames scaled down to fit the player's
  // block never come here.
  void SetFrameSize(int width, int height);

  // Saving (a page's "OK", or "Yes" to the close question): clears the
  // changed flag and writes the working record into `slot`, creating it when
  // null. With every group off the slot is emptied, so switched-off edits are
  // not applied any more. A picture whose file has gone is switched off
  // first. True when the slot holds edits afterwards.
  bool SaveInto(std::unique_ptr<EditSettings>& slot);
  // Closing asks "Do you want to save the changes?" only when this is true.
  bool ShouldAskOnClose() const { return changed_; }

  // Trim page. `clockText` is the time label's text (the player's elapsed time).
  void SetTrimStartFrom(const std::string& clockText);
  void SetTrimEndFrom(const std::string& clockText);
  void ResetTrim();
  std::string TrimStartText() const;
  std::string TrimEndText() const;
  std::string TrimLengthText() const;

  // Crop page: one edge at a time, clamped so the rectangle stays inside the
  // frame and at least kMinCropSide wide and high.
  const CropEdges& Crop() const { return crop_; }
  void SetCropLeft(int value);
  void SetCropTop(int value);
  void SetCropRight(int value);
  void SetCropBottom(int value);
  // The band drawn on a pane of the given size (any corner first). An empty
  // pane or a band without area (a plain click) changes nothing; false then.
  bool SetCropFromBand(const PaneRect& band, int paneWidth, int paneHeight);
  void ResetCrop();
  // Where the band is drawn for the current crop edges.
  PaneRect CropBand(int paneWidth, int paneHeight) const;

  // Effects page. Slider positions are -100..100.
  int BrightnessPosition() const { return working_.brightness; }
  int ContrastPosition() const { return working_.contrast - 100; }
  int SaturationPosition() const { return working_.saturation - 100; }
  void SetBrightness(int position);
  void SetContrast(int position);
  void SetSaturation(int position);
  void SetEffect(int index);
  void ToggleFlipHorizontal();
  void ToggleFlipVertical();
  void ResetEffects();
  std::string BrightnessLabel() const;
  std::string ContrastLabel() const;
  std::string SaturationLabel() const;

  // Text page.
  void SetWatermarkText(const std::string& text);  // keeps the first 511 characters
  // What the font dialog opens with.
  struct FontChoice {
    std::string face;
    int sizePixels = 0;
    uint32_t color = 0;  // 0x00BBGGRR
    int alpha = 0;
  };
  FontChoice FontDialogPreset() const;
  // The dialog ended with OK: the font, its file, and the text switched on.
  void ApplyFont(const FontChoice& choice);
  // False (value unchanged) when outside 0..frame width / height.
  bool SetTextLeft(int value);
  bool SetTextTop(int value);
  void ToggleTextEnabled();

  // Picture page. The window loads the chosen file to learn its size.
  enum class PictureChoice { kAccepted, kTooLarge, kUnreadable };
  PictureChoice ChoosePicture(const std::string& path, int width, int height);
  // "Sorry, the picture dimensions more then %d x %d" with the frame size.
  std::string PictureTooLargeMessage() const;
  // The page's Left and Top are the picture's position, clamped to
  // 0..frame size - picture size.
  void SetPictureLeft(int value);
  void SetPictureTop(int value);
  void TogglePictureEnabled();

  // 3D page: list entry 0 is "No 3D effect", entries 1..6 the modes.
  int StereoListIndex() const { return working_.stereoEnabled ? working_.stereoMode + 1 : 0; }
  void SetStereo(int listIndex, int depth);
  std::string StereoModeLabel() const;
  std::string StereoDepthLabel() const;

 private:
  void EdgesIntoRecord();
  void UpdateEffectsEnabled();
  void MarkChanged() { changed_ = true; }

  EditSettings working_;
  bool changed_ = false;
  int frameWidth_ = kDefaultFrameWidth;
  int frameHeight_ = kDefaultFrameHeight;
  bool frameSizeKnown_ = false;
  CropEdges crop_;
};

// "3D features: " and the entry's text.
extern const char* const kStereoListLabels[kStereoModeCount + 1];

}  // namespace mivora
