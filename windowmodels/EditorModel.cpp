#include "windowmodels/EditorModel.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "common/Format.h"
#include "editing/FontLookup.h"

namespace mivora {

const char* const kStereoListLabels[kStereoModeCount + 1] = {
    "No 3D effect", "Red / Cyan", "Red / Green", "Red / Blue", "Blue / Yellow", "Interleaved",
    "Side By Side"};

namespace {

constexpr int kDefaultFontSize = 24;
constexpr int kOpaque = 255;
constexpr const char* kDefaultFace = "Arial";

std::string Labelled(const char* label, int value) {
  char text[64];
  std::snprintf(text, sizeof text, "%s: %d", label, value);
  return text;
}

// The first `count` characters of a UTF-8 text (continuation bytes never
// start a character, so a character is never cut in half).
std::string FirstCharacters(const std::string& text, size_t count) {
  size_t characters = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    bool starts = (static_cast<unsigned char>(text[i]) & 0xC0) != 0x80;
    if (starts && characters++ == count) return text.substr(0, i);
  }
  return text;
}

int Scale(int value, int to, int from) { return static_cast<int>(RoundHalfAway(double(value) * to / from)); }

}  // namespace

EditorModel::EditorModel(const EditSettings* existing, int frameWidth, int frameHeight) {
  if (existing) working_ = *existing;
  if (frameWidth > 0 && frameHeight > 0) {
    frameWidth_ = frameWidth;
    frameHeight_ = frameHeight;
    frameSizeKnown_ = true;
  }
  if (working_.cropEnabled)
    crop_ = {working_.cropLeft, working_.cropTop, working_.cropRight, working_.cropBottom};
  else
    crop_ = {0, 0, frameWidth_, frameHeight_};
  if (!working_.effectsEnabled) {
    working_.brightness = 0;
    working_.contrast = 100;
    working_.saturation = 100;
  }
  if (!working_.stereoEnabled) working_.stereoDepth = 0;  // the depth slider starts at 0
}

void EditorModel::SetFrameSize(int width, int height) {
  if (width <= 0 || height <= 0) return;
  frameWidth_ = width;
  frameHeight_ = height;
  frameSizeKnown_ = true;
  if (!working_.cropEnabled) crop_ = {0, 0, width, height};
}

bool EditorModel::SaveInto(std::unique_ptr<EditSettings>& slot) {
  changed_ = false;
  working_.BuildEditArguments();  // switches a picture whose file has gone off
  const EditSettings& w = working_;
  bool any = w.trimEnabled || w.cropEnabled || w.effectsEnabled || w.textEnabled || w.pictureEnabled ||
             w.stereoEnabled;
  if (!any) {
    slot.reset();
    return false;
  }
  if (!slot) slot = std::make_unique<EditSettings>();
  *slot = working_;
  return true;
}

// ---- Trim ----

void EditorModel::SetTrimStartFrom(const std::string& clockText) {
  working_.trimEnabled = 1;
  working_.trimStart = ParseClock(clockText);
  if (working_.trimEnd == 0 || working_.trimEnd <= working_.trimStart) working_.trimEnd = working_.trimStart;
  if (working_.trimEnd - working_.trimStart < 1) working_.trimEnabled = 0;
  MarkChanged();
}

void EditorModel::SetTrimEndFrom(const std::string& clockText) {
  working_.trimEnabled = 1;
  working_.trimEnd = ParseClock(clockText);
  if (working_.trimEnd == 0 || working_.trimStart >= working_.trimEnd) working_.trimEnd = working_.trimStart;
  if (working_.trimEnd - working_.trimStart < 1) working_.trimEnabled = 0;
  MarkChanged();
}

void EditorModel::ResetTrim() {
  working_.trimEnabled = working_.trimStart = working_.trimEnd = 0;
  MarkChanged();
}

std::string EditorModel::TrimStartText() const { return FormatClock(static_cast<uint32_t>(std::max(0, working_.trimStart))); }
std::string EditorModel::TrimEndText() const { return FormatClock(static_cast<uint32_t>(std::max(0, working_.trimEnd))); }
std::string EditorModel::TrimLengthText() const {
  int length = working_.trimStart < working_.trimEnd ? working_.trimEnd - working_.trimStart : 0;
  return FormatClock(static_cast<uint32_t>(length));
}

// ---- Crop ----

void EditorModel::EdgesIntoRecord() {
  working_.cropEnabled = 1;
  working_.cropLeft = crop_.left;
  working_.cropTop = crop_.top;
  working_.cropRight = crop_.right;
  working_.cropBottom = crop_.bottom;
  MarkChanged();
}

