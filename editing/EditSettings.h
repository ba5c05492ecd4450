#pragma once
// One source's edits: trim, crop, colour and effect, flips, a text and a
// picture watermark, and a 3D mode. A new record has every field zero (every
// group off); the editor fills it and the conversion renders it as engine
// arguments with BuildEditArguments.

#include <cstdint>
#include <string>

namespace mivora {

// Values of `effect`, in the order of the editor's list.
enum EditEffect {
  kEffectNone = 0,
  kEffectSharpen = 1,
  kEffectBlur = 2,
  kEffectInvert = 3,
  kEffectFlipColor = 4,
  kEffectGray = 5,
  kEffectAgedFilm = 6,
};
constexpr int kEffectCount = 7;
extern const char* const kEffectLabels[kEffectCount];

// Values of `stereoMode`.
enum StereoMode {
  kStereoRedCyan = 0,
  kStereoRedGreen = 1,
  kStereoRedBlue = 2,
  kStereoBlueYellow = 3,
  kStereoInterleaved = 4,
  kStereoSideBySide = 5,
};
constexpr int kStereoModeCount = 6;
extern const char* const kStereoModeLabels[kStereoModeCount];

class EditSettings {
 public:
  virtual ~EditSettings() = default;

  // Trim: whole seconds from the start of the source.
  int32_t trimEnabled = 0;
  int32_t trimStart = 0;
  int32_t trimEnd = 0;

  // Crop rectangle in source pixels (width = right - left, height = bottom - top).
  int32_t cropEnabled = 0;
  int32_t cropLeft = 0;
  int32_t cropTop = 0;
  int32_t cropRight = 0;
  int32_t cropBottom = 0;

  // Colour, flips and effect.
  int32_t effectsEnabled = 0;
  int32_t brightness = 0;  // -100..100, neutral 0
  int32_t contrast = 0;    // percent 0..200, neutral 100
  int32_t saturation = 0;  // percent 0..200, neutral 100
  int32_t flipVertical = 0;
  int32_t flipHorizontal = 0;
  int32_t effect = 0;  // EditEffect

  // Text watermark. Texts and paths are UTF-8 and have no length limit.
  int32_t textEnabled = 0;
  std::string fontFace;       // face name; "Arial" when empty
  std::string watermarkText;  // drawn literally, whatever it holds
  std::string fontFile;       // full path of the font file (FindFontFile)
  uint32_t textColor = 0;     // 0x00BBGGRR
  int32_t fontSize = 0;       // pixels
  int32_t textAlpha = 0;      // 0..255
  int32_t textLeft = 0;
  int32_t textTop = 0;

  // Picture watermark (a PNG file).
  int32_t pictureEnabled = 0;
  int32_t pictureLeft = 0;
  int32_t pictureTop = 0;
  int32_t pictureWidth = 0;
  int32_t pictureHeight = 0;
  std::string picturePath;

  // 3D.
  int32_t stereoEnabled = 0;
  int32_t stereoMode = 0;   // StereoMode
  int32_t stereoDepth = 0;  // -50..50, neutral 0

  // The engine arguments for these edits: empty, or pieces each followed by
  // one blank. Switches the picture watermark off in this record when its
  // file is gone; changes nothing else.
  std::string BuildEditArguments();

  // Seconds the output lasts when trimmed: trimEnd - trimStart.
  int32_t TrimmedSeconds() const { return trimEnd - trimStart; }
};

}  // namespace mivora
