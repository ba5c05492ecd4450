// The output frame rule: which frames a standard fixes, and how a picture is
// fitted into a box or a fixed frame.

#include <gtest/gtest.h>

#include <cmath>

#include "profiles/EngineArguments.h"
#include "profiles/OutputFrame.h"
#include "profiles/Profile.h"
#include "profiles/ProfileCatalog.h"

namespace mivora {
namespace {

struct FitRow {
  const char* what;
  FrameFormat format;
  PictureShape picture;
  // Expected frame, picture place and display aspect.
  int width, height, left, top, pictureWidth, pictureHeight, aspectNum, aspectDen;
};

FrameFormat Box(int w, int h, int alignment = 2) { return {w, h, 0, 0, false, alignment}; }
FrameFormat Fixed(int w, int h, int num, int den) { return {w, h, num, den, true, 2}; }

TEST(OutputFrameTest, PicturesAreFittedKeepingTheirShape) {
  const FitRow rows[] = {
      {"landscape into its box", Box(640, 480), {1920, 1080}, 640, 360, 0, 0, 640, 360, 16, 9},
      {"portrait phone into the turned box", Box(640, 480), {1080, 1920}, 360, 640, 0, 0, 360, 640, 9, 16},
      {"4:3 grows to the box's height", Box(1280, 720), {640, 480}, 960, 720, 0, 0, 960, 720, 4, 3},
      {"2.39:1 into 720p", Box(1280, 720), {1912, 800}, 1280, 536, 0, 0, 1280, 536, 160, 67},
      {"anamorphic PAL shows 16:9", Box(640, 480), {720, 576, 64, 45}, 640, 360, 0, 0, 640, 360, 16, 9},
      {"odd source, even sides", Box(640, 480), {641, 427}, 640, 426, 0, 0, 640, 426, 320, 213},
      {"odd box, even sides", Box(175, 143), {1920, 1080}, 174, 98, 0, 0, 174, 98, 87, 49},
      {"square picture takes the landscape box", Box(640, 480), {480, 480}, 480, 480, 0, 0, 480, 480, 1, 1},
      {"a sliver keeps two pixels", Box(640, 480), {2, 1000}, 2, 640, 0, 0, 2, 640, 1, 320},
      {"RealVideo 1 needs multiples of 16: a thin edge", Box(320, 240, 16), {1920, 1080}, 320, 192, 0, 6, 320,
       180, 5, 3},
      {"16:9 into a 4:3 DVD: bars above and below", Fixed(720, 480, 4, 3), {1920, 1080}, 720, 480, 0, 60, 720,
       360, 4, 3},
      {"4:3 into a 16:9 DVD: bars left and right", Fixed(720, 480, 16, 9), {640, 480}, 720, 480, 90, 0, 540,
       480, 16, 9},
      {"2.39:1 into a 16:9 DVD", Fixed(720, 480, 16, 9), {1912, 800}, 720, 480, 0, 60, 720, 358, 16, 9},
      {"portrait phone into a 4:3 DVD", Fixed(720, 480, 4, 3), {1080, 1920}, 720, 480, 208, 0, 304, 480, 4, 3},
      {"anamorphic PAL into 16:9 PAL DVD: no bars", Fixed(720, 576, 16, 9), {720, 576, 64, 45}, 720, 576, 0, 0,
       720, 576, 16, 9},
      {"a fixed frame without an aspect is 4:3", Fixed(720, 576, 0, 0), {720, 576, 16, 15}, 720, 576, 0, 0, 720,
       576, 4, 3},
      {"no frame size: the source as it comes", FrameFormat{}, {720, 576, 64, 45}, 720, 576, 0, 0, 720, 576, 16,
       9},
  };
  for (const FitRow& row : rows) {
    SCOPED_TRACE(row.what);
    const OutputFrame frame = FitOutputFrame(row.format, row.picture);
    EXPECT_EQ(frame.keepsSource, row.format.width == 0);
    EXPECT_EQ(frame.width, row.width);
    EXPECT_EQ(frame.height, row.height);
    EXPECT_EQ(frame.pictureLeft, row.left);
    EXPECT_EQ(frame.pictureTop, row.top);
    EXPECT_EQ(frame.pictureWidth, row.pictureWidth);
    EXPECT_EQ(frame.pictureHeight, row.pictureHeight);
    EXPECT_EQ(frame.aspectNum, row.aspectNum);
    EXPECT_EQ(frame.aspectDen, row.aspectDen);
    if (frame.keepsSource) continue;
    // Even sides and places (4:2:0), and the picture's shape within 1 %.
    EXPECT_EQ(frame.pictureWidth % 2 + frame.pictureHeight % 2 + frame.pictureLeft % 2 + frame.pictureTop % 2, 0);
    const double pixel = frame.DisplayAspect() * frame.height / frame.width;
    const double shown = frame.pictureWidth * pixel / frame.pictureHeight;
    if (frame.pictureWidth > 2) {
      EXPECT_NEAR(shown / row.picture.DisplayAspect(), 1.0, 0.01);
    }
  }
}

TEST(OutputFrameTest, TheFormatComesFromTheOptions) {
  struct Row {
    const char *size, *aspect, *target, *encoder;
    bool discGroup;
    FrameFormat expected;
  } rows[] = {
      {"640x480", "Auto", "", "libx264", false, {640, 480, 0, 0, false, 2}},
      {"640*480", "auto", "", "mpeg4", false, {640, 480, 0, 0, false, 2}},
      {"1280x720", "16:9", "", "libx264", false, {1280, 720, 16, 9, false, 2}},
      {"", "4:3", "ntsc-dvd", "", false, {720, 480, 4, 3, true, 2}},
      {"", "16:9", "pal-dvd", "", false, {720, 576, 16, 9, true, 2}},
      {"", "", "ntsc-svcd", "", false, {480, 480, 0, 0, true, 2}},
      {"", "4:3", "ntsc-vcd", "", false, {352, 240, 4, 3, true, 2}},
      {"720x576", "4:3", "", "mpeg2video", true, {720, 576, 4, 3, true, 2}},
      {"720x576", "4:3", "", "dvvideo", false, {720, 576, 4, 3, true, 2}},
      {"352x288", "", "", "h261", false, {352, 288, 0, 0, true, 2}},
      {"320x240", "", "", "rv10", false, {320, 240, 0, 0, false, 16}},
      {"352x288", "", "", "h263p", false, {352, 288, 0, 0, false, 4}},
      {"", "1.7778", "", "libx264", false, {0, 0, 8889, 5000, false, 2}},
      {"640x", "0:3", "", "libx264", false, {0, 0, 0, 0, false, 2}},
      {"x480", "4:", "", "libx264", false, {0, 0, 0, 0, false, 2}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.size) + " " + row.aspect + " " + row.target + " " + row.encoder);
    const FrameFormat f = MakeFrameFormat(row.size, row.aspect, row.target, row.encoder, row.discGroup);
    EXPECT_EQ(f.width, row.expected.width);
    EXPECT_EQ(f.height, row.expected.height);
    EXPECT_EQ(f.aspectNum, row.expected.aspectNum);
    EXPECT_EQ(f.aspectDen, row.expected.aspectDen);
    EXPECT_EQ(f.fixedByStandard, row.expected.fixedByStandard);
    EXPECT_EQ(f.alignment, row.expected.alignment);
  }
}

// The disc group and DV keep their frames; every other shipped profile with
// a frame size treats it as a box.
TEST(OutputFrameTest, ShippedProfilesFixTheirFrameOnlyWhereAStandardDoes) {
  ProfileIdTable ids;
  int fixed = 0, boxes = 0;
  for (const ProfileEntry& entry : ProfileCatalog::Scan(MIVORA_SOURCE_PROFILES, ids).All()) {
    Profile profile;
    ASSERT_TRUE(profile.Load(std::string(MIVORA_SOURCE_PROFILES) + "/" + entry.relativePath));
    SCOPED_TRACE(entry.relativePath);
    const FrameFormat format = FrameFormatOf(profile);
    const bool standard = profile.groupName == "DVD VCD SVCD" || profile.videoCodec == "DV VIDEO";
    EXPECT_EQ(format.fixedByStandard, standard);
    if (profile.videoDisable == "Yes") continue;
    EXPECT_GT(format.width, 0) << "every video profile names a frame";
    (standard ? fixed : boxes)++;
  }
  EXPECT_EQ(fixed, 5);
  EXPECT_GT(boxes, 30);
}

}  // namespace
}  // namespace mivora