void EditorModel::SetCropLeft(int value) {
  crop_.left = std::max(0, std::min(value, crop_.right - kMinCropSide));
  EdgesIntoRecord();
}

void EditorModel::SetCropTop(int value) {
  crop_.top = std::max(0, std::min(value, crop_.bottom - kMinCropSide));
  EdgesIntoRecord();
}

void EditorModel::SetCropRight(int value) {
  crop_.right = std::min(frameWidth_, std::max(value, crop_.left + kMinCropSide));
  EdgesIntoRecord();
}

void EditorModel::SetCropBottom(int value) {
  crop_.bottom = std::min(frameHeight_, std::max(value, crop_.top + kMinCropSide));
  EdgesIntoRecord();
}

bool EditorModel::SetCropFromBand(const PaneRect& band, int paneWidth, int paneHeight) {
  if (paneWidth <= 0 || paneHeight <= 0 || band.width <= 0 || band.height <= 0) return false;
  // Only what lies on the pane counts.
  int left = std::clamp(band.left, 0, paneWidth), top = std::clamp(band.top, 0, paneHeight);
  int right = std::clamp(band.left + band.width, 0, paneWidth);
  int bottom = std::clamp(band.top + band.height, 0, paneHeight);
  if (right <= left || bottom <= top) return false;
  CropEdges edges;
  edges.left = Scale(left, frameWidth_, paneWidth);
  edges.top = Scale(top, frameHeight_, paneHeight);
  edges.right = Scale(right - left, frameWidth_, paneWidth) + edges.left;
  edges.bottom = Scale(bottom - top, frameHeight_, paneHeight) + edges.top;
  // A band narrower than the spin buttons allow grows to that size, inside the frame.
  if (edges.width() < kMinCropSide) {
    edges.right = std::min(frameWidth_, edges.left + kMinCropSide);
    edges.left = std::max(0, edges.right - kMinCropSide);
  }
  if (edges.height() < kMinCropSide) {
    edges.bottom = std::min(frameHeight_, edges.top + kMinCropSide);
    edges.top = std::max(0, edges.bottom - kMinCropSide);
  }
  crop_ = edges;
  EdgesIntoRecord();
  return true;
}

void EditorModel::ResetCrop() {
  crop_ = {0, 0, frameWidth_, frameHeight_};
  working_.cropEnabled = 0;
  working_.cropLeft = working_.cropTop = working_.cropRight = working_.cropBottom = 0;
  MarkChanged();
}

PaneRect EditorModel::CropBand(int paneWidth, int paneHeight) const {
  int left = Scale(crop_.left, paneWidth, frameWidth_), top = Scale(crop_.top, paneHeight, frameHeight_);
  int right = Scale(crop_.right, paneWidth, frameWidth_);
  int bottom = Scale(crop_.bottom, paneHeight, frameHeight_);
  return {left, top, right - left, bottom - top};
}

// ---- Effects ----

void EditorModel::UpdateEffectsEnabled() {
  const EditSettings& w = working_;
  bool neutral = !w.flipHorizontal && !w.flipVertical && w.effect == 0 && w.brightness == 0 &&
                 w.contrast == 100 && w.saturation == 100;
  working_.effectsEnabled = neutral ? 0 : 1;
  MarkChanged();
}

void EditorModel::SetBrightness(int position) {
  working_.brightness = std::clamp(position, -100, 100);
  UpdateEffectsEnabled();
}

void EditorModel::SetContrast(int position) {
  working_.contrast = std::clamp(position, -100, 100) + 100;
  UpdateEffectsEnabled();
}

void EditorModel::SetSaturation(int position) {
  working_.saturation = std::clamp(position, -100, 100) + 100;
  UpdateEffectsEnabled();
}

void EditorModel::SetEffect(int index) {
  working_.effect = std::clamp(index, 0, kEffectCount - 1);
  UpdateEffectsEnabled();
}

void EditorModel::ToggleFlipHorizontal() {
  working_.flipHorizontal = !working_.flipHorizontal;
  UpdateEffectsEnabled();
}

void EditorModel::ToggleFlipVertical() {
  working_.flipVertical = !working_.flipVertical;
  UpdateEffectsEnabled();
}

void EditorModel::ResetEffects() {
  working_.effectsEnabled = 0;
  working_.brightness = 0;
  working_.contrast = working_.saturation = 100;
  working_.flipHorizontal = working_.flipVertical = 0;
  working_.effect = kEffectNone;
  MarkChanged();
}

