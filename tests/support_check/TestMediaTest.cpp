#include <gtest/gtest.h>

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

}  // namespace
}  // namespace mivora::test
