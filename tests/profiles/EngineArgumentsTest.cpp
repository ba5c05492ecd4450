#include <gtest/gtest.h>

#include "common/Folders.h"
#include "profiles/EngineArguments.h"
#include "profiles/Profile.h"
#include "tests/support/TestEnvironment.h"

namespace mivora {
namespace {

// Every test here runs with a GPU probe that reports no device, unless it
// points the program folder elsewhere itself.
class EngineArguments : public ::testing::Test {
 protected:
  void SetUp() override { SetProgramFolder(FAKE_CUENC_DIR "/fake_cuenc_zero"); }
  void TearDown() override { SetProgramFolder(MIVORA_PROGRAM_DIR); }
};

Profile ExampleProfile() {
  Profile p;
  p.videoBitrate = "1000";
  p.videoFrameRate = "25";
  p.videoAspectRatio = "4:3";
  p.audioBitrate = "128";
  p.audioSampleRate = "44100";
  p.audioChannels = "Stereo";
  p.audioVolume = "100%";
  p.videoCodec = "XviD";
  p.audioCodec = "MP3";
  p.videoSize = "640*480";
  return p;
}

TEST_F(EngineArguments, Build) {
  struct Case {
    const char* name;
    std::function<void(Profile&)> change;
    std::string expected;
  };
  const std::string tail = "-vcodec libxvid -acodec libmp3lame -s 640x480 ";
  const Case cases[] = {
      {"the worked example", [](Profile&) {},
       "-b 1000k -r 25 -aspect 4:3  -ab 128k  -ar 44100  -ac 2  -vol 256 " + tail},
      {"DVD target ignores every other field",
       [](Profile& p) { p.profileComment = "DVD Video format (NTSC)"; }, "-target ntsc-dvd "},
      {"SVCD target", [](Profile& p) { p.profileComment = "Super Video CD format"; }, "-target ntsc-svcd "},
      {"VCD target", [](Profile& p) { p.profileComment = "Video CD format x"; }, "-target ntsc-vcd "},
      {"target phrase not at the start",
       [](Profile& p) {
         p = Profile();
         p.profileComment = "Standard DVD Video format";
         p.videoCodec = "MPEG2";
         p.audioCodec = "AC3";
       },
       "-vcodec mpeg2video -acodec ac3 "},
      {"keep original and auto frame rates, auto aspect",
       [](Profile& p) {
         p.videoFrameRate = "keep original";
         p.videoAspectRatio = "AUTO";
       },
       "-b 1000k  -ab 128k  -ar 44100  -ac 2  -vol 256 " + tail},
      {"AUTO frame rate", [](Profile& p) { p.videoFrameRate = "AUTO"; p.videoAspectRatio = ""; },
       "-b 1000k  -ab 128k  -ar 44100  -ac 2  -vol 256 " + tail},
      {"channels Original", [](Profile& p) { p.audioChannels = "Original"; },
       "-b 1000k -r 25 -aspect 4:3  -ab 128k  -ar 44100  -vol 256 " + tail},
      {"channels Mono", [](Profile& p) { p.audioChannels = "Mono"; },
       "-b 1000k -r 25 -aspect 4:3  -ab 128k  -ar 44100  -ac 1  -vol 256 " + tail},
      {"channels 5.1", [](Profile& p) { p.audioChannels = "5.1 Channels"; },
       "-b 1000k -r 25 -aspect 4:3  -ab 128k  -ar 44100  -ac 6  -vol 256 " + tail},
      {"channels: Mono is tested before Stereo, case-sensitively",
       [](Profile& p) { p.audioChannels = "Stereo or Mono"; },
       "-b 1000k -r 25 -aspect 4:3  -ab 128k  -ar 44100  -ac 1  -vol 256 " + tail},
      {"channels: lower-case stereo means six", [](Profile& p) { p.audioChannels = "stereo"; },
       "-b 1000k -r 25 -aspect 4:3  -ab 128k  -ar 44100  -ac 6  -vol 256 " + tail},
      {"disable flags, exactly Yes",
       [](Profile& p) {
         p = Profile();
         p.videoCodec = "H263";
         p.audioCodec = "AAC";
         p.audioDisable = "Yes";
         p.videoDisable = "Yes";
       },
       " -an  -vn -vcodec h263p -acodec libfaac "},
      {"disable flags in another case do nothing",
       [](Profile& p) {
         p = Profile();
         p.videoCodec = "x";
         p.audioCodec = "DTS";
         p.audioDisable = "yes";
       },
       "-vcodec copy -acodec dca -strict experimental "},
      {"an empty audio codec empties everything", [](Profile& p) { p.audioCodec = ""; }, ""},
      {"an empty video codec empties everything", [](Profile& p) { p.videoCodec = ""; }, ""},
      {"size with an asterisk", [](Profile& p) { p = Profile(); p.videoCodec = "MPEG4"; p.audioCodec = "MP2"; p.videoSize = "720*576"; },
       "-vcodec mpeg4 -acodec mp2 -s 720x576 "},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Profile p = ExampleProfile();
    c.change(p);
    EXPECT_EQ(p.BuildEngineArguments(), c.expected);
  }
}

TEST_F(EngineArguments, Volume) {
  const std::pair<const char*, const char*> cases[] = {
      {"150%", " -vol 384 "}, {"33", " -vol 84 "}, {"100%%", " -vol 256 "}, {"loud", " -vol 0 "},
      {"-50%", " -vol -128 "},
      // Absurd percentages are clamped instead of overflowing.
      {"99999999999%", " -vol 21474833 "}, {"8388608", " -vol 21474833 "},
      {"-99999999999", " -vol -21474833 "},
  };
  for (const auto& [volume, piece] : cases) {
    Profile p;
    p.videoCodec = "MPEG4";
    p.audioCodec = "MP3";
    p.audioVolume = volume;
    EXPECT_EQ(p.BuildEngineArguments(), std::string(piece) + "-vcodec mpeg4 -acodec libmp3lame ")
        << volume;
  }
}

TEST_F(EngineArguments, CodecTable) {
  const std::pair<const char*, const char*> cases[] = {
      {"MPEG2", "mpeg2video"}, {"VC1", "msvideo1"}, {"XviD", "libxvid"}, {"MPEG4", "mpeg4"},
      {"MPEG1", "mpeg1video"}, {"WMV8", "wmv2"}, {"WMV7", "wmv1"}, {"H263", "h263p"},
      {"H263P", "h263p"}, {"H261", "h261"}, {"MSMPEG4V3", "msmpeg4"}, {"MSMPEG4V2", "msmpeg4v2"},
      {"MSMPEG4V1", "msmpeg4v1"}, {"MJPEG", "mjpeg"}, {"FLV", "flv"}, {"RV10", "rv10"},
      {"RV20", "rv20"}, {"DV VIDEO", "dvvideo"}, {"THEORA", "libtheora"}, {"GSM", "libgsm"},
      {"VORBIS", "vorbis"}, {"MP3", "libmp3lame"}, {"MP2", "mp2"}, {"AC3", "ac3"},
      {"DTS", "dca -strict experimental"}, {"AAC", "libfaac"}, {"AMR_NB", "libopencore_amrnb"},
      {"FLAC", "flac"}, {"ALAC", "alac"}, {"WMA1", "wmav1"}, {"WMA2", "wmav2"},
      {"PCM_S16LE", "pcm_s16le"}, {"PCM_S16BE", "pcm_s16be"},
      {"AV1", "libsvtav1"}, {"VP9", "libvpx-vp9"}, {"OPUS", "libopus"},
      {"H.265 10-bit", "libx265 -pix_fmt yuv420p10le"}, {"AV1 10-bit", "libsvtav1 -pix_fmt yuv420p10le"},
      {"xvid", "copy"}, {"", "copy"}, {"H.264 ", "copy"}, {"h.264", "copy"}, {"H265", "copy"},
  };
  for (const auto& [display, engine] : cases) EXPECT_EQ(MapCodecName(display), engine) << display;
}

TEST_F(EngineArguments, H264FollowsTheGpuProbeEveryTime) {
  EXPECT_EQ(MapCodecName("H.264"), "libx264");
  SetProgramFolder(FAKE_CUENC_DIR "/fake_cuenc_three");
  EXPECT_EQ(MapCodecName("H.264"), "cudax264");
  SetProgramFolder(test::MakeTempDir("nolib"));
  EXPECT_EQ(MapCodecName("H.264"), "libx264");
}

// H.265 goes to the GPU only where a device's encode session offers HEVC; a
// probe library that cannot say so (an older one) leaves it to software.
TEST_F(EngineArguments, H265FollowsTheGpuProbesHevcAnswer) {
  const std::pair<const char*, const char*> cases[] = {
      {"fake_cuenc_zero", "libx265"}, {"fake_cuenc_three", "libx265"}, {"fake_cuenc_hevc", "cudax265"}};
  for (const auto& [library, engine] : cases) {
    SetProgramFolder(std::string(FAKE_CUENC_DIR "/") + library);
    EXPECT_EQ(MapCodecName("H.265"), engine) << library;
    EXPECT_EQ(MapCodecName("H.265 10-bit"), "libx265 -pix_fmt yuv420p10le") << library;
  }
}

TEST_F(EngineArguments, Finish) {
  struct Case {
    std::string in, aspect, out;
  };
  const std::string crop = "\"crop=600:400:20:40\"";
  const Case cases[] = {
      // MPEG-2 frame rate.
      {"-vcodec mpeg2video -r 30 ", "", "-vcodec mpeg2video -r 29.97 "},
      {"-vcodec mpeg2video -r 25 ", "", "-vcodec mpeg2video -r 25 "},
      {"-vcodec mpeg2video -r 23.976 ", "", "-vcodec mpeg2video -r 23.976 "},
      {"-vcodec mpeg2video ", "", "-vcodec mpeg2video  -r 29.97 "},
      {"-r 30 -vcodec mpeg2video", "", "-r 29.97 -vcodec mpeg2video"},
      {"-r 30 -vcodec mpeg4 ", "", "-r 30 -vcodec mpeg4 "},
      // Scale after crop.
      {"-vcodec mpeg4 -s 640x480  -vf " + crop + " ", "",
       "-vcodec mpeg4   -vf " + crop + ",\"scale=640:480\" "},
      {"-s 640x480 -vf \"hflip\"," + crop + " -s 640x480 ", "",
       " -vf \"hflip\"," + crop + ",\"scale=640:480\"  "},
      {"-vcodec mpeg4 -s 640x480 ", "", "-vcodec mpeg4 -s 640x480 "},
      {"-vf " + crop + " ", "", "-vf " + crop + " "},
      // Drop copy video.
      {"-vcodec copy -acodec mp2 ", "", " -acodec mp2 "},
      // Aspect for targets.
      {"-target ntsc-dvd ", "16:9", "-target ntsc-dvd  -aspect 16:9"},
      {"-target ntsc-dvd ", "Auto", "-target ntsc-dvd "},
      {"-target ntsc-dvd ", "", "-target ntsc-dvd "},
      {"-aspect 4:3 -target ntsc-dvd ", "16:9", "-aspect 4:3 -target ntsc-dvd "},
      // Lower-case "auto" is not an aspect ratio the engine knows.
      {"-target ntsc-dvd ", "auto", "-target ntsc-dvd "},
      {"-target ntsc-dvd ", "AUTO", "-target ntsc-dvd "},
  };
  for (const auto& c : cases) EXPECT_EQ(FinishEngineArguments(c.in, c.aspect), c.out) << c.in;
}

TEST_F(EngineArguments, FinishNeverRewritesInsideFilterSegmentsOrWatermarkText) {
  const std::string font = ":fontfile='#$fonts$a.ttf':fontsize=24:fontcolor=ff0000ff:x=1:y=2\"";
  struct Case {
    std::string in, aspect, out;
  };
  const Case cases[] = {
      // A rate or size option inside the watermark text is text, not an option.
      {"-vcodec mpeg2video -r 25  -vf \"drawtext=text='-r 5'" + font + " ", "",
       "-vcodec mpeg2video -r 25  -vf \"drawtext=text='-r 5'" + font + " "},
      {"-vcodec mpeg2video  -vf \"drawtext=text='-r 5'" + font + " ", "",
       "-vcodec mpeg2video  -vf \"drawtext=text='-r 5'" + font + "  -r 29.97 "},
      // A size option inside the text is neither removed nor used for the scale.
      {"-s 640x480  -vf \"drawtext=text='-s 12x34'" + font + ",\"crop=10:10:0:0\" ", "",
       "  -vf \"drawtext=text='-s 12x34'" + font + ",\"crop=10:10:0:0\",\"scale=640:480\" "},
      {"-vcodec mpeg4  -vf \"drawtext=text='-s 12x34'" + font + ",\"crop=10:10:0:0\" ", "",
       "-vcodec mpeg4  -vf \"drawtext=text='-s 12x34'" + font + ",\"crop=10:10:0:0\" "},
      // Quotes inside the watermark text do not unbalance the segments.
      {"-s 64x48  -vf \"drawtext=text='say \"crop=1:2:3:4\" -vcodec copy'" + font + " ", "",
       "-s 64x48  -vf \"drawtext=text='say \"crop=1:2:3:4\" -vcodec copy'" + font + " "},
      // "-aspect" inside the text does not count as the option.
      {"-target ntsc-dvd  -vf \"drawtext=text='-aspect'" + font + " ", "4:3",
       "-target ntsc-dvd  -vf \"drawtext=text='-aspect'" + font + "  -aspect 4:3"},
      // A crop text inside the watermark is not a crop segment.
      {"-s 64x48  -vf \"drawtext=text='\"crop=1:2:3:4\"'" + font + " ", "",
       "-s 64x48  -vf \"drawtext=text='\"crop=1:2:3:4\"'" + font + " "},
      // An unterminated segment protects everything after it.
      {"-vcodec copy -vf \"hflip -vcodec copy", "", " -vf \"hflip -vcodec copy"},
  };
  for (const auto& c : cases) EXPECT_EQ(FinishEngineArguments(c.in, c.aspect), c.out) << c.in;
}

}  // namespace
}  // namespace mivora
