// The profiles of current formats (H.265, AV1, VP9, Opus, 4K, HDR kept) on
// sources as people have them, converted through mivora-cli, trancor and
// ffmpeg: every output plays to its end with the codecs its profile names,
// HDR profiles keep HDR, and MP4-family files start with their index.

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <map>

#include "common/Folders.h"
#include "tests/support/Mp4Rotation.h"
#include "tests/support/RealSourceMedia.h"
#include "tests/support/TestEnvironment.h"
#include "tests/support/TestMedia.h"

namespace mivora {
namespace {

const std::string kCli = std::string(MIVORA_PROGRAM_DIR) + "/mivora-cli";
const std::string kProfiles = std::string(MIVORA_PROGRAM_DIR) + "/Profiles/";

enum class Source { kPortraitPhone, kTwoAudioTracks, kVariableRate, kUhd, kPq, kHlg };

// Each kind of source made once per test program.
const std::string& SourceClip(Source kind) {
  static std::map<Source, std::string> made;
  std::string& path = made[kind];
  if (!path.empty()) return path;
  std::string dir = test::MakeTempDir("sources");
  switch (kind) {
    case Source::kPortraitPhone:
      path = dir + "/portrait.mp4";
      test::GenerateRotatedClip(path, {.seconds = 1, .width = 320, .height = 180}, 90);
      break;
    case Source::kTwoAudioTracks:
      path = dir + "/tracks.mkv";
      test::GenerateTwoAudioTrackClip(path);
      break;
    case Source::kVariableRate:
      path = dir + "/vfr.mp4";
      test::GenerateVariableRateClip(path, 2.0);
      break;
    case Source::kUhd:
      path = dir + "/uhd.mp4";
      test::GenerateCameraClip(path, 3840, 2160, 0.4);
      break;
    case Source::kPq:
    case Source::kHlg:
      path = dir + (kind == Source::kPq ? "/pq.mkv" : "/hlg.mkv");
      test::GenerateMasteredHdrClip(path, kind == Source::kPq ? test::HdrTransfer::kPq : test::HdrTransfer::kHlg);
      break;
  }
  return path;
}

std::string Convert(const std::string& source, const std::string& profile, const std::string& extension) {
  std::string out = test::MakeTempDir("out");
  test::CommandResult r = test::RunCommand({kCli, "convert", "--profile", kProfiles + profile, "-o", out, source});
  EXPECT_EQ(r.exitCode, 0) << profile << "\n" << r.output;
  std::string name(BaseName(source));
  return out + "/" + name.substr(0, name.rfind('.')) + "." + extension;
}

// Decodes every stream to the end; ffmpeg's complaints, if any.
std::string DecodeErrors(const std::string& path) {
  test::CommandResult r =
      test::RunCommand({"ffmpeg", "-hide_banner", "-nostdin", "-v", "error", "-i", "file:" + path, "-f", "null", "-"});
  return r.exitCode == 0 ? r.output : "exit " + std::to_string(r.exitCode) + ": " + r.output;
}

TEST(CurrentFormats, EveryNewProfileConvertsRealSourcesThatPlayToTheEnd) {
  struct Case {
    const char* profile;
    const char* extension;
    Source source;
    const char* video;  // ffprobe's codec name, or "" for none
    const char* audio;
  };
  const Case cases[] = {
      {"General Video/MP4 - H.265 HEVC Video.xml", "mp4", Source::kPortraitPhone, "hevc", "aac"},
      {"General Video/MKV - H.265 HEVC Video.xml", "mkv", Source::kTwoAudioTracks, "hevc", "aac"},
      {"General Video/MKV - AV1 Video.xml", "mkv", Source::kVariableRate, "av1", "opus"},
      {"General Video/WebM - AV1 Video.xml", "webm", Source::kPortraitPhone, "av1", "opus"},
      {"General Video/WebM - VP9 Video.xml", "webm", Source::kUhd, "vp9", "opus"},
      {"HD Video/MP4 - H.264 4K 2160p.xml", "mp4", Source::kUhd, "h264", "aac"},
      {"HD Video/MP4 - H.265 4K 2160p.xml", "mp4", Source::kUhd, "hevc", "aac"},
      {"HD Video/MKV - AV1 4K 2160p.xml", "mkv", Source::kUhd, "av1", "opus"},
      {"HD Video/MKV - H.265 10-bit HDR.xml", "mkv", Source::kVariableRate, "hevc", "aac"},
      {"HD Video/MKV - AV1 10-bit HDR.xml", "mkv", Source::kPortraitPhone, "av1", "opus"},
      {"Audio/OPUS - Opus Audio.xml", "opus", Source::kTwoAudioTracks, "", "opus"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.profile) + " from " + std::string(BaseName(SourceClip(c.source))));
    const std::string& source = SourceClip(c.source);
    std::string out = Convert(source, c.profile, c.extension);
    EXPECT_EQ(DecodeErrors(out), "");
    test::ProbeFacts facts = test::ProbeWithFfprobe(out);
    ASSERT_TRUE(facts.readable);
    EXPECT_EQ(facts.video.present ? facts.video.codec : "", c.video);
    EXPECT_EQ(facts.audio.codec, c.audio);
    EXPECT_NEAR(facts.durationSeconds, test::ProbeWithFfprobe(source).durationSeconds, 0.2);
    // An SDR source stays SDR through the HDR profiles.
    if (std::string(c.profile).ends_with("HDR.xml")) {
      std::string transfer = test::VideoStreamField(out, "color_transfer");
      EXPECT_NE(transfer, "smpte2084");
      EXPECT_NE(transfer, "arib-std-b67");
    }
  }
  // Of two audio tracks, the default one (the tone, not the silence) is taken.
  EXPECT_GT(test::MeanVolumeDb(Convert(SourceClip(Source::kTwoAudioTracks), "Audio/OPUS - Opus Audio.xml", "opus")),
            -30);
}

// What ffprobe reads from the first frame's side data: "key=value" lines.
std::string FirstFrameSideData(const std::string& path) {
  return test::RunCommand({"ffprobe", "-v", "error", "-select_streams", "v:0", "-read_intervals", "%+#1",
                           "-show_frames", "-show_entries",
                           "frame_side_data=side_data_type,max_luminance,max_content", "-of",
                           "default=noprint_wrappers=1", "file:" + path})
      .output;
}

// A PQ or HLG source keeps its transfer, BT.2020 and its mastering display
// and content light through the HDR profiles, at 10 bits; through the 8-bit
// H.265, AV1 and VP9 profiles it is tone-mapped as through every older profile.
TEST(CurrentFormats, HdrProfilesKeepTransferPrimariesAndMasteringMetadata) {
  for (Source kind : {Source::kPq, Source::kHlg}) {
    const std::string& source = SourceClip(kind);
    const char* transfer = kind == Source::kPq ? "smpte2084" : "arib-std-b67";
    ASSERT_EQ(test::VideoStreamField(source, "color_transfer"), transfer);
    ASSERT_NE(FirstFrameSideData(source).find("Mastering display metadata"), std::string::npos);
    for (const char* profile : {"HD Video/MKV - H.265 10-bit HDR.xml", "HD Video/MKV - AV1 10-bit HDR.xml"}) {
      SCOPED_TRACE(std::string(transfer) + " through " + profile);
      std::string out = Convert(source, profile, "mkv");
      EXPECT_EQ(test::VideoStreamField(out, "color_transfer"), transfer);
      EXPECT_EQ(test::VideoStreamField(out, "color_primaries"), "bt2020");
      EXPECT_EQ(test::VideoStreamField(out, "color_space"), "bt2020nc");
      EXPECT_EQ(test::VideoStreamField(out, "pix_fmt"), "yuv420p10le");
      std::string sideData = FirstFrameSideData(out);
      EXPECT_NE(sideData.find("side_data_type=Mastering display metadata"), std::string::npos) << sideData;
      EXPECT_NE(sideData.find("side_data_type=Content light level metadata"), std::string::npos) << sideData;
      EXPECT_NE(sideData.find("max_content=" + std::to_string(test::kMastering.maxContentLight)), std::string::npos)
          << sideData;
      size_t at = sideData.find("max_luminance=");
      ASSERT_NE(at, std::string::npos) << sideData;
      int numerator = 0, denominator = 1;
      std::sscanf(sideData.c_str() + at, "max_luminance=%d/%d", &numerator, &denominator);
      EXPECT_NEAR(static_cast<double>(numerator) / denominator, test::kMastering.maxLuminance, 1) << sideData;
    }
    // The 8-bit profiles of each new codec tone-map it to SDR, and the file
    // plays to its end.
    const std::pair<const char*, const char*> sdrProfiles[] = {
        {"General Video/MKV - H.265 HEVC Video.xml", "mkv"},
        {"General Video/WebM - AV1 Video.xml", "webm"},
        {"General Video/WebM - VP9 Video.xml", "webm"},
    };
    for (const auto& [profile, extension] : sdrProfiles) {
      SCOPED_TRACE(std::string(transfer) + " through " + profile);
      std::string sdr = Convert(source, profile, extension);
      EXPECT_EQ(DecodeErrors(sdr), "");
      EXPECT_EQ(test::VideoStreamField(sdr, "color_transfer"), "bt709");
      EXPECT_EQ(test::VideoStreamField(sdr, "pix_fmt"), "yuv420p");
    }
  }
}

// The top-level boxes of an ISO media file, in order.
std::vector<std::string> TopLevelBoxes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<std::string> boxes;
  unsigned char header[16];
  while (in.read(reinterpret_cast<char*>(header), 8)) {
    uint64_t size = (uint64_t(header[0]) << 24) | (header[1] << 16) | (header[2] << 8) | header[3];
    uint64_t headerSize = 8;
    if (size == 1) {  // a 64-bit size follows the type
      if (!in.read(reinterpret_cast<char*>(header + 8), 8)) break;
      size = 0;
      for (int i = 8; i < 16; ++i) size = (size << 8) | header[i];
      headerSize = 16;
    }
    boxes.emplace_back(reinterpret_cast<char*>(header + 4), 4);
    if (size == 0) break;  // the box runs to the end of the file
    if (size < headerSize) return {"(broken size)"};
    in.seekg(static_cast<std::streamoff>(size - headerSize), std::ios::cur);
  }
  return boxes;
}

