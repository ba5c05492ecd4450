#include <gtest/gtest.h>

#include <chrono>

#include "common/Folders.h"
#include "pipeline/ConvertHelper.h"
#include "pipeline/Trancor.h"
#include "tests/pipeline/PipelineTestSupport.h"

namespace mivora {
namespace {

// A program folder without an engine; set before the engine path is first
// computed, which happens once per process.
class MissingEngine : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { SetProgramFolder(test::MakeTempDir("no-engine")); }
};

TEST_F(MissingEngine, ConversionFailsWithItsThreeLogLines) {
  ConvertHelper helper;
  int exitCode = 12345;
  EXPECT_FALSE(helper.ConvertStart("/in.mp4", "/out.avi", 5, "-vcodec mpeg4 ", &exitCode));
  EXPECT_EQ(exitCode, 12345);
  std::vector<std::string> lines = test::LogLinesWith("ConvertHelper, ");
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_NE(lines[0].find("Enter: ConvertHelper::ConvertStart"), std::string::npos);
  EXPECT_NE(lines[1].find("ConvertHelper::ConvertStart, CmdLine: \"" + ProgramFolderSlash() +
                          "trancor\" -i \"/in.mp4\" -dxva2 0 -hwnd 5 -vcodec mpeg4  \"/out.avi\""),
            std::string::npos)
      << lines[1];
  EXPECT_NE(lines[2].find("Leave: ConvertHelper::ConvertStart, CreateProcess: FALSE"),
            std::string::npos);
  auto start = std::chrono::steady_clock::now();
  helper.Stop();
  EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 0.1);
}

TEST_F(MissingEngine, ProbeFindsNothing) {
  Trancor probe;
  MediaInfo info;
  info.video.duration = "stale";
  info.audio.audioCodec = "stale";
  EXPECT_FALSE(probe.Probe("/in.mp4", &info.video, &info.audio));
  EXPECT_NE(probe.EngineError().find(ProgramFolderSlash() + "trancor: No such file or directory"),
            std::string::npos)
      << probe.EngineError();
  EXPECT_EQ(info.video.duration, "");
  EXPECT_EQ(info.audio.audioCodec, "");
}

}  // namespace
}  // namespace mivora
