#include <gtest/gtest.h>

#include "tests/support/Mp4Rotation.h"
#include "tests/support/TestEnvironment.h"
#include "tests/support/TestMedia.h"

namespace mivora::test {
namespace {

// The helpers every end-to-end test stands on: a generated clip probes back
// with the asked facts.
TEST(TestMedia, GeneratedClipsProbeBackAsAsked) {
  std::string dir = MakeTempDir("media");
  GenerateClip(dir + "/-odd name.mp4", {.seconds = 1, .width = 176, .height = 144, .frameRate = 15});
  ProbeFacts mp4 = ProbeWithFfprobe(dir + "/-odd name.mp4");
  ASSERT_TRUE(mp4.readable);
  EXPECT_EQ(mp4.video.codec, "h264");
  EXPECT_EQ(mp4.video.width, 176);
  EXPECT_EQ(mp4.video.height, 144);
  EXPECT_DOUBLE_EQ(mp4.video.frameRate, 15);
  EXPECT_EQ(mp4.audio.codec, "aac");
  EXPECT_NEAR(mp4.durationSeconds, 1.0, 0.1);

  GenerateClip(dir + "/tone.wav", {.seconds = 1, .video = false});
  ProbeFacts wav = ProbeWithFfprobe(dir + "/tone.wav");
  EXPECT_FALSE(wav.video.present);
  EXPECT_EQ(wav.audio.channels, 2);

  int w = 0, h = 0;
  auto rgb = DecodeFrameRgb(dir + "/-odd name.mp4", 0.5, &w, &h);
  EXPECT_EQ(rgb.size(), 176u * 144u * 3u);
  EXPECT_FALSE(ProbeWithFfprobe(dir + "/missing.mp4").readable);
}

// A rotated clip reads back with its turn from ffprobe, and ffmpeg's own
// decode comes out turned (coded 176x144, shown 144x176). A file without a
// video track is refused.
TEST(TestMedia, RotatedClipsReadBackWithTheirTurn) {
  std::string dir = MakeTempDir("rotated");
  for (int degrees : {90, 180, 270}) {
    std::string path = dir + "/turned" + std::to_string(degrees) + ".mp4";
    GenerateRotatedClip(path, {.seconds = 0.4, .width = 176, .height = 144, .audio = false}, degrees);
    EXPECT_EQ(ProbeRotationWithFfprobe(path), degrees);
    EXPECT_EQ(ProbeWithFfprobe(path).video.width, 176);
  }
  CommandResult decode = RunCommand({"ffmpeg", "-v", "error", "-i", dir + "/turned90.mp4", "-frames:v", "1",
                                     "-y", dir + "/frame.png"});
  ASSERT_EQ(decode.exitCode, 0) << decode.output;
  ProbeFacts shown = ProbeWithFfprobe(dir + "/frame.png");
  EXPECT_EQ(shown.video.width, 144);
  EXPECT_EQ(shown.video.height, 176);
  int w = 0, h = 0;
  EXPECT_EQ(DecodeFrameRgb(dir + "/turned90.mp4", 0.1, &w, &h).size(), 144u * 176u * 3u);
  EXPECT_EQ(w, 144);
  EXPECT_EQ(h, 176);

  std::string error;
  GenerateClip(dir + "/tone.m4a", {.seconds = 0.4, .video = false});
  EXPECT_FALSE(SetMp4Rotation(dir + "/tone.m4a", 90, &error));
  EXPECT_NE(error.find("no video track"), std::string::npos) << error;
  EXPECT_FALSE(SetMp4Rotation(dir + "/turned90.mp4", 45, &error));
  EXPECT_EQ(ProbeRotationWithFfprobe(dir + "/turned90.mp4"), 90);
}

}  // namespace
}  // namespace mivora::test