std::string EditorModel::BrightnessLabel() const { return Labelled("Brightness", BrightnessPosition()); }
std::string EditorModel::ContrastLabel() const { return Labelled("Contrast", ContrastPosition()); }
std::string EditorModel::SaturationLabel() const { return Labelled("Saturation", SaturationPosition()); }

// ---- Text ----

void EditorModel::SetWatermarkText(const std::string& text) {
  working_.watermarkText = FirstCharacters(text, kMaxWatermarkChars);
  MarkChanged();
}

EditorModel::FontChoice EditorModel::FontDialogPreset() const {
  FontChoice preset;
  preset.face = working_.fontFace.empty() ? kDefaultFace : working_.fontFace;
  preset.sizePixels = working_.fontSize == 0 ? kDefaultFontSize : working_.fontSize;
  preset.alpha = working_.textAlpha == 0 ? kOpaque : working_.textAlpha;
  preset.color = working_.textColor;
  return preset;
}

void EditorModel::ApplyFont(const FontChoice& choice) {
  working_.fontSize = std::abs(choice.sizePixels);
  working_.fontFace = choice.face;
  working_.textColor = choice.color & 0xFFFFFFu;
  working_.textAlpha = std::clamp(choice.alpha, 0, 255);
  working_.fontFile = FindFontFile(choice.face);
  working_.textEnabled = 1;
  MarkChanged();
}

bool EditorModel::SetTextLeft(int value) {
  if (value < 0 || value > frameWidth_) return false;
  working_.textLeft = value;
  MarkChanged();
  return true;
}

bool EditorModel::SetTextTop(int value) {
  if (value < 0 || value > frameHeight_) return false;
  working_.textTop = value;
  MarkChanged();
  return true;
}

void EditorModel::ToggleTextEnabled() {
  working_.textEnabled = !working_.textEnabled;
  if (working_.textEnabled) {
    if (working_.fontFile.empty()) working_.fontFile = FindFontFile(kDefaultFace);
    if (working_.fontSize == 0) working_.fontSize = kDefaultFontSize;
    if (working_.fontFace.empty()) working_.fontFace = kDefaultFace;
    if (working_.textAlpha == 0) working_.textAlpha = kOpaque;
  }
  MarkChanged();
}

// ---- Picture ----

EditorModel::PictureChoice EditorModel::ChoosePicture(const std::string& path, int width, int height) {
  if (width <= 0 || height <= 0) return PictureChoice::kUnreadable;
  if (width >= frameWidth_ || height >= frameHeight_) return PictureChoice::kTooLarge;
  working_.pictureEnabled = 1;
  working_.pictureWidth = width;
  working_.pictureHeight = height;
  working_.picturePath = path;
  // The page's position stays, moved in where the new picture would stick out.
  working_.pictureLeft = std::clamp(working_.pictureLeft, 0, frameWidth_ - width);
  working_.pictureTop = std::clamp(working_.pictureTop, 0, frameHeight_ - height);
  MarkChanged();
  return PictureChoice::kAccepted;
}

std::string EditorModel::PictureTooLargeMessage() const {
  char text[96];
  std::snprintf(text, sizeof text, "Sorry, the picture dimensions more then %d x %d", frameWidth_, frameHeight_);
  return text;
}

void EditorModel::SetPictureLeft(int value) {
  working_.pictureLeft = std::clamp(value, 0, std::max(0, frameWidth_ - working_.pictureWidth));
  MarkChanged();
}

void EditorModel::SetPictureTop(int value) {
  working_.pictureTop = std::clamp(value, 0, std::max(0, frameHeight_ - working_.pictureHeight));
  MarkChanged();
}

void EditorModel::TogglePictureEnabled() {
  working_.pictureEnabled = !working_.pictureEnabled;
  MarkChanged();
}

// ---- 3D ----

void EditorModel::SetStereo(int listIndex, int depth) {
  listIndex = std::clamp(listIndex, 0, kStereoModeCount);
  working_.stereoEnabled = listIndex != 0;
  working_.stereoMode = std::max(0, listIndex - 1);
  working_.stereoDepth = std::clamp(depth, kMinStereoDepth, kMaxStereoDepth);
  MarkChanged();
}

std::string EditorModel::StereoModeLabel() const {
  return std::string("3D features: ") + kStereoListLabels[StereoListIndex()];
}

std::string EditorModel::StereoDepthLabel() const { return Labelled("3D depth", working_.stereoDepth); }

}  // namespace mivora
