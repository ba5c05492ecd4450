// The player's pure pieces: its command line, the handed-over frame size, the
// display filter chain and the status text.
#include <gtest/gtest.h>

extern "C" {
#include <libavutil/pixfmt.h>
}

#include "platform/PlayerSharedBlock.h"
#include "tools/colour/ColourRule.h"
#include "tools/playrun/DisplayFilter.h"
#include "tools/playrun/FrameFit.h"
#include "tools/playrun/PlayerCommand.h"
#include "tools/playrun/StatusText.h"

namespace mivora::playrun {
namespace {

TEST(PlayerCommand, ReadsTheLibrarysLineAndRefusesWhatItCannotUse) {
  const std::vector<std::string> full = {"-framedrop", "1", "-capyuv", "0", "-hwnd", "1234",
                                         "-shmem", "_scshare99", "-x", "640", "-y", "360",
                                         "-ptsoffset", "1000", "/v/clip one.flv"};
  ParsedPlayerCommand parsed = ParsePlayerCommand(full);
  ASSERT_TRUE(parsed.ok) << parsed.error;
  EXPECT_TRUE(parsed.command.frameDrop);
  EXPECT_FALSE(parsed.command.captureYuv);
  EXPECT_EQ(parsed.command.windowEndpoint, 1234u);
  EXPECT_EQ(parsed.command.blockName, "_scshare99");
  EXPECT_EQ(parsed.command.windowWidth, 640);
  EXPECT_EQ(parsed.command.windowHeight, 360);
  EXPECT_EQ(parsed.command.ptsOffsetMs, 1000);
  EXPECT_EQ(parsed.command.file, "/v/clip one.flv");

  EXPECT_EQ(parsed.command.frameLimit, 0);
  parsed = ParsePlayerCommand({"-hwnd", "1", "-shmem", "b", "-frames", "1", "f.mp4"});
  ASSERT_TRUE(parsed.ok) << parsed.error;
  EXPECT_EQ(parsed.command.frameLimit, 1);

  // A file named like an option is still the file, being last.
  parsed = ParsePlayerCommand({"-hwnd", "1", "-shmem", "b", "-x"});
  ASSERT_TRUE(parsed.ok) << parsed.error;
  EXPECT_EQ(parsed.command.file, "-x");

  struct Bad {
    std::vector<std::string> args;
    const char* why;
  };
  const Bad bad[] = {
      {{}, "no media file"},
      {{"-hwnd", "1", "f"}, "-hwnd and -shmem"},
      {{"-shmem", "b", "f"}, "-hwnd and -shmem"},
      {{"-hwnd", "0", "-shmem", "b", "f"}, "bad value for -hwnd"},
      {{"-hwnd", "2147483648", "-shmem", "b", "f"}, "bad value for -hwnd"},
      {{"-hwnd", "12x", "-shmem", "b", "f"}, "bad value for -hwnd"},
      {{"-hwnd", "1", "-shmem", "../etc", "f"}, "bad shared block name"},
      {{"-hwnd", "1", "-shmem", "b", "-framedrop", "2", "f"}, "bad value for -framedrop"},
      {{"-hwnd", "1", "-shmem", "b", "-x", "-5", "f"}, "bad value for -x"},
      {{"-hwnd", "1", "-shmem", "b", "-loop", "1", "f"}, "unknown option"},
      {{"-hwnd", "1", "-shmem", "b", "-frames", "-1", "f"}, "bad value for -frames"},
  };
  for (const Bad& b : bad) {
    parsed = ParsePlayerCommand(b.args);
    EXPECT_FALSE(parsed.ok);
    EXPECT_NE(parsed.error.find(b.why), std::string::npos) << parsed.error;
  }
}

TEST(FrameFit, SidesAreEvenAndTooLargeFramesShrinkKeepingTheirShape) {
  struct Case {
    int width, height;
    FrameSize expected;  // {0, 0}: only the limits are checked
  };
  const Case cases[] = {
      {320, 240, {320, 240}},   {1920, 1080, {1920, 1080}}, {321, 241, {320, 240}},
      {1, 1, {2, 2}},           {2560, 1440, {}},          {3840, 2160, {}},
      {7680, 4320, {}},         {100000, 10, {}},          {16, 90000, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height));
    FrameSize size = FitFrameSize(c.width, c.height);
    EXPECT_EQ(size.width % 2, 0);
    EXPECT_EQ(size.height % 2, 0);
    EXPECT_LE(playerblock::FrameBytes(size.width, size.height), playerblock::kFrameCapacity);
    EXPECT_LE(size.width, 65535);
    EXPECT_LE(size.height, 65535);
    if (c.expected.width > 0) {
      EXPECT_EQ(size, c.expected);
      continue;
    }
    // Shrunk: the aspect ratio stays (within the rounding to even sides) and
    // the block is used well, not shrunk more than needed.
    const double ratio = double(c.width) / c.height;
    EXPECT_NEAR(double(size.width) / size.height, ratio,
                ratio * (2.0 / size.width + 2.0 / size.height) + 0.01);
    if (c.width < 20000 && c.height < 20000)
      EXPECT_GT(playerblock::FrameBytes(size.width, size.height), playerblock::kFrameCapacity * 0.97);
  }
}

// Ordinary frames need no filter graph; a turn or a PQ/HLG transfer does,
// and a frame too large for the block is scaled down before the costly steps.
// A PQ or HLG frame that names no primaries or matrix is taken as BT.2020.
TEST(DisplayChain, OnlyTurnedOrHdrFramesAreFiltered) {
  const DisplayTurn none, clockwise{"transpose=clock", true};
  auto frame = [](int width, int height, int transfer, int primaries = AVCOL_PRI_BT2020,
                  int matrix = AVCOL_SPC_BT2020_NCL) { return FrameFacts{width, height, transfer, primaries, matrix}; };
  EXPECT_EQ(DisplayChain(frame(1920, 1080, AVCOL_TRC_BT709), none), "");
  EXPECT_EQ(DisplayChain(frame(1920, 1080, AVCOL_TRC_UNSPECIFIED), none), "");
  EXPECT_EQ(DisplayChain(frame(1280, 720, AVCOL_TRC_BT709), clockwise), "transpose=clock");
  EXPECT_EQ(DisplayChain(frame(1280, 720, AVCOL_TRC_SMPTE2084), none), colour::kToneMapToSdr);
  EXPECT_EQ(DisplayChain(frame(1280, 720, AVCOL_TRC_ARIB_STD_B67), clockwise),
            std::string("transpose=clock,") + colour::kToneMapToSdr);
  EXPECT_EQ(DisplayChain(frame(1280, 720, AVCOL_TRC_SMPTE2084, AVCOL_PRI_UNSPECIFIED, AVCOL_SPC_UNSPECIFIED), none),
            std::string("setparams=color_primaries=bt2020:colorspace=bt2020nc,") + colour::kToneMapToSdr);
  EXPECT_EQ(DisplayChain(frame(1280, 720, AVCOL_TRC_SMPTE2084, AVCOL_PRI_BT2020, AVCOL_SPC_UNSPECIFIED), none),
            std::string("setparams=colorspace=bt2020nc,") + colour::kToneMapToSdr);
  const FrameSize fitted = FitFrameSize(3840, 2160);
  EXPECT_EQ(DisplayChain(frame(3840, 2160, AVCOL_TRC_SMPTE2084), clockwise),
            "scale=" + std::to_string(fitted.width) + ":" + std::to_string(fitted.height) + ",transpose=clock," +
                colour::kToneMapToSdr);
}

// The display matrix is read as ffmpeg's automatic rotation reads it: the
// turn, and a mirror by the matrix's signs. (16.16 fixed point.)
TEST(DisplayTurn, FollowsTheWholeMatrixAsTheEngineDoes) {
  constexpr int32_t k1 = 1 << 16, kM = -(1 << 16), kW = 1 << 30;
  struct Case {
    const char* name;
    int32_t m[9];
    const char* filters;
    bool exchanged;
  };
  const Case cases[] = {
      {"identity", {k1, 0, 0, 0, k1, 0, 0, 0, kW}, "", false},
      {"turned 90", {0, k1, 0, kM, 0, 0, 0, 0, kW}, "transpose=clock", true},
      {"turned 180", {kM, 0, 0, 0, kM, 0, 0, 0, kW}, "hflip,vflip", false},
      {"turned 270", {0, kM, 0, k1, 0, 0, 0, 0, kW}, "transpose=cclock", true},
      {"turned 90 and mirrored", {0, k1, 0, k1, 0, 0, 0, 0, kW}, "transpose=cclock_flip", true},
      {"turned 270 and mirrored", {0, kM, 0, kM, 0, 0, 0, 0, kW}, "transpose=clock_flip", true},
      {"mirrored left to right", {kM, 0, 0, 0, k1, 0, 0, 0, kW}, "hflip", false},
      {"mirrored top to bottom", {k1, 0, 0, 0, kM, 0, 0, 0, kW}, "vflip", false},
      {"empty", {0, 0, 0, 0, 0, 0, 0, 0, 0}, "", false},
  };
  for (const Case& c : cases) {
    const DisplayTurn turn = TurnOfMatrix(c.m);
    EXPECT_EQ(turn.filters, c.filters) << c.name;
    EXPECT_EQ(turn.exchangesSides, c.exchanged) << c.name;
  }
  EXPECT_EQ(TurnOfMatrix(nullptr).filters, "");
}

TEST(StatusText, HoldsEveryPieceTheHostReads) {
  struct Case {
    int64_t position, duration;
    int width, height;
    const char* text;
  };
  const Case cases[] = {
      {0, 10000, 320, 240, "0:00:00/0:00:10 (0) [10000] <320x240>"},
      {65000, 600000, 720, 480, "0:01:05/0:10:00 (65000) [600000] <720x480>"},
      {3723999, 7200000, 1920, 1080, "1:02:03/2:00:00 (3723999) [7200000] <1920x1080>"},
      {-40, 0, 0, 0, "0:00:00/0:00:00 (0) [0] <0x0>"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(StatusText(c.position, c.duration, c.width, c.height), c.text);
}

}  // namespace
}  // namespace mivora::playrun
