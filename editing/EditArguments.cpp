// Rendering an EditSettings record as engine arguments: the "-vf" chain of
// double-quoted filter segments, then trim and 3D options.

#include <cstdio>
#include <string>

#include "common/Folders.h"
#include "editing/EditSettings.h"
#include "editing/FilterEscaping.h"
#include "editing/TextColour.h"

namespace mivora {

const char* const kEffectLabels[kEffectCount] = {
    "None", "Simple laplacian sharpen", "Simple gauss blur", "Invert", "Flip color", "Gray",
    "Aged film"};

const char* const kStereoModeLabels[kStereoModeCount] = {
    "Red / Cyan", "Red / Green", "Red / Blue", "Blue / Yellow", "Interleaved", "Side By Side"};

namespace {

const char* const kEffectSegments[kEffectCount] = {
    "",
    "\"unsharp=7:7:2.5\"",
    "\"unsharp=7:7:-2:7:7-2\"",
    "\"lutyuv='y=negval:u=negval:v=negval'\"",
    "\"lutyuv='u=negval:v=negval'\"",
    "\"lutyuv='u=128:v=128'\"",
    "\"lutyuv='u=116:v=134'\"",
};

// The chain starts as "-vf "; every segment but the first is preceded by a comma.
class FilterChain {
 public:
  void Add(const std::string& segment) {
    if (chain_.size() > 5) chain_ += ',';
    chain_ += segment;
  }
  bool Empty() const { return chain_.size() <= 4; }
  // Labels the last filter's output "X" and appends the picture overlay fed by it.
  void AddBehindLast(const std::string& segment) {
    chain_.pop_back();  // the closing double quote
    chain_ += "[X]\",";
    chain_ += segment;
  }
  const std::string& Text() const { return chain_; }

 private:
  std::string chain_ = "-vf ";
};

std::string Format(const char* format, auto... values) {
  int size = std::snprintf(nullptr, 0, format, values...);
  std::string text(static_cast<size_t>(size), '\0');
  std::snprintf(text.data(), text.size() + 1, format, values...);
  return text;
}

void AddColourFlipsAndEffect(const EditSettings& e, FilterChain& chain) {
  bool neutral = e.brightness == 0 && e.contrast == 100 && e.saturation == 100;
  if (!neutral && e.effect < kEffectInvert) {
    chain.Add(Format("\"lutyuv='y=(val-16)*%d/100+%d+16:u=(val-128)*%d*%d/10000+128:"
                     "v=(val-128)*%d*%d/10000+128'\"",
                     e.contrast, e.brightness, e.contrast, e.saturation, e.contrast, e.saturation));
  }
  if (e.flipVertical) chain.Add("\"vflip\"");
  if (e.flipHorizontal) chain.Add("\"hflip\"");
  if (e.effect >= 1 && e.effect < kEffectCount) chain.Add(kEffectSegments[e.effect]);
}

void AddText(const EditSettings& e, FilterChain& chain) {
  const uint32_t rgb = RgbOfTextColour(e.textColor);
  chain.Add(Format("\"drawtext=text='%s':fontfile='%s':fontsize=%d:fontcolor=%06x%02x:x=%d:y=%d\"",
                   EncodeFilterText(e.watermarkText).c_str(), EscapeFilterPath(e.fontFile).c_str(),
                   e.fontSize, rgb, static_cast<unsigned>(e.textAlpha) & 0xFFu, e.textLeft, e.textTop));
}

void AddPicture(const EditSettings& e, FilterChain& chain) {
  std::string path = EscapeFilterPath(e.picturePath);
  if (chain.Empty()) {
    chain.Add(Format("\"movie=%s [name];[in][name] overlay=%d:%d\"", path.c_str(), e.pictureLeft,
                     e.pictureTop));
  } else {
    chain.AddBehindLast(Format("\"movie=%s [name];[X][name] overlay=%d:%d\"", path.c_str(),
                               e.pictureLeft, e.pictureTop));
  }
}

}  // namespace

std::string EditSettings::BuildEditArguments() {
  FilterChain chain;
  if (effectsEnabled) AddColourFlipsAndEffect(*this, chain);
  if (textEnabled && !watermarkText.empty()) AddText(*this, chain);
  if (!FileExists(picturePath)) pictureEnabled = 0;
  if (pictureEnabled) AddPicture(*this, chain);
  if (cropEnabled && cropRight != cropLeft && cropBottom != cropTop)
    chain.Add(Format("\"crop=%d:%d:%d:%d\"", cropRight - cropLeft, cropBottom - cropTop, cropLeft,
                     cropTop));

  std::string text;
  if (!chain.Empty()) text = chain.Text() + " ";
  if (trimEnabled) {
    // Whole seconds with three zero decimals, written without the locale's
    // decimal separator.
    if (trimStart > 0) text += Format("-ss %d.000 ", trimStart);
    if (trimEnd > 0) text += Format("-t %d.000 ", trimEnd - trimStart);
  }
  if (stereoEnabled) text += Format("-d3dmode %d -d3ddepth %d ", stereoMode, stereoDepth);
  return text;
}

}  // namespace mivora
