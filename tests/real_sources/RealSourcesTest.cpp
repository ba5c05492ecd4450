#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>

#include "common/Folders.h"
#include "tests/support/RealSourceMedia.h"
#include "tests/support/TestEnvironment.h"
#include "tests/support/TestMedia.h"

namespace mivora {
namespace {

const std::string kCli = std::string(MIVORA_PROGRAM_DIR) + "/mivora-cli";
const std::string kProfiles = std::string(MIVORA_PROGRAM_DIR) + "/Profiles";

struct ShippedProfile {
  const char* file;
  const char* extension;
  bool tagsColour;  // the codec and container carry the colour description
};
const ShippedProfile kH264Mp4{"General Video/MP4 - MPEG-4 H.264 Video.xml", "mp4", true};
const ShippedProfile kMpeg4Avi{"General Video/AVI - MPEG-4 Video.xml", "avi", false};
const ShippedProfile kDvdVob{"General Video/VOB - DVD Video Object.xml", "vob", true};
const ShippedProfile kMkv{"General Video/MKV - Matroska Video.xml", "mkv", true};

// Converts `source` with a shipped profile; returns the output's path.
std::string Convert(const std::string& source, const ShippedProfile& profile) {
  std::string out = test::MakeTempDir("out");
  test::CommandResult r = test::RunCommand(
      {kCli, "convert", "--profile", kProfiles + "/" + profile.file, "-o", out, source});
  EXPECT_EQ(r.exitCode, 0) << profile.file << "\n" << r.output;
  std::string name(BaseName(source));
  return out + "/" + name.substr(0, name.rfind('.')) + "." + profile.extension;
}

// ffmpeg's own tone mapping of the source, for comparison.
const char* const kReferenceToneMap =
    "zscale=t=linear:npl=100,format=gbrpf32le,zscale=p=bt709,tonemap=tonemap=hable:desat=0,"
    "zscale=t=bt709:m=bt709:r=tv";

// A 10-bit PQ or HLG source comes out 8-bit, tagged BT.709 where the format
// can say so, and as bright as ffmpeg's own tone mapping makes it, not as the
// untouched codes would show.
TEST(RealSources, HdrSourcesAreToneMappedToSdr) {
  for (auto transfer : {test::HdrTransfer::kPq, test::HdrTransfer::kHlg}) {
    const bool pq = transfer == test::HdrTransfer::kPq;
    std::string source = test::MakeTempDir("hdr") + (pq ? "/pq.mp4" : "/hlg.mp4");
    test::GenerateHdrClip(source, transfer);
    ASSERT_EQ(test::VideoStreamField(source, "color_transfer"), pq ? "smpte2084" : "arib-std-b67");
    const double reference = test::MeanLumaAt(source, 0.5, kReferenceToneMap);
    const double untouched = test::MeanLumaAt(source, 0.5);
    ASSERT_GT(std::abs(reference - untouched), 15) << "the test picture must tell them apart";
    for (const ShippedProfile& profile : {kH264Mp4, kMpeg4Avi, kDvdVob, kMkv}) {
      std::string out = Convert(source, profile);
      SCOPED_TRACE(std::string(pq ? "PQ " : "HLG ") + profile.file);
      std::string pixels = test::VideoStreamField(out, "pix_fmt");
      EXPECT_TRUE(pixels == "yuv420p" || pixels == "yuvj420p") << pixels;
      if (profile.tagsColour) {
        EXPECT_EQ(test::VideoStreamField(out, "color_transfer"), "bt709");
        EXPECT_EQ(test::VideoStreamField(out, "color_primaries"), "bt709");
      }
      double mean = test::MeanLumaAt(out, 0.5);
      EXPECT_NEAR(mean, reference, 6) << "untouched codes give " << untouched;
    }
  }
}

// The colours at the centres of the four quarters of `path`'s first frame as
// a screen shows them (red, green, blue each, 0 to 255): TV-range codes
// expanded with the matrix the file names, or for one that names none, the
// matrix its size implies (BT.601 below 720 lines).
std::vector<double> QuarterColours(const std::string& path) {
  const std::string named = test::VideoStreamField(path, "color_space");
  const int width = std::atoi(test::VideoStreamField(path, "width").c_str());
  const int height = std::atoi(test::VideoStreamField(path, "height").c_str());
  bool bt709 = height >= 720;
  if (named == "bt709") bt709 = true;
  if (named == "smpte170m" || named == "bt470bg") bt709 = false;
  const double kr = bt709 ? 0.2126 : 0.299, kb = bt709 ? 0.0722 : 0.114;
  // The codes as decoded, without any conversion.
  test::CommandResult r = test::RunCommand(
      {"ffmpeg", "-v", "error", "-i", path, "-frames:v", "1", "-pix_fmt", "yuv420p", "-f", "rawvideo", "-"});
  EXPECT_EQ(r.exitCode, 0) << r.output;
  const auto code = [&](size_t at) { return static_cast<double>(static_cast<uint8_t>(r.output[at])); };
  const size_t lumaSize = static_cast<size_t>(width) * height, chromaWidth = width / 2;
  std::vector<double> colours;
  if (r.output.size() < lumaSize * 3 / 2) return colours;
  for (int quarter = 0; quarter < 4; ++quarter) {
    const int x = (quarter % 2 ? 3 : 1) * width / 4, y = (quarter / 2 ? 3 : 1) * height / 4;
    const double luma = (code(static_cast<size_t>(y) * width + x) - 16) / 219;
    const size_t chroma = static_cast<size_t>(y / 2) * chromaWidth + x / 2;
    const double cb = (code(lumaSize + chroma) - 128) / 224, cr = (code(lumaSize * 5 / 4 + chroma) - 128) / 224;
    const double red = luma + 2 * (1 - kr) * cr, blue = luma + 2 * (1 - kb) * cb;
    const double green = (luma - kr * red - kb * blue) / (1 - kr - kb);
    for (double c : {red, green, blue}) colours.push_back(255 * c);
  }
  return colours;
}

double LargestDifference(const std::vector<double>& a, const std::vector<double>& b) {
  if (a.size() != b.size() || a.empty()) return 255;
  double largest = 0;
  for (size_t i = 0; i < a.size(); ++i) largest = std::max(largest, std::abs(a[i] - b[i]));
  return largest;
}

// A screen takes the matrix of a picture that names none from its size, and
// AVI cannot name one: an HD picture in an SD frame, or SD in HD, keeps the
// colours its source shows only when its codes are re-coded to the matrix its
// new size implies.
TEST(RealSources, ColoursStayWhenThePictureCrossesBetweenSdAndHd) {
  const std::string folder = test::MakeTempDir("matrix");
  const ShippedProfile kXvidHd{"HD Video/AVI - Xvid HD Video.xml", "avi", false};
  const struct {
    const char* name;
    int width, height;  // the source's shape is the profile's frame's: no bars
    bool namesBt709;
    ShippedProfile profile;
  } rows[] = {
      {"hd-named.mp4", 1440, 1080, true, kMpeg4Avi},
      {"hd-unnamed.mp4", 1440, 1080, false, kMpeg4Avi},
      {"hd-into-h264.mp4", 1440, 1080, false, kH264Mp4},
      {"sd-unnamed.mp4", 640, 360, false, kXvidHd},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    const std::string source = folder + "/" + row.name;
    // Four flat quarters: a red, a green, a blue and a skin tone.
    const std::string quarter = ":s=" + std::to_string(row.width / 2) + "x" + std::to_string(row.height / 2) + ":d=1";
    std::vector<std::string> make = {
        "ffmpeg", "-v", "error", "-y", "-filter_complex",
        "color=c=0xC03028" + quarter + "[a];color=c=0x30A040" + quarter + "[b];color=c=0x2840B8" + quarter +
            "[c];color=c=0xE0A080" + quarter + "[d];[a][b]hstack[top];[c][d]hstack[bottom];[top][bottom]vstack",
        "-c:v", "libx264", "-qp", "0", "-pix_fmt", "yuv420p"};
    if (row.namesBt709)
      make.insert(make.end(), {"-colorspace", "bt709", "-color_primaries", "bt709", "-color_trc", "bt709"});
    make.push_back(source);
    ASSERT_EQ(test::RunCommand(make).exitCode, 0);
    const std::string output = Convert(source, row.profile);
    EXPECT_LE(LargestDifference(QuarterColours(source), QuarterColours(output)), 6);
  }
}

// A PQ file that names only its transfer (no primaries, no matrix) is taken
// as BT.2020 and tone-mapped like a fully tagged one.
TEST(RealSources, HdrSourceWithoutColourNamesIsConverted) {
  std::string dir = test::MakeTempDir("hdr");
  test::GenerateHdrClip(dir + "/tagged.mp4", test::HdrTransfer::kPq);
  test::GenerateHdrClip(dir + "/untagged.mp4", test::HdrTransfer::kPq, 1.0, false);
  ASSERT_EQ(test::VideoStreamField(dir + "/untagged.mp4", "color_primaries"), "unknown");
  std::string out = Convert(dir + "/untagged.mp4", kH264Mp4);
  EXPECT_EQ(test::VideoStreamField(out, "color_transfer"), "bt709");
  EXPECT_NEAR(test::MeanLumaAt(out, 0.5), test::MeanLumaAt(dir + "/tagged.mp4", 0.5, kReferenceToneMap), 6);
}

// Of two audio tracks, the one marked default is converted, not the first.
TEST(RealSources, TheDefaultAudioTrackIsUsed) {
  for (const char* name : {"/two.mp4", "/two.mkv"}) {
    std::string source = test::MakeTempDir("tracks") + name;
    test::GenerateTwoAudioTrackClip(source);
    std::string out = Convert(source, kMpeg4Avi);
    EXPECT_GT(test::MeanVolumeDb(out), -30) << name << ": the silent first track was taken";
  }
}

// A motion photo (a single larger still beside the video, both marked
// default) is probed and converted as its video: ffmpeg alone would take the
// still and write one frame.
TEST(RealSources, MotionPhotoConvertsItsVideoTrack) {
  for (bool stillFirst : {true, false}) {
    SCOPED_TRACE(stillFirst ? "still first" : "still last");
    std::string source = test::MakeTempDir("motion") + "/motion.mp4";
    test::GenerateMotionPhotoLikeClip(source, stillFirst);
    test::CommandResult probed = test::RunCommand({kCli, "probe", source});
    EXPECT_NE(probed.output.find("width=320\nheight=240\n"), std::string::npos) << probed.output;
    for (const ShippedProfile& profile : {kMpeg4Avi, kH264Mp4}) {
      SCOPED_TRACE(profile.file);
      test::ProbeFacts out = test::ProbeWithFfprobe(Convert(source, profile));
      EXPECT_NEAR(out.durationSeconds, 2.0, 0.2);
      EXPECT_NEAR(out.video.frameRate, 30, 0.5) << "the still's one frame a second was taken";
    }
  }
}

// A source cut off after a third of its bytes still claims its whole length;
// the output holds what is there, far less, and the job fails with a reason
// a person can act on instead of reporting success. No output is left.
TEST(RealSources, AnOutputFarShorterThanExpectedFails) {
  std::string source = test::MakeTempDir("cut") + "/cut off.mp4";
  test::GenerateCutOffClip(source);
  ASSERT_NEAR(test::ProbeWithFfprobe(source).durationSeconds, 10, 0.1);
  std::string out = test::MakeTempDir("out");
  test::CommandResult r = test::RunCommand(
      {kCli, "convert", "--profile", kProfiles + "/" + kMpeg4Avi.file, "-o", out, source});
  EXPECT_EQ(r.exitCode, 1) << r.output;
  EXPECT_EQ(r.output.find("Converted successfully!"), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("cut off.mp4: The converted file holds only"), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("of the 10.0 s expected"), std::string::npos) << r.output;
  EXPECT_FALSE(FileExists(out + "/cut off.avi"));

  // Trimmed to what it holds, it converts.
  test::CommandResult trimmed = test::RunCommand({kCli, "convert", "--profile", kProfiles + "/" + kMpeg4Avi.file,
                                                  "--trim", "00:00:00-00:00:02", "-o", out, source});
  EXPECT_EQ(trimmed.exitCode, 0) << trimmed.output;
}

// A variable frame rate phone clip keeps its length, and each flash of the
// picture stays within 100 ms of its beep.
TEST(RealSources, VariableFrameRateKeepsDurationAndSync) {
  std::string source = test::MakeTempDir("vfr") + "/phone.mp4";
  test::GenerateVariableRateClip(source);
  ASSERT_EQ(test::FlashTimes(source).size(), test::kFlashTimes.size());
  const double length = test::ProbeWithFfprobe(source).durationSeconds;
  for (const ShippedProfile& profile : {kH264Mp4, kMpeg4Avi, kDvdVob}) {
    SCOPED_TRACE(profile.file);
    std::string out = Convert(source, profile);
    EXPECT_NEAR(test::ProbeWithFfprobe(out).durationSeconds, length, 0.15);
    std::vector<double> flashes = test::FlashTimes(out), beeps = test::BeepTimes(out);
    ASSERT_EQ(flashes.size(), test::kFlashTimes.size());
    ASSERT_EQ(beeps.size(), test::kFlashTimes.size());
    for (size_t i = 0; i < flashes.size(); ++i) {
      EXPECT_NEAR(flashes[i], test::kFlashTimes[i], 0.1) << "flash " << i;
      EXPECT_NEAR(beeps[i] - flashes[i], 0, 0.1) << "beep " << i;
    }
  }
}

// Subtitle tracks are not carried over, and a text subtitle does not stop a
// target that could not take it.
TEST(RealSources, SubtitleTracksAreLeftOut) {
  for (const char* name : {"/subtitled.mp4", "/subtitled.mkv"}) {
    std::string source = test::MakeTempDir("subtitles") + name;
    test::GenerateSubtitledClip(source);
    ASSERT_EQ(test::StreamTypes(source).back(), "subtitle");
    for (const ShippedProfile& profile : {kMkv, kDvdVob, kH264Mp4}) {
      std::string out = Convert(source, profile);
      std::vector<std::string> types = test::StreamTypes(out);
      EXPECT_EQ(types.size(), 2u) << name << " to " << profile.file;
      for (const std::string& type : types) EXPECT_NE(type, "subtitle") << name << " to " << profile.file;
    }
  }
}

}  // namespace
}  // namespace mivora
