#include "tests/profiles/ProfileConversion.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <map>
#include <thread>

#include "common/Folders.h"
#include "pipeline/ConvertHelper.h"
#include "platform/CopyDataEndpoint.h"
#include "profiles/EngineArguments.h"
#include "profiles/Profile.h"
#include "tests/support/TestEnvironment.h"
#include "tests/support/TestMedia.h"

namespace mivora::test {
namespace {

// What ffprobe calls the stream a codec display name asks for.
const std::map<std::string, std::string> kProbedCodec = {
    {"XviD", "mpeg4"},       {"MPEG4", "mpeg4"},         {"MSMPEG4V3", "msmpeg4v3"},
    {"MSMPEG4V2", "msmpeg4v2"}, {"WMV8", "wmv2"},        {"WMV7", "wmv1"},
    {"MPEG1", "mpeg1video"}, {"MPEG2", "mpeg2video"},    {"H.264", "h264"},
    {"MJPEG", "mjpeg"},      {"FLV", "flv1"},            {"RV10", "rv10"},
    {"RV20", "rv20"},        {"DV VIDEO", "dvvideo"},    {"THEORA", "theora"},
    {"H261", "h261"},        {"H263", "h263"},           {"H263P", "h263"},
    {"VC1", "msvideo1"},     {"MP3", "mp3"},             {"MP2", "mp2"},
    {"AC3", "ac3"},          {"DTS", "dts"},             {"AAC", "aac"},
    {"FLAC", "flac"},        {"ALAC", "alac"},           {"WMA1", "wmav1"},
    {"WMA2", "wmav2"},       {"PCM_S16LE", "pcm_s16le"}, {"PCM_S16BE", "pcm_s16be"},
    {"GSM", "gsm"},          {"VORBIS", "vorbis"},       {"H.265", "hevc"},
    {"H.265 10-bit", "hevc"}, {"AV1", "av1"},            {"AV1 10-bit", "av1"},
    {"VP9", "vp9"},          {"OPUS", "opus"},
};

std::string ProbedCodec(const std::string& display) {
  auto found = kProbedCodec.find(display);
  return found == kProbedCodec.end() ? "(unknown " + display + ")" : found->second;
}

std::string TestNameOf(const std::string& relativePath) {
  std::string name;
  for (char c : relativePath.substr(0, relativePath.size() - 4))
    if (std::isalnum(static_cast<unsigned char>(c))) name += c;
  return name;
}

// The engine's console text goes to an endpoint that a thread keeps empty,
// as the progress window does.
class DrainedEndpoint {
 public:
  DrainedEndpoint() : endpoint_(CopyDataEndpoint::Open()) {
    if (endpoint_)
      thread_ = std::thread([this] {
        while (!done_.load()) endpoint_->Receive(50);
      });
  }
  ~DrainedEndpoint() {
    done_.store(true);
    if (thread_.joinable()) thread_.join();
  }
  copydata::EndpointNumber Number() const { return endpoint_ ? endpoint_->Number() : 0; }

 private:
  std::unique_ptr<CopyDataEndpoint> endpoint_;
  std::atomic<bool> done_{false};
  std::thread thread_;
};

}  // namespace

std::vector<ShippedProfile> ShippedProfilesForTests() {
  ProfileIdTable ids;
  std::vector<ShippedProfile> profiles;
  for (const ProfileEntry& entry : ProfileCatalog::Scan(MIVORA_PROGRAM_DIR "/Profiles", ids).All())
    profiles.push_back({TestNameOf(entry.relativePath), entry});
  return profiles;
}

const std::string& PixelFormatClip(const std::string& pixelFormat, int seconds) {
  static std::map<std::string, std::string> clips;
  auto& path = clips[pixelFormat + "/" + std::to_string(seconds)];
  if (path.empty()) {
    path = MakeTempDir("source") + "/source.mkv";
    ClipSpec shape;
    shape.seconds = seconds;
    shape.pixelFormat = pixelFormat;
    GenerateClip(path, shape);
  }
  return path;
}

int ClipSecondsFor(const std::string& profilePath, int seconds) {
  Profile profile;
  int width = 0, height = 0;
  if (profile.Load(profilePath) && std::sscanf(profile.videoSize.c_str(), "%d%*[x*]%d", &width, &height) == 2 &&
      width * height > 1920 * 1080)
    return 1;
  return seconds;
}

void ConvertAndCheck(const std::string& profilePath, const std::string& source, const std::string& what) {
  SCOPED_TRACE(what);
  Profile profile;
  ASSERT_TRUE(profile.Load(profilePath));
  std::string arguments =
      FinishEngineArguments(profile.BuildEngineArguments() + " ", profile.videoAspectRatio);
  // The disc group's frames are fixed; the runner tells the engine so.
  const FrameFormat format = FrameFormatOf(profile);
  if (format.fixedByStandard) arguments = "-fixedframe " + arguments;
  std::string output = MakeTempDir("converted") + "/out." + profile.formatExt;

  DrainedEndpoint window;
  ConvertHelper helper;
  int exitCode = -1;
  ASSERT_TRUE(helper.ConvertStart(source, output, window.Number(), arguments, &exitCode));
  ASSERT_EQ(exitCode, 0) << "arguments: " << arguments;

  ProbeFacts facts = ProbeWithFfprobe(output);
  ASSERT_TRUE(facts.readable) << arguments;
  EXPECT_GT(facts.durationSeconds, 0.5) << arguments;
  if (profile.videoDisable == "Yes") {
    EXPECT_FALSE(facts.video.present) << arguments;
  } else {
    ASSERT_TRUE(facts.video.present) << arguments;
    EXPECT_EQ(facts.video.codec, ProbedCodec(profile.videoCodec)) << arguments;
    // The 4:3 source fills a 4:3 frame, and fits a box of another shape.
    const OutputFrame frame = FitOutputFrame(format, {320, 240, 1, 1});
    EXPECT_EQ(facts.video.width, frame.width) << arguments;
    EXPECT_EQ(facts.video.height, frame.height) << arguments;
    double rate = 25;
    if (profile.videoFrameRate != "Keep Original") rate = std::atof(profile.videoFrameRate.c_str());
    EXPECT_NEAR(facts.video.frameRate, rate, 0.02) << arguments;
    // What players and devices take, whatever the source's depth and chroma;
    // the 10-bit codecs of the HDR profiles keep 10 bits.
    std::string pixels = facts.video.codec == "mjpeg" ? "yuvj420p" : "yuv420p";
    if (profile.videoCodec.ends_with(" 10-bit")) pixels = "yuv420p10le";
    EXPECT_EQ(facts.video.pixelFormat, pixels) << arguments;
    if (facts.video.codec == "mpeg2video") {
      EXPECT_EQ(facts.video.profile, "Main") << arguments;
    }
  }
  ASSERT_TRUE(facts.audio.present) << arguments;
  EXPECT_EQ(facts.audio.codec, ProbedCodec(profile.audioCodec)) << arguments;
  if (!profile.audioSampleRate.empty()) {
    EXPECT_EQ(facts.audio.sampleRate, std::atoi(profile.audioSampleRate.c_str())) << arguments;
  }
  int channels = 2;
  if (profile.audioChannels.find("Mono") != std::string::npos) channels = 1;
  else if (profile.audioChannels.find("5.1") != std::string::npos) channels = 6;
  EXPECT_EQ(facts.audio.channels, channels) << arguments;
}

}  // namespace mivora::test