// A browser plays an MP4, M4A or MOV file before it has loaded only when its
// index (moov) comes before the media (mdat).
TEST(CurrentFormats, Mp4FamilyOutputsHaveTheirIndexFirst) {
  std::string source = test::MakeTempDir("web") + "/clip.mp4";
  test::GenerateClip(source, {.seconds = 0.5, .width = 160, .height = 120});
  const std::pair<const char*, const char*> cases[] = {
      {"General Video/MP4 - H.265 HEVC Video.xml", "mp4"},
      {"General Video/MP4 - MPEG-4 H.264 Video.xml", "mp4"},
      {"General Video/MOV - QuickTime Video.xml", "mov"},
      {"Audio/AAC - Advanced Audio Coding.xml", "m4a"},
  };
  for (const auto& [profile, extension] : cases) {
    std::vector<std::string> boxes = TopLevelBoxes(Convert(source, profile, extension));
    auto moov = std::find(boxes.begin(), boxes.end(), "moov"), mdat = std::find(boxes.begin(), boxes.end(), "mdat");
    ASSERT_NE(moov, boxes.end()) << profile << ": " << ::testing::PrintToString(boxes);
    ASSERT_NE(mdat, boxes.end()) << profile << ": " << ::testing::PrintToString(boxes);
    EXPECT_LT(moov, mdat) << profile << ": " << ::testing::PrintToString(boxes);
  }
}

}  // namespace
}  // namespace mivora
