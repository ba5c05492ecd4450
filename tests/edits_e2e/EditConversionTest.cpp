#include <gtest/gtest.h>

#include <cmath>

#include "common/Folders.h"
#include "tests/support/TestEnvironment.h"
#include "tests/support/TestMedia.h"

namespace mivora {
namespace {

const std::string kCli = std::string(MIVORA_PROGRAM_DIR) + "/mivora-cli";

// A 320x240 MPEG-4 profile at a high bit rate, so that measured colours stay close.
const std::string& Profile() {
  static const std::string path = [] {
    std::string p = test::MakeTempDir("profile") + "/Exact.xml";
    test::WriteFile(p,
                    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Profile>\n"
                    "    <ProfileName value=\"Exact\"/>\n"
                    "    <FormatExt value=\"avi\"/>\n"
                    "    <VideoCodec value=\"MPEG4\" index=\"0\"/>\n"
                    "    <VideoBitrate value=\"8000\" index=\"0\"/>\n"
                    "    <VideoSize value=\"320x240\" index=\"0\"/>\n"
                    "    <AudioCodec value=\"MP2\" index=\"0\"/>\n"
                    "    <AudioBitrate value=\"128\" index=\"0\"/>\n"
                    "    <VideoBitrateList value=\"8000\" index=\"0\"/>\n"
                    "</Profile>\n");
    return p;
  }();
  return path;
}

// A 3-second 320x240 clip of a lavfi picture (with silence).
std::string Source(const std::string& name, const std::string& picture) {
  std::string path = test::MakeTempDir("src") + "/" + name + ".mkv";
  auto r = test::RunCommand({"ffmpeg", "-v", "error", "-nostdin", "-y", "-f", "lavfi", "-i",
                             picture + ",format=yuv420p", "-f", "lavfi", "-i",
                             "anullsrc=r=44100:cl=stereo", "-t", "3", "-c:v", "libx264", "-qp",
                             "0", "-c:a", "mp2", "file:" + path});
  EXPECT_EQ(r.exitCode, 0) << r.output;
  return path;
}

const std::string& Quadrant() {  // white top-left quadrant on black
  static const std::string path = Source(
      "quadrant", "color=black:size=320x240:rate=25,drawbox=x=0:y=0:w=160:h=120:color=white:t=fill");
  return path;
}
const std::string& Bar() {  // white vertical bar over columns 100..119
  static const std::string path =
      Source("bar", "color=black:size=320x240:rate=25,drawbox=x=100:y=0:w=20:h=240:color=white:t=fill");
  return path;
}
const std::string& Red() {
  static const std::string path = Source("red", "color=0xC03020:size=320x240:rate=25");
  return path;
}
const std::string& Gray() {
  static const std::string path = Source("gray", "color=0x808080:size=320x240:rate=25");
  return path;
}

struct Frame {
  int w = 0, h = 0;
  std::vector<unsigned char> rgb;
  int R(int x, int y) const { return rgb[(y * w + x) * 3]; }
  int G(int x, int y) const { return rgb[(y * w + x) * 3 + 1]; }
  int B(int x, int y) const { return rgb[(y * w + x) * 3 + 2]; }
  int Luma(int x, int y) const { return (R(x, y) + G(x, y) + B(x, y)) / 3; }
  double MeanLuma() const {
    double sum = 0;
    for (size_t i = 0; i < rgb.size(); ++i) sum += rgb[i];
    return sum / rgb.size();
  }
  // Mean distance of the colour from gray: 0 for neutral chroma.
  double MeanChroma() const {
    double sum = 0;
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x)
        sum += std::abs(R(x, y) - G(x, y)) + std::abs(G(x, y) - B(x, y)) + std::abs(B(x, y) - R(x, y));
    return sum / (w * h);
  }
};

// Converts `source` with the edit options and returns the output file.
std::string Convert(const std::string& source, std::vector<std::string> options) {
  std::string out = test::MakeTempDir("out");
  std::vector<std::string> argv = {kCli, "convert", "--profile", Profile(), "-o", out};
  argv.insert(argv.end(), options.begin(), options.end());
  argv.push_back(source);
  test::CommandResult r = test::RunCommand(argv);
  EXPECT_EQ(r.exitCode, 0) << r.output;
  std::string name(BaseName(source));
  return out + "/" + name.substr(0, name.rfind('.')) + ".avi";
}

// The frame at `seconds`, of `width` x `height` (the profile's 320x240 box
// holds a 4:3 picture whole).
Frame FrameOf(const std::string& file, double seconds = 1.0, int width = 320, int height = 240) {
  Frame f;
  f.rgb = test::DecodeFrameRgb(file, seconds, &f.w, &f.h);
  const size_t bytes = static_cast<size_t>(width) * height * 3;
  EXPECT_EQ(f.rgb.size(), bytes) << file;
  if (f.rgb.size() != bytes) f = {width, height, std::vector<unsigned char>(bytes)};
  return f;
}

TEST(EditConversion, TrimKeepsTheAskedSeconds) {
  std::string out = Convert(Quadrant(), {"--trim", "1-2"});
  test::ProbeFacts facts = test::ProbeWithFfprobe(out);
  EXPECT_NEAR(facts.durationSeconds, 1.0, 0.045);  // within one frame
}

TEST(EditConversion, CropIsScaledToTheProfileSize) {
  Frame f = FrameOf(Convert(Quadrant(), {"--crop", "0,0,160,120"}));
  EXPECT_EQ(f.w, 320);
  for (auto [x, y] : {std::pair{10, 10}, {310, 10}, {10, 230}, {310, 230}, {160, 120}})
    EXPECT_GT(f.Luma(x, y), 220) << x << "," << y;  // all of the white quadrant
}

TEST(EditConversion, FlipsMirrorThePicture) {
  Frame h = FrameOf(Convert(Quadrant(), {"--flip", "h"}));
  EXPECT_GT(h.Luma(240, 60), 220);
  EXPECT_LT(h.Luma(80, 60), 35);
  Frame v = FrameOf(Convert(Quadrant(), {"--flip", "v"}));
  EXPECT_GT(v.Luma(80, 180), 220);
  EXPECT_LT(v.Luma(80, 60), 35);
  Frame both = FrameOf(Convert(Quadrant(), {"--flip", "vh"}));
  EXPECT_GT(both.Luma(240, 180), 220);
}

// With a flip, the file holds the region the crop band covers, mirrored: the
// band over the left half shows the left half mirrored, a top strip the top
// strip upside down (never the opposite region).
TEST(EditConversion, FlipsWithACropKeepTheBandsRegion) {
  // A white box in the top-left corner (columns 0..39, rows 0..59); the other
  // halves are black.
  static const std::string corner =
      Source("corner", "color=black:size=320x240:rate=25,drawbox=x=0:y=0:w=40:h=60:color=white:t=fill");
  // Left half (2:3), mirrored, fitted upright into 240x320 as 214x320: the
  // box at columns 160..213, rows 0..79.
  Frame left = FrameOf(Convert(corner, {"--flip", "h", "--crop", "0,0,160,240"}), 1.0, 214, 320);
  EXPECT_GT(left.Luma(190, 40), 220);
  EXPECT_LT(left.Luma(20, 40), 35);
  EXPECT_LT(left.Luma(190, 160), 35);
  // Top strip (8:3), upside down, 320x120: the box at rows 60..119.
  Frame top = FrameOf(Convert(corner, {"--flip", "v", "--crop", "0,0,320,120"}), 1.0, 320, 120);
  EXPECT_GT(top.Luma(20, 90), 220);
  EXPECT_LT(top.Luma(20, 30), 35);
  EXPECT_LT(top.Luma(200, 90), 35);
}

TEST(EditConversion, ColourEffects) {
  Frame red = FrameOf(Convert(Red(), {}));
  EXPECT_GT(red.MeanChroma(), 100);
  Frame gray = FrameOf(Convert(Red(), {"--effect", "gray"}));
  EXPECT_LT(gray.MeanChroma(), 8);
  Frame inverted = FrameOf(Convert(Quadrant(), {"--effect", "invert"}));
  EXPECT_LT(inverted.Luma(80, 60), 35);
  EXPECT_GT(inverted.Luma(240, 180), 220);
  Frame aged = FrameOf(Convert(Gray(), {"--effect", "aged-film"}));
  EXPECT_GT(aged.R(160, 120), aged.B(160, 120) + 20);  // a warm, sepia-like cast
}

TEST(EditConversion, BrightnessContrastSaturationMoveTheAverages) {
  Frame plain = FrameOf(Convert(Gray(), {}));
  Frame brighter = FrameOf(Convert(Gray(), {"--brightness", "40"}));
  Frame darker = FrameOf(Convert(Gray(), {"--brightness", "-40"}));
  EXPECT_GT(brighter.MeanLuma(), plain.MeanLuma() + 25);
  EXPECT_LT(darker.MeanLuma(), plain.MeanLuma() - 25);

  Frame quadrant = FrameOf(Convert(Quadrant(), {}));
  Frame flat = FrameOf(Convert(Quadrant(), {"--contrast", "50"}));
  int spread = quadrant.Luma(80, 60) - quadrant.Luma(240, 180);
  int flatSpread = flat.Luma(80, 60) - flat.Luma(240, 180);
  EXPECT_LT(flatSpread, spread * 0.7);

  Frame red = FrameOf(Convert(Red(), {}));
  Frame pale = FrameOf(Convert(Red(), {"--saturation", "30"}));
  Frame vivid = FrameOf(Convert(Red(), {"--saturation", "150"}));
  EXPECT_LT(pale.MeanChroma(), red.MeanChroma() * 0.6);
  EXPECT_GT(vivid.MeanChroma(), red.MeanChroma() * 1.1);
}

TEST(EditConversion, TextWatermarkStaysInItsBox) {
  Frame f = FrameOf(Convert(Gray(), {"--text", "WWW: it's \"x\"", "--text-color", "ffffff",
                                     "--text-size", "40", "--text-pos", "20,100"}));
  int lit = 0;
  for (int y = 100; y < 140; ++y)
    for (int x = 20; x < 300; ++x) lit += f.Luma(x, y) > 220;
  EXPECT_GT(lit, 300);
  for (auto [x, y] : {std::pair{10, 10}, {300, 20}, {160, 220}, {5, 120}})
    EXPECT_NEAR(f.Luma(x, y), 128, 12) << x << "," << y;
}

TEST(EditConversion, PictureWatermarkMatchesThePng) {
  std::string dir = test::MakeTempDir("wm dir #$ 'q' é");
  std::string png = dir + "/logo: 1.png";
  auto made = test::RunCommand({"ffmpeg", "-v", "error", "-y", "-f", "lavfi", "-i",
                                "color=0x20C040:size=40x30", "-frames:v", "1", "file:" + png});
  ASSERT_EQ(made.exitCode, 0) << made.output;
  Frame f = FrameOf(Convert(Quadrant(), {"--picture", png, "--picture-pos", "200,100", "--flip", "h"}));
  for (auto [x, y] : {std::pair{205, 105}, {235, 125}, {220, 115}}) {
    EXPECT_NEAR(f.R(x, y), 0x20, 25) << x << "," << y;
    EXPECT_NEAR(f.G(x, y), 0xC0, 25) << x << "," << y;
    EXPECT_NEAR(f.B(x, y), 0x40, 25) << x << "," << y;
  }
  EXPECT_LT(f.Luma(250, 180), 35);  // outside the picture: the flipped source
  EXPECT_GT(f.Luma(280, 60), 220);
}

TEST(EditConversion, ThreeDModesMakeTheirLayouts) {
  Frame redCyan = FrameOf(Convert(Bar(), {"--3d", "red-cyan", "--3d-depth", "10"}));
  // Red from the view moved by +10 (bar at 90..109), cyan from the other (110..129).
  EXPECT_GT(redCyan.R(95, 120), 200);
  EXPECT_LT(redCyan.G(95, 120), 60);
  EXPECT_GT(redCyan.G(125, 120), 200);
  EXPECT_GT(redCyan.B(125, 120), 200);
  EXPECT_LT(redCyan.R(125, 120), 60);

  Frame blueYellow = FrameOf(Convert(Bar(), {"--3d", "blue-yellow", "--3d-depth", "10"}));
  EXPECT_GT(blueYellow.B(95, 120), 200);
  EXPECT_GT(blueYellow.R(125, 120), 200);
  EXPECT_GT(blueYellow.G(125, 120), 200);

  Frame interleaved = FrameOf(Convert(Bar(), {"--3d", "interleaved", "--3d-depth", "10"}));
  int evenAt95 = interleaved.Luma(95, 100) + interleaved.Luma(95, 102);
  int oddAt95 = interleaved.Luma(95, 101) + interleaved.Luma(95, 103);
  EXPECT_GT(evenAt95, oddAt95 + 150);

  Frame sideBySide = FrameOf(Convert(Bar(), {"--3d", "side-by-side"}));
  EXPECT_GT(sideBySide.Luma(55, 120), 200);
  EXPECT_GT(sideBySide.Luma(215, 120), 200);
  EXPECT_LT(sideBySide.Luma(110, 120), 40);
}

}  // namespace
}  // namespace mivora
