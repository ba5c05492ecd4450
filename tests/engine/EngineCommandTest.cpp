#include <gtest/gtest.h>

#include "tools/trancor/EngineCommand.h"

namespace mivora::trancor {
namespace {

TEST(EngineCommand, ProbeIsOnlyAnInput) {
  ParsedCommand parsed = ParseEngineCommand({"-i", "-name with blank.avi"});
  ASSERT_TRUE(parsed.ok) << parsed.error;
  EXPECT_TRUE(parsed.command.probe);
  EXPECT_EQ(parsed.command.input, "-name with blank.avi");
}

TEST(EngineCommand, ConversionReadsEveryOptionTheProgramWrites) {
  ParsedCommand parsed = ParseEngineCommand(
      {"-i", "in.avi", "-dxva2", "0", "-hwnd", "4000000000", "-b", "1000k", "-r", "25",
       "-aspect", "4:3", "-ab", "128k", "-ar", "44100", "-ac", "2", "-vol", "384", "-vcodec",
       "libxvid", "-acodec", "dca", "-strict", "experimental", "-s", "640x480", "-vf",
       "crop=600:400:20:40,scale=640:480", "-ss", "10", "-t", "60", "-d3dmode", "0",
       "-d3ddepth", "5", "-an", "-vn", "-out.avi"});
  ASSERT_TRUE(parsed.ok) << parsed.error;
  const EngineCommand& c = parsed.command;
  EXPECT_FALSE(c.probe);
  EXPECT_EQ(c.input, "in.avi");
  EXPECT_EQ(c.output, "-out.avi");
  EXPECT_EQ(c.hwnd, 4000000000u);
  EXPECT_EQ(c.videoBitrate, "1000k");
  EXPECT_EQ(c.frameRate, "25");
  EXPECT_EQ(c.aspect, "4:3");
  EXPECT_EQ(c.audioBitrate, "128k");
  EXPECT_EQ(c.sampleRate, "44100");
  EXPECT_EQ(c.channels, "2");
  EXPECT_EQ(c.volume, 384);
  EXPECT_EQ(c.videoCodec, "libxvid");
  EXPECT_EQ(c.audioCodec, "dca");
  EXPECT_EQ(c.strict, "experimental");
  EXPECT_EQ(c.size, "640x480");
  ASSERT_EQ(c.videoFilters.size(), 1u);
  EXPECT_EQ(c.videoFilters[0], "crop=600:400:20:40,scale=640:480");
  EXPECT_EQ(c.seek, "10");
  EXPECT_EQ(c.length, "60");
  EXPECT_EQ(c.d3dDepth, 5);
  EXPECT_TRUE(c.noAudio);
  EXPECT_TRUE(c.noVideo);
}

TEST(EngineCommand, TargetsAreAccepted) {
  for (const char* target : {"ntsc-dvd", "ntsc-svcd", "ntsc-vcd"}) {
    ParsedCommand parsed = ParseEngineCommand({"-i", "a", "-target", target, "b.mpg"});
    ASSERT_TRUE(parsed.ok) << target << ": " << parsed.error;
    EXPECT_EQ(parsed.command.target, target);
  }
}

TEST(EngineCommand, RejectsWhatItCannotRead) {
  struct Case {
    std::vector<std::string> args;
    const char* errorPart;
  };
  const Case cases[] = {
      {{}, "usage"},
      {{"-i"}, "usage"},
      {{"-i", ""}, "empty"},
      {{"-i", "a", "-b", "out.avi"}, "-b needs a value"},
      {{"-i", "a", "-bogus", "1", "out.avi"}, "unknown option \"-bogus\""},
      {{"-i", "a", "stray", "out.avi"}, "unknown option \"stray\""},
      {{"-i", "a", "-i", "b", "out.avi"}, "more than one input"},
      {{"-b", "1k", "-r", "25", "out.avi"}, "no input"},
      {{"-i", "a", "-hwnd", "12x", "out.avi"}, "invalid value \"12x\" for -hwnd"},
      {{"-i", "a", "-hwnd", "-5", "out.avi"}, "invalid value"},
      {{"-i", "a", "-vol", "loud", "out.avi"}, "invalid value"},
      {{"-i", "a", "-target", "pal-dv", "out.avi"}, "invalid value"},
      {{"-i", "a", "-pix_fmt", "yuv420p,x", "out.avi"}, "invalid value"},
      {{"-i", "a", "-pix_fmt", "", "out.avi"}, "invalid value"},
      {{"-i", "a", "-vn", ""}, "output file name is empty"},
  };
  for (const Case& c : cases) {
    ParsedCommand parsed = ParseEngineCommand(c.args);
    EXPECT_FALSE(parsed.ok) << ::testing::PrintToString(c.args);
    EXPECT_NE(parsed.error.find(c.errorPart), std::string::npos)
        << ::testing::PrintToString(c.args) << " gave: " << parsed.error;
  }
}

}  // namespace
}  // namespace mivora::trancor
