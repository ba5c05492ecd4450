#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>

#include "tests/support/TestEnvironment.h"
#include "windowmodels/EditorModel.h"

namespace mivora {
namespace {

TEST(EditorModelTest, OpensOnACopyOfTheSourcesRecordAndTheProbedSize) {
  EditSettings stored;
  stored.cropEnabled = 1;
  stored.cropLeft = 10, stored.cropTop = 20, stored.cropRight = 330, stored.cropBottom = 260;
  stored.effectsEnabled = 1;
  stored.brightness = -30, stored.contrast = 150, stored.saturation = 80;
  stored.stereoEnabled = 1, stored.stereoMode = kStereoSideBySide, stored.stereoDepth = -7;
  EditorModel model(&stored, 640, 360);
  EXPECT_EQ(model.FrameWidth(), 640);
  EXPECT_EQ(model.Crop().width(), 320);
  EXPECT_EQ(model.Crop().height(), 240);
  EXPECT_EQ(model.BrightnessPosition(), -30);
  EXPECT_EQ(model.ContrastPosition(), 50);
  EXPECT_EQ(model.SaturationLabel(), "Saturation: -20");
  EXPECT_EQ(model.StereoListIndex(), 6);
  EXPECT_EQ(model.StereoModeLabel(), "3D features: Side By Side");
  EXPECT_EQ(model.StereoDepthLabel(), "3D depth: -7");
  EXPECT_FALSE(model.Changed());

  model.SetBrightness(5);
  EXPECT_EQ(stored.brightness, -30) << "edits go to the working copy only";

  EditorModel fresh(nullptr, 0, 0);
  EXPECT_EQ(fresh.FrameWidth(), 720);
  EXPECT_EQ(fresh.FrameHeight(), 480);
  EXPECT_EQ(fresh.Working().contrast, 100);
  EXPECT_EQ(fresh.Working().saturation, 100);
  EXPECT_EQ(fresh.Crop().right, 720);
  EXPECT_EQ(fresh.TrimStartText(), "00:00:00");
  EXPECT_EQ(fresh.BrightnessLabel(), "Brightness: 0");
  EXPECT_FALSE(fresh.FrameSizeKnown());
  fresh.SetFrameSize(320, 240);  // the player tells the real size
  EXPECT_TRUE(fresh.FrameSizeKnown());
  EXPECT_EQ(fresh.Crop().right, 320);
  EXPECT_EQ(fresh.Crop().bottom, 240);
}

TEST(EditorModelTest, TrimFromThePlayingPosition) {
  struct Step {
    char which;  // 's' start, 'e' end, 'r' reset
    const char* clock;
    int enabled, start, end;
    const char* length;
  };
  struct Case {
    const char* name;
    std::vector<Step> steps;
  } cases[] = {
      {"end before any start", {{'e', "0:00:07", 1, 0, 7, "00:00:07"}}},
      {"start then end", {{'s', "0:00:02", 0, 2, 2, "00:00:00"}, {'e', "0:01:05", 1, 2, 65, "00:01:03"}}},
      {"start after the end moves the end and switches trim off",
       {{'e', "0:00:10", 1, 0, 10, "00:00:10"}, {'s', "0:00:12", 0, 12, 12, "00:00:00"}}},
      {"end before the start", {{'s', "0:00:05", 0, 5, 5, ""}, {'e', "0:00:03", 0, 5, 5, "00:00:00"}}},
      {"end at zero", {{'e', "0:00:00", 0, 0, 0, "00:00:00"}}},
      {"reset", {{'s', "0:00:01", 0, 1, 1, ""}, {'e', "0:00:04", 1, 1, 4, ""}, {'r', "", 0, 0, 0, "00:00:00"}}},
  };
  for (const Case& c : cases) {
    EditorModel model(nullptr, 320, 240);
    for (const Step& s : c.steps) {
      if (s.which == 's') model.SetTrimStartFrom(s.clock);
      if (s.which == 'e') model.SetTrimEndFrom(s.clock);
      if (s.which == 'r') model.ResetTrim();
      EXPECT_EQ(model.Working().trimEnabled, s.enabled) << c.name << " " << s.which;
      EXPECT_EQ(model.Working().trimStart, s.start) << c.name << " " << s.which;
      EXPECT_EQ(model.Working().trimEnd, s.end) << c.name << " " << s.which;
      if (*s.length) {
        EXPECT_EQ(model.TrimLengthText(), s.length) << c.name << " " << s.which;
      }
    }
    EXPECT_TRUE(model.Changed()) << c.name;
  }
}

TEST(EditorModelTest, CropSpinsKeepTheRectangleInsideAndAtLeastSixteen) {
  EditorModel model(nullptr, 320, 240);
  struct Step {
    char edge;
    int value;
    int left, top, right, bottom;
  } steps[] = {
      {'l', -1, 0, 0, 320, 240},     // not below 0
      {'r', 321, 0, 0, 320, 240},    // not beyond the frame
      {'r', 40, 0, 0, 40, 240},
      {'l', 30, 24, 0, 40, 240},     // would leave less than 16: left = right - 16
      {'r', 30, 24, 0, 40, 240},     // right cannot come nearer than 16
      {'b', 241, 24, 0, 40, 240},
      {'t', 239, 24, 224, 40, 240},
      {'b', 100, 24, 224, 40, 240},  // bottom cannot go above top + 16
      {'t', 5, 24, 5, 40, 240},
  };
  for (const auto& s : steps) {
    if (s.edge == 'l') model.SetCropLeft(s.value);
    if (s.edge == 't') model.SetCropTop(s.value);
    if (s.edge == 'r') model.SetCropRight(s.value);
    if (s.edge == 'b') model.SetCropBottom(s.value);
    const CropEdges& c = model.Crop();
    EXPECT_EQ(c.left, s.left) << s.edge << s.value;
    EXPECT_EQ(c.top, s.top) << s.edge << s.value;
    EXPECT_EQ(c.right, s.right) << s.edge << s.value;
    EXPECT_EQ(c.bottom, s.bottom) << s.edge << s.value;
    EXPECT_GE(c.width(), 16);
    EXPECT_GE(c.height(), 16);
    EXPECT_EQ(model.Working().cropEnabled, 1);
    EXPECT_EQ(model.Working().cropRight, c.right);
  }
  // The band follows the edges on a 160 x 120 pane, rounded half away from zero.
  EXPECT_EQ(model.CropBand(160, 120), (PaneRect{12, 3, 8, 117}));

  model.ResetCrop();
  EXPECT_EQ(model.Working().cropEnabled, 0);
  EXPECT_EQ(model.CropBand(160, 120), (PaneRect{0, 0, 160, 120}));
}

TEST(EditorModelTest, CropFromABandDrawnOnThePane) {
  struct Case {
    PaneRect band;
    int paneWidth, paneHeight;
    bool taken;
    CropEdges edges;
  } cases[] = {
      {{10, 20, 100, 60}, 320, 200, true, {20, 48, 220, 192}},   // 640 x 480 source: x2, x2.4
      {{0, 0, 320, 200}, 320, 200, true, {0, 0, 640, 480}},
      {{300, 190, 100, 100}, 320, 200, true, {600, 456, 640, 480}},  // clipped to the pane
      {{5, 5, 3, 2}, 320, 200, true, {10, 12, 26, 28}},              // grown to 16 x 16
      {{318, 198, 2, 2}, 320, 200, true, {624, 464, 640, 480}},      // grown inward at the edge
      {{10, 10, 0, 50}, 320, 200, false, {}},                        // a click draws nothing
      {{10, 10, 50, 50}, 0, 200, false, {}},                         // an empty pane
  };
  for (const Case& c : cases) {
    EditorModel model(nullptr, 640, 480);
    EXPECT_EQ(model.SetCropFromBand(c.band, c.paneWidth, c.paneHeight), c.taken);
    if (!c.taken) {
      EXPECT_EQ(model.Working().cropEnabled, 0);
      EXPECT_FALSE(model.Changed());
      continue;
    }
    const EditSettings& w = model.Working();
    EXPECT_EQ(w.cropEnabled, 1);
    EXPECT_EQ(w.cropLeft, c.edges.left) << c.band.left;
    EXPECT_EQ(w.cropTop, c.edges.top) << c.band.left;
    EXPECT_EQ(w.cropRight, c.edges.right) << c.band.left;
    EXPECT_EQ(w.cropBottom, c.edges.bottom) << c.band.left;
  }
}

TEST(EditorModelTest, EffectsGroupIsOnExactlyWhileSomethingIsNotNeutral) {
  EditorModel model(nullptr, 320, 240);
  model.ToggleFlipHorizontal();
  EXPECT_EQ(model.Working().effectsEnabled, 1);
  model.ToggleFlipHorizontal();
  EXPECT_EQ(model.Working().effectsEnabled, 0);
  EXPECT_TRUE(model.Changed());

  struct Change {
    void (EditorModel::*set)(int);
    int value;
  } changes[] = {{&EditorModel::SetBrightness, 1},  {&EditorModel::SetContrast, -100},
                 {&EditorModel::SetSaturation, 100}, {&EditorModel::SetEffect, kEffectAgedFilm}};
  for (const Change& c : changes) {
    (model.*c.set)(c.value);
    EXPECT_EQ(model.Working().effectsEnabled, 1);
    (model.*c.set)(0);
    EXPECT_EQ(model.Working().effectsEnabled, 0);
  }
  model.SetContrast(-100);
  EXPECT_EQ(model.Working().contrast, 0);
  EXPECT_EQ(model.ContrastLabel(), "Contrast: -100");
  model.SetSaturation(250);  // a slider cannot go further than 100
  EXPECT_EQ(model.Working().saturation, 200);
  model.ToggleFlipVertical();
  model.SetEffect(kEffectGray);
  model.ResetEffects();
  const EditSettings& w = model.Working();
  EXPECT_EQ(w.effectsEnabled, 0);
  EXPECT_EQ(w.contrast, 100);
  EXPECT_EQ(w.saturation, 100);
  EXPECT_EQ(w.flipVertical, 0);
  EXPECT_EQ(w.effect, 0);
  EXPECT_EQ(model.ContrastLabel(), "Contrast: 0");
}

TEST(EditorModelTest, TextPage) {
  EditorModel model(nullptr, 320, 240);
  EditorModel::FontChoice preset = model.FontDialogPreset();
  EXPECT_EQ(preset.face, "Arial");
  EXPECT_EQ(preset.sizePixels, 24);
  EXPECT_EQ(preset.alpha, 255);

  model.ToggleTextEnabled();
  EXPECT_EQ(model.Working().textEnabled, 1);
  EXPECT_EQ(model.Working().fontFace, "Arial");
  EXPECT_EQ(model.Working().fontSize, 24);
  EXPECT_FALSE(model.Working().fontFile.empty());
  model.ToggleTextEnabled();
  EXPECT_EQ(model.Working().textEnabled, 0);

  model.ApplyFont({"DejaVu Serif", -30, 0x0000FF, 128});
  EXPECT_EQ(model.Working().textEnabled, 1);
  EXPECT_EQ(model.Working().fontSize, 30);
  EXPECT_EQ(model.Working().textAlpha, 128);
  EXPECT_EQ(model.Working().textColor, 0x0000FFu);
  EXPECT_FALSE(model.Working().fontFile.empty());

  // Positions: not below 0, not beyond the frame; refused values change nothing.
  struct Case {
    bool left;
    int value;
    bool accepted;
  } cases[] = {{true, 0, true}, {true, 320, true}, {true, 321, false}, {true, -1, false},
               {false, 240, true}, {false, 241, false}, {false, 17, true}};
  for (const Case& c : cases) {
    int before = c.left ? model.Working().textLeft : model.Working().textTop;
    bool accepted = c.left ? model.SetTextLeft(c.value) : model.SetTextTop(c.value);
    int after = c.left ? model.Working().textLeft : model.Working().textTop;
    EXPECT_EQ(accepted, c.accepted) << c.value;
    EXPECT_EQ(after, c.accepted ? c.value : before) << c.value;
  }

  // At most 511 characters are kept, counted as characters, not bytes.
  std::string accented;
  for (int i = 0; i < 600; ++i) accented += "\xc3\xa9";  // é
  model.SetWatermarkText(accented);
  EXPECT_EQ(model.Working().watermarkText.size(), 511u * 2);
  model.SetWatermarkText("Hello");
  EXPECT_EQ(model.Working().watermarkText, "Hello");
}

TEST(EditorModelTest, PicturePageLimits) {
  struct Case {
    int width, height;
    EditorModel::PictureChoice result;
  } cases[] = {
      {720, 100, EditorModel::PictureChoice::kTooLarge},
      {100, 480, EditorModel::PictureChoice::kTooLarge},
      {719, 479, EditorModel::PictureChoice::kAccepted},
      {0, 0, EditorModel::PictureChoice::kUnreadable},
  };
  for (const Case& c : cases) {
    EditorModel model(nullptr, 720, 480);
    EXPECT_EQ(model.ChoosePicture("/pictures/logo.png", c.width, c.height), c.result) << c.width;
    bool accepted = c.result == EditorModel::PictureChoice::kAccepted;
    EXPECT_EQ(model.Working().pictureEnabled, accepted ? 1 : 0);
    EXPECT_EQ(model.Changed(), accepted);
  }
  EditorModel model(nullptr, 720, 480);
  EXPECT_EQ(model.PictureTooLargeMessage(), "Sorry, the picture dimensions more then 720 x 480");
  model.SetPictureLeft(700);  // no picture yet: anywhere in the frame
  EXPECT_EQ(model.Working().pictureLeft, 700);
  ASSERT_EQ(model.ChoosePicture("/pictures/logo.png", 100, 50), EditorModel::PictureChoice::kAccepted);
  EXPECT_EQ(model.Working().pictureLeft, 620) << "the new picture is moved inside the frame";
  model.SetPictureLeft(621);
  EXPECT_EQ(model.Working().pictureLeft, 620);
  model.SetPictureTop(-3);
  EXPECT_EQ(model.Working().pictureTop, 0);
  model.SetPictureTop(500);
  EXPECT_EQ(model.Working().pictureTop, 430);
  model.TogglePictureEnabled();
  EXPECT_EQ(model.Working().pictureEnabled, 0);
}

TEST(EditorModelTest, StereoListAndDepth) {
  EditorModel model(nullptr, 320, 240);
  for (int index = 0; index <= kStereoModeCount; ++index) {
    model.SetStereo(index, index * 10 - 30);
    EXPECT_EQ(model.Working().stereoEnabled, index != 0 ? 1 : 0);
    EXPECT_EQ(model.StereoListIndex(), index);
    EXPECT_EQ(model.StereoModeLabel(), std::string("3D features: ") + kStereoListLabels[index]);
    EXPECT_EQ(model.StereoDepthLabel(), "3D depth: " + std::to_string(index * 10 - 30));
  }
  model.SetStereo(kStereoInterleaved + 1, 99);
  EXPECT_EQ(model.Working().stereoMode, kStereoInterleaved);
  EXPECT_EQ(model.Working().stereoDepth, 50);
}

TEST(EditorModelTest, SavingCreatesCopiesAndClearsTheSourcesRecord) {
  std::string picture = test::MakeTempDir("picture") + "/logo.png";
  test::WriteFile(picture, "png");

  EditorModel model(nullptr, 320, 240);
  std::unique_ptr<EditSettings> slot;
  EXPECT_FALSE(model.SaveInto(slot)) << "nothing on: no record";
  EXPECT_EQ(slot, nullptr);

  model.ToggleFlipVertical();
  ASSERT_EQ(model.ChoosePicture(picture, 32, 16), EditorModel::PictureChoice::kAccepted);
  EXPECT_TRUE(model.ShouldAskOnClose());
  EXPECT_TRUE(model.SaveInto(slot));
  EXPECT_FALSE(model.ShouldAskOnClose());
  ASSERT_NE(slot, nullptr);
  EditSettings* kept = slot.get();
  EXPECT_EQ(slot->flipVertical, 1);
  EXPECT_EQ(slot->pictureEnabled, 1);
  EXPECT_EQ(slot->picturePath, picture);

  // Saving again writes into the same record; a picture whose file has gone is switched off.
  std::remove(picture.c_str());
  model.SetStereo(2, 5);
  EXPECT_TRUE(model.SaveInto(slot));
  EXPECT_EQ(slot.get(), kept);
  EXPECT_EQ(slot->pictureEnabled, 0);
  EXPECT_EQ(slot->stereoMode, 1);
  EXPECT_EQ(model.Working().pictureEnabled, 0);

  // Every group switched off: the source's edits are gone, not left in force.
  model.ToggleFlipVertical();
  model.SetStereo(0, 0);
  EXPECT_FALSE(model.SaveInto(slot));
  EXPECT_EQ(slot, nullptr);
}

}  // namespace
}  // namespace mivora
