#include <gtest/gtest.h>

#include <clocale>

#include "editing/EditSettings.h"
#include "tests/support/TestEnvironment.h"

namespace mivora {
namespace {

EditSettings Effects(int brightness, int contrast, int saturation) {
  EditSettings e;
  e.effectsEnabled = 1;
  e.brightness = brightness;
  e.contrast = contrast;
  e.saturation = saturation;
  return e;
}

TEST(BuildEditArguments, ColourFlipsAndEffects) {
  struct Row {
    const char* name;
    EditSettings edits;
    const char* expected;
  };
  std::vector<Row> rows;
  rows.push_back({"new record", EditSettings{}, ""});
  rows.push_back({"neutral effects", Effects(0, 100, 100), ""});
  {
    EditSettings e = Effects(10, 120, 100);
    e.flipHorizontal = 1;
    e.effect = kEffectSharpen;
    rows.push_back({"colour, hflip, sharpen", e,
                    "-vf \"lutyuv='y=(val-16)*120/100+10+16:u=(val-128)*120*100/10000+128:"
                    "v=(val-128)*120*100/10000+128'\",\"hflip\",\"unsharp=7:7:2.5\" "});
  }
  {
    EditSettings e = Effects(20, 100, 100);
    e.effect = kEffectGray;
    rows.push_back({"lut effects replace the colour segment", e, "-vf \"lutyuv='u=128:v=128'\" "});
  }
  {
    EditSettings e = Effects(0, 100, 100);
    e.flipVertical = e.flipHorizontal = 1;
    rows.push_back({"vflip before hflip", e, "-vf \"vflip\",\"hflip\" "});
  }
  {
    EditSettings e = Effects(0, 100, 100);
    e.effect = kEffectBlur;
    rows.push_back({"blur", e, "-vf \"unsharp=7:7:-2:7:7-2\" "});
  }
  {
    EditSettings e = Effects(-30, 50, 0);
    e.effect = kEffectBlur;
    rows.push_back({"negative brightness with blur keeps colour", e,
                    "-vf \"lutyuv='y=(val-16)*50/100+-30+16:u=(val-128)*50*0/10000+128:"
                    "v=(val-128)*50*0/10000+128'\",\"unsharp=7:7:-2:7:7-2\" "});
  }
  {
    EditSettings e;  // effects group off: its fields are ignored
    e.flipVertical = 1;
    e.effect = kEffectInvert;
    rows.push_back({"group off", e, ""});
  }
  for (Row& row : rows) EXPECT_EQ(row.edits.BuildEditArguments(), row.expected) << row.name;
}

TEST(BuildEditArguments, TextWatermark) {
  EditSettings e;
  e.textEnabled = 1;
  e.watermarkText = "Hello";
  e.fontFile = "/usr/share/fonts/a.ttf";
  e.textColor = 0x000000FF;  // pure red as 0x00BBGGRR
  e.textAlpha = 255;
  e.fontSize = 24;
  e.textLeft = 10;
  e.textTop = 20;
  EXPECT_EQ(e.BuildEditArguments(),
            "-vf \"drawtext=text='Hello':fontfile='/usr/share/fonts/a.ttf':fontsize=24:"
            "fontcolor=ff0000ff:x=10:y=20\" ");
  e.textColor = 0x00336699;
  e.textAlpha = 0x0A;
  EXPECT_NE(e.BuildEditArguments().find("fontcolor=996633" "0a"), std::string::npos);
  e.watermarkText.clear();
  EXPECT_EQ(e.BuildEditArguments(), "");
}

TEST(BuildEditArguments, HostileTextTravelsEncoded) {
  EditSettings e;
  e.textEnabled = 1;
  e.watermarkText = "it's \"50%\": a,b;[c]\\d -r 5 -s 12x34";
  e.fontFile = "/f.ttf";
  std::string args = e.BuildEditArguments();
  // Nothing in the text can close the quotes, end the segment or the option.
  EXPECT_EQ(args,
            "-vf \"drawtext=text='it%27s %2250%25%22%3A a%2Cb%3B%5Bc%5D%5Cd -r 5 -s 12x34':"
            "fontfile='/f.ttf':fontsize=0:fontcolor=00000000:x=0:y=0\" ");
}

TEST(BuildEditArguments, PictureWatermarkForms) {
  std::string dir = test::MakeTempDir("pic");
  std::string png = dir + "/logo.png";
  test::WriteFile(png, "not really a png, but it exists");

  EditSettings alone;
  alone.pictureEnabled = 1;
  alone.picturePath = png;
  alone.pictureLeft = 5;
  alone.pictureTop = 6;
  EXPECT_EQ(alone.BuildEditArguments(),
            "-vf \"movie=" + png + " [name];[in][name] overlay=5:6\" ");

  EditSettings behind = alone;
  behind.effectsEnabled = 1;
  behind.contrast = behind.saturation = 100;
  behind.flipVertical = 1;
  EXPECT_EQ(behind.BuildEditArguments(),
            "-vf \"vflip[X]\",\"movie=" + png + " [name];[X][name] overlay=5:6\" ");

  EditSettings gone = alone;
  gone.picturePath = dir + "/missing.png";
  EXPECT_EQ(gone.BuildEditArguments(), "");
  EXPECT_EQ(gone.pictureEnabled, 0);  // switched off in the record itself
}

TEST(BuildEditArguments, CropTrimAnd3D) {
  EditSettings crop;
  crop.cropEnabled = 1;
  crop.cropLeft = 10;
  crop.cropTop = 20;
  crop.cropRight = 110;
  crop.cropBottom = 220;
  EXPECT_EQ(crop.BuildEditArguments(), "-vf \"crop=100:200:10:20\" ");
  crop.cropRight = crop.cropLeft;  // zero width: left out entirely
  EXPECT_EQ(crop.BuildEditArguments(), "");

  EditSettings trim;
  trim.trimEnabled = 1;
  trim.trimEnd = 30;
  EXPECT_EQ(trim.BuildEditArguments(), "-t 30.000 ");
  trim.trimStart = 10;
  trim.trimEnd = 0;
  EXPECT_EQ(trim.BuildEditArguments(), "-ss 10.000 ");
  trim.trimStart = 75;
  trim.trimEnd = 80;
  EXPECT_EQ(trim.BuildEditArguments(), "-ss 75.000 -t 5.000 ");

  EditSettings stereo;
  stereo.stereoEnabled = 1;
  stereo.stereoMode = kStereoSideBySide;
  stereo.stereoDepth = -12;
  EXPECT_EQ(stereo.BuildEditArguments(), "-d3dmode 5 -d3ddepth -12 ");

  // Everything at once, in its order: effects, crop, then trim and 3D.
  EditSettings all = crop;
  all.cropRight = 110;
  all.effectsEnabled = 1;
  all.contrast = all.saturation = 100;
  all.effect = kEffectInvert;
  all.trimEnabled = 1;
  all.trimStart = 1;
  all.trimEnd = 3;
  all.stereoEnabled = 1;
  EXPECT_EQ(all.BuildEditArguments(),
            "-vf \"lutyuv='y=negval:u=negval:v=negval'\",\"crop=100:200:10:20\" "
            "-ss 1.000 -t 2.000 -d3dmode 0 -d3ddepth 0 ");
}

TEST(BuildEditArguments, CommaLocaleKeepsPoints) {
  if (!std::setlocale(LC_ALL, "de_DE.UTF-8")) GTEST_SKIP() << "no comma locale installed";
  EditSettings trim;
  trim.trimEnabled = 1;
  trim.trimStart = 2;
  trim.trimEnd = 4;
  EXPECT_EQ(trim.BuildEditArguments(), "-ss 2.000 -t 2.000 ");
  std::setlocale(LC_ALL, "C");
}

}  // namespace
}  // namespace mivora
