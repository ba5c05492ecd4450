// The reason for the newer codecs: on the same camera-like 1080p clip at the
// same bit rate, the H.265 and AV1 profiles keep more of the picture (PSNR
// and SSIM against the source) than the H.264 profile. Prints the table.

#include <gtest/gtest.h>

#include <cstdio>

#include "common/Folders.h"
#include "profiles/XmlDocument.h"
#include "tests/support/RealSourceMedia.h"
#include "tests/support/TestEnvironment.h"
#include "tests/support/TestMedia.h"

namespace mivora {
namespace {

const std::string kCli = std::string(MIVORA_PROGRAM_DIR) + "/mivora-cli";
const std::string kProfiles = std::string(MIVORA_PROGRAM_DIR) + "/Profiles/";
constexpr const char* kBitrate = "2000";  // kbit/s, for every codec
constexpr const char* kSize = "1920x1080";

// A copy of a shipped profile set to the common frame size and bit rate.
std::string ProfileAt(const std::string& shipped) {
  XmlDocument document;
  EXPECT_TRUE(document.Load(kProfiles + shipped));
  document.Root().SelectChild("VideoBitrate", true).SetAttribute("value", kBitrate);
  document.Root().SelectChild("VideoSize", true).SetAttribute("value", kSize);
  std::string copy = test::MakeTempDir("profile") + "/" + std::string(BaseName(shipped));
  EXPECT_TRUE(document.Save(copy));
  return copy;
}

struct Score {
  double psnr = 0, ssim = 0;
};

// ffmpeg's average PSNR (dB) and SSIM of `encoded` against `source`.
Score Measure(const std::string& encoded, const std::string& source) {
  test::CommandResult r = test::RunCommand(
      {"ffmpeg", "-hide_banner", "-nostdin", "-i", "file:" + encoded, "-i", "file:" + source, "-lavfi",
       "[0:v]split[a][b];[1:v]split[c][d];[a][c]psnr;[b][d]ssim", "-f", "null", "-"});
  Score score;
  size_t psnr = r.output.find("average:"), ssim = r.output.find("All:");
  if (psnr != std::string::npos) score.psnr = std::atof(r.output.c_str() + psnr + 8);
  if (ssim != std::string::npos) score.ssim = std::atof(r.output.c_str() + ssim + 4);
  return score;
}

TEST(ProfileQuality, H265AndAv1KeepMoreThanH264AtTheSameBitrate) {
  std::string source = test::MakeTempDir("camera") + "/camera.mkv";
  test::GenerateCameraClip(source, 1920, 1080, 2);
  struct Row {
    const char* profile;
    const char* extension;
    Score score;
    long long bytes = 0;
  };
  Row rows[] = {
      {"HD Video/MP4 - H.264 Full HD 1080p.xml", "mp4", {}},
      {"General Video/MP4 - H.265 HEVC Video.xml", "mp4", {}},
      {"General Video/MKV - AV1 Video.xml", "mkv", {}},
      {"General Video/WebM - VP9 Video.xml", "webm", {}},
  };
  for (Row& row : rows) {
    std::string out = test::MakeTempDir("out");
    test::CommandResult r =
        test::RunCommand({kCli, "convert", "--profile", ProfileAt(row.profile), "-o", out, source});
    ASSERT_EQ(r.exitCode, 0) << row.profile << "\n" << r.output;
    std::string file = out + "/camera." + row.extension;
    row.score = Measure(file, source);
    row.bytes = static_cast<long long>(test::ReadFile(file).size());
  }
  std::printf("\n%s at %s kbit/s, 2 s camera-like clip:\n", kSize, kBitrate);
  std::printf("| profile | PSNR dB | SSIM | bytes |\n|---|---|---|---|\n");
  for (const Row& row : rows)
    std::printf("| %s | %.2f | %.4f | %lld |\n", row.profile, row.score.psnr, row.score.ssim, row.bytes);
  const Score& h264 = rows[0].score;
  for (const Row& row : {rows[1], rows[2]}) {
    EXPECT_TRUE(row.score.psnr > h264.psnr || row.score.ssim > h264.ssim) << row.profile;
  }
}

}  // namespace
}  // namespace mivora
