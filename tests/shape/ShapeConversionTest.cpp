// Every output keeps the picture's shape: sources of four shapes (a portrait
// phone clip, 4:3, 2.39:1, anamorphic PAL) converted through mivora-cli with
// one profile of every video group. The picture the file shows (bars left
// out) must have the source's displayed aspect within 1 %, and score at
// least 30 dB against ffmpeg's own fit of the same source; portrait sources
// stay portrait outside the fixed-frame group.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>

#include "common/Folders.h"
#include "tests/support/RealSourceMedia.h"
#include "tests/support/TestEnvironment.h"
#include "tests/support/TestMedia.h"

namespace mivora {
namespace {

const std::string kCli = std::string(MIVORA_PROGRAM_DIR) + "/mivora-cli";
constexpr double kAt = 0.5;  // seconds into the clip

struct Source {
  const char* name;
  test::ShapedClip shape;
  double displayAspect;  // width / height as shown
};

const Source kSources[] = {
    {"portrait phone", {1920, 1080, 0, 0, 90}, 1080.0 / 1920},
    {"4:3 SD", {640, 480}, 4.0 / 3},
    {"2.39:1", {956, 400}, 956.0 / 400},
    {"anamorphic PAL", {720, 576, 64, 45}, 16.0 / 9},
};

struct Target {
  const char* profile;  // under Profiles/
  bool fixedFrame;
  int width = 0, height = 0;  // the fixed frame
  double aspect = 0;          // its display aspect
};

const Target kTargets[] = {
    {"General Video/MP4 - MPEG-4 H.264 Video.xml", false},
    {"General Video/DV - Digital Video (PAL).xml", true, 720, 576, 4.0 / 3},
    {"HD Video/MP4 - H.264 HD 720p.xml", false},
    {"Phones/Smartphone 800x480 (MP4).xml", false},
    {"Tablets/Tablet 1024x768 (MP4).xml", false},
    {"Game Consoles/Handheld Console 480x272 (MP4).xml", false},
    {"DVD VCD SVCD/DVD Video NTSC.xml", true, 720, 480, 4.0 / 3},
    {"DVD VCD SVCD/DVD MPEG-2 PAL.xml", true, 720, 576, 4.0 / 3},
};

const std::string& SourceClip(const Source& source) {
  static std::map<std::string, std::string> clips;
  std::string& path = clips[source.name];
  if (path.empty()) {
    path = test::MakeTempDir("source") + "/source.mp4";
    test::GenerateShapedClip(path, source.shape);
  }
  return path;
}

std::string Convert(const std::string& source, const std::string& profile) {
  const std::string out = test::MakeTempDir("out");
  test::CommandResult r = test::RunCommand({kCli, "convert", "--profile", profile, "-o", out, source});
  EXPECT_EQ(r.exitCode, 0) << r.output;
  for (const char* ext : {"mp4", "dv", "mpg"})
    if (::access((out + "/source." + ext).c_str(), F_OK) == 0) return out + "/source." + ext;
  return "";
}

// The sample aspect ffprobe reads ("64:45"); 1 when none.
double SampleAspect(const std::string& path) {
  int num = 0, den = 0;
  if (std::sscanf(test::VideoStreamField(path, "sample_aspect_ratio").c_str(), "%d:%d", &num, &den) != 2 ||
      num <= 0 || den <= 0)
    return 1;
  return static_cast<double>(num) / den;
}

struct Box {
  int left = 0, top = 0, width = 0, height = 0;
};

// Where the picture lies in the frame at `kAt`: the rows and columns mostly
// brighter than black.
Box PictureIn(const std::string& path, int width, int height) {
  const std::string raw = test::MakeTempDir("gray") + "/frame.gray";
  test::RunCommand({"ffmpeg", "-v", "error", "-nostdin", "-y", "-ss", std::to_string(kAt), "-i", "file:" + path,
                    "-frames:v", "1", "-f", "rawvideo", "-pix_fmt", "gray", "file:" + raw});
  const std::string data = test::ReadFile(raw);
  if (data.size() != static_cast<size_t>(width) * height) return {};
  auto bright = [&](int x, int y) { return static_cast<unsigned char>(data[y * width + x]) > 45; };
  std::vector<int> rowCount(height), columnCount(width);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      if (bright(x, y)) ++rowCount[y], ++columnCount[x];
  Box box{width, height, 0, 0};
  int right = -1, bottom = -1;
  for (int y = 0; y < height; ++y)
    if (rowCount[y] > width / 4) box.top = std::min(box.top, y), bottom = y;
  for (int x = 0; x < width; ++x)
    if (columnCount[x] > height / 4) box.left = std::min(box.left, x), right = x;
  box.width = right - box.left + 1;
  box.height = bottom - box.top + 1;
  return box;
}

// Luma PSNR of the output's picture against ffmpeg's own fit of the source
// into a frame of the output's displayed size (square pixels, the source's
// pixels made square first, centred with black bars), both cropped to the
// picture's place.
double PsnrAgainstFfmpegFit(const std::string& output, const std::string& source, int displayWidth,
                            int displayHeight, const Box& picture) {
  const std::string size = std::to_string(displayWidth) + ":" + std::to_string(displayHeight);
  const std::string crop = "crop=" + std::to_string(picture.width) + ":" + std::to_string(picture.height) + ":" +
                           std::to_string(picture.left) + ":" + std::to_string(picture.top);
  const std::string graph = "[0:v]scale=" + size + ",setsar=1," + crop + "[a];[1:v]scale=trunc(iw*sar/2)*2:ih,"
                            "setsar=1,scale=" + size + ":force_original_aspect_ratio=decrease,pad=" + size +
                            ":-1:-1:black,setsar=1," + crop + "[b];[a][b]psnr";
  test::CommandResult r = test::RunCommand({"ffmpeg", "-hide_banner", "-nostdin", "-ss", std::to_string(kAt), "-i",
                                            "file:" + output, "-ss", std::to_string(kAt), "-i", "file:" + source,
                                            "-filter_complex", graph, "-frames:v", "1", "-f", "null", "-"});
  const size_t at = r.output.find("PSNR y:");
  EXPECT_NE(at, std::string::npos) << r.output;
  if (at == std::string::npos) return 0;
  return std::strncmp(r.output.c_str() + at + 7, "inf", 3) == 0 ? 99 : std::atof(r.output.c_str() + at + 7);
}

TEST(ShapeConversion, EveryGroupKeepsThePicturesShape) {
  std::string table = "| source | profile | frame | picture | aspect error | dB |\n|---|---|---|---|---|---|\n";
  for (const Target& target : kTargets) {
    const std::string profile = std::string(MIVORA_PROGRAM_DIR) + "/Profiles/" + target.profile;
    for (const Source& source : kSources) {
      SCOPED_TRACE(std::string(source.name) + " into " + target.profile);
      const std::string output = Convert(SourceClip(source), profile);
      ASSERT_FALSE(output.empty());
      const test::ProbeFacts facts = test::ProbeWithFfprobe(output);
      ASSERT_TRUE(facts.video.present);
      const int width = facts.video.width, height = facts.video.height;
      const double sampleAspect = SampleAspect(output);
      if (target.fixedFrame) {
        EXPECT_EQ(width, target.width);
        EXPECT_EQ(height, target.height);
        EXPECT_NEAR(width * sampleAspect / height, target.aspect, 0.01);
      } else {
        EXPECT_EQ(sampleAspect, 1.0) << "square pixels";
        EXPECT_EQ(width % 2 + height % 2, 0) << "even sides";
        EXPECT_EQ(height > width, source.displayAspect < 1) << "portrait stays portrait";
      }
      const Box picture = PictureIn(output, width, height);
      ASSERT_GT(picture.width, 0);
      if (!target.fixedFrame) {
        EXPECT_EQ(picture.width, width) << "no bars in a box";
        EXPECT_EQ(picture.height, height);
      }
      const double shown = picture.width * sampleAspect / picture.height;
      const double aspectError = std::abs(shown / source.displayAspect - 1);
      EXPECT_LT(aspectError, 0.01) << picture.width << "x" << picture.height;
      // Compared where the picture lies, in square pixels.
      const int displayWidth = static_cast<int>(std::lround(width * sampleAspect / 2)) * 2;
      const double toDisplay = static_cast<double>(displayWidth) / width;
      // A few pixels in from the picture's edges: the two fits may round its
      // place and size a pixel apart, and a column of bar against one of
      // picture is no measure of the content.
      constexpr int kInset = 4;
      const Box shownBox{static_cast<int>(std::lround(picture.left * toDisplay)) + kInset, picture.top + kInset,
                         static_cast<int>(picture.width * toDisplay) - 2 * kInset, picture.height - 2 * kInset};
      const double psnr = PsnrAgainstFfmpegFit(output, SourceClip(source), displayWidth, height, shownBox);
      EXPECT_GE(psnr, 30);
      char row[300];
      std::snprintf(row, sizeof row, "| %s | %s | %dx%d | %dx%d | %.2f %% | %.1f |\n", source.name, target.profile,
                    width, height, picture.width, picture.height, aspectError * 100, psnr);
      table += row;
    }
  }
  std::printf("\n%s\n", table.c_str());
}

}  // namespace
}  // namespace mivora
