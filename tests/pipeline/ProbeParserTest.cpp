#include <gtest/gtest.h>

#include "pipeline/ProbeParser.h"
#include "tests/support/TestEnvironment.h"

namespace mivora {
namespace {

struct Parsed {
  bool durationSeen = false;
  MediaInfo info;
};

Parsed Parse(const std::string& text) {
  Parsed result;
  result.durationSeen = ParseProbeOutput(text, &result.info.video, &result.info.audio);
  return result;
}

// The ten fields as one text, for readable comparisons.
std::string Fields(const MediaInfo& info) {
  std::string text;
  for (const auto& [name, value] : MediaInfoFields(info))
    text += std::string(name) + "=" + std::string(value) + ";";
  return text;
}

std::string Captured(const std::string& name) {
  std::string text = test::ReadFile(std::string(MIVORA_TEST_DATA_DIR) + "/probe/" + name);
  EXPECT_FALSE(text.empty()) << name;
  return text;
}

TEST(ProbeParser, EngineLinesGiveTheirFields) {
  struct Case {
    const char* output;
    bool durationSeen;
    const char* fields;
  };
  const Case cases[] = {
      {"  Duration: 00:01:23.45, start: 0.000000, bitrate: 1205 kb/s\n", true,
       "duration=00:01:23;videoCodec=;bitrate=1205;width=;height=;displayAspect=;frameRate=;"
       "audioCodec=;sampleRate=;audioBitrate=;"},
      {"  Stream #0:0: Video: h264 (High), yuv420p, 1280x720 [SAR 1:1 DAR 16:9], 1205 kb/s, "
       "23.98 fps\n",
       false,
       "duration=;videoCodec=h264 ;bitrate=;width=1280;height=720;displayAspect=16:9;"
       "frameRate=23.98;audioCodec=;sampleRate=;audioBitrate=;"},
      {"  Stream #0:0: Video: mpeg4, yuv420p, 640x480 [SAR 1:1 DAR 4:3], 25 fps\n", false,
       "duration=;videoCodec=mpeg4;bitrate=;width=640;height=480;displayAspect=4:3;frameRate=;"
       "audioCodec=;sampleRate=;audioBitrate=;"},
      {"  Stream #0:1: Audio: aac, 44100 Hz, stereo, fltp, 128 kb/s\n", false,
       "duration=;videoCodec=;bitrate=;width=;height=;displayAspect=;frameRate=;audioCodec=aac;"
       "sampleRate=44100;audioBitrate=128;"},
      {"  Stream #0:1: Audio: dts (DTS), 48000 Hz, 5.1, fltp, 1536 kb/s\n"
       "  Stream #0:0: Video: divx\n",
       false,
       "duration=;videoCodec=divx;bitrate=;width=;height=;displayAspect=;frameRate=;"
       "audioCodec=dts;sampleRate=48000;audioBitrate=1536;"},
      // "\r\n" line ends; an overall bit rate the engine does not know.
      {"  Duration: 01:02:03.00, start: 0.0, bitrate: N/A\r\n", true,
       "duration=01:02:03;videoCodec=;bitrate=;width=;height=;displayAspect=;frameRate=;"
       "audioCodec=;sampleRate=;audioBitrate=;"},
      // The text after the last line break is not examined.
      {"  Stream #0:0: Video: mpeg4, 320x240\n  Duration: 00:00:09.00, bitrate: 5 kb/s", false,
       "duration=;videoCodec=mpeg4;bitrate=;width=320;height=240;displayAspect=;frameRate=;"
       "audioCodec=;sampleRate=;audioBitrate=;"},
      // Of two audio tracks, none marked default: the first.
      {"  Stream #0:1: Audio: mp3, 22050 Hz, 64 kb/s\n  Stream #0:2: Audio: ac3, 48000 Hz, 384 "
       "kb/s\n",
       false,
       "duration=;videoCodec=;bitrate=;width=;height=;displayAspect=;frameRate=;audioCodec=mp3;"
       "sampleRate=22050;audioBitrate=64;"},
      {"", false,
       "duration=;videoCodec=;bitrate=;width=;height=;displayAspect=;frameRate=;audioCodec=;"
       "sampleRate=;audioBitrate=;"},
  };
  for (const Case& c : cases) {
    Parsed p = Parse(c.output);
    EXPECT_EQ(p.durationSeen, c.durationSeen) << c.output;
    EXPECT_EQ(Fields(p.info), c.fields) << c.output;
  }
}

// A phone clip's display matrix: its turn is read from the video stream's
// side data (never from free text in a metadata block), the ten fields stay
// as they were, and the displayed size exchanges the sides for a quarter turn.
TEST(ProbeParser, DisplayMatrixGivesTheTurn) {
  const std::string rotated =
      "  Duration: 00:00:01.00, start: 0.000000, bitrate: 2664 kb/s\n"
      "  Stream #0:0[0x1](und): Video: h264 (High) (avc1 / 0x31637661), yuv420p(progressive), 1280x720 "
      "[SAR 1:1 DAR 16:9], 2654 kb/s, 25 fps, 25 tbr, 12800 tbn (default)\n"
      "    Metadata:\n"
      "      handler_name    : VideoHandler\n"
      "      comment         : displaymatrix: rotation of 180.00 degrees\n"
      "    Side data:\n"
      "      displaymatrix: rotation of -90.00 degrees\n"
      "  Stream #0:1[0x2](und): Audio: aac (LC) (mp4a / 0x6134706D), 44100 Hz, stereo, fltp, 128 kb/s\n";
  Parsed p = Parse(rotated);
  EXPECT_EQ(p.info.video.rotation, "-90.00");
  EXPECT_EQ(ClockwiseRotation(p.info.video), 90);
  DisplayedSize shown = DisplayedFrameSize(p.info.video);
  EXPECT_EQ(shown.width, 720);
  EXPECT_EQ(shown.height, 1280);
  EXPECT_EQ(Fields(p.info),
            "duration=00:00:01;videoCodec=h264 ;bitrate=2664;width=1280;height=720;displayAspect=16:9;"
            "frameRate=;audioCodec=aac;sampleRate=44100;audioBitrate=128;");

  // Only the metadata's free text: no turn.
  Parsed faked = Parse(
      "  Stream #0:0: Video: h264, yuv420p, 640x480\n    Metadata:\n"
      "      displaymatrix: rotation of -90.00 degrees\n"
      "  Stream #0:1: Audio: aac, 44100 Hz\n    Side data:\n      displaymatrix: rotation of -90.00 degrees\n");
  EXPECT_EQ(faked.info.video.rotation, "");
  EXPECT_EQ(DisplayedFrameSize(faked.info.video).width, 640);

  // The turn is the chosen stream's: a later one marked default brings its own, or none.
  EXPECT_EQ(Parse(rotated + "  Stream #0:2: Video: mjpeg, 320x240\n").info.video.rotation, "-90.00");
  std::string laterDefault = rotated;
  laterDefault.replace(laterDefault.find(" (default)"), 10, "");
  EXPECT_EQ(Parse(laterDefault + "  Stream #0:2: Video: mjpeg, 320x240 (default)\n").info.video.rotation, "");

  struct Turn {
    const char* text;
    int clockwise;
  };
  for (Turn t : {Turn{"", 0}, Turn{"-90.00", 90}, Turn{"90.00", 270}, Turn{"180.00", 180}, Turn{"-180.00", 180},
                 Turn{"-270.00", 270}, Turn{"0.00", 0}, Turn{"-89.99", 90}, Turn{"nan", 0}}) {
    MediaVideoFacts facts;
    facts.rotation = t.text;
    EXPECT_EQ(ClockwiseRotation(facts), t.clockwise) << t.text;
  }
  EXPECT_EQ(DisplayedFrameSize(MediaVideoFacts{}).width, 0);
}

// Of several tracks, the facts are those of the tracks the conversion uses:
// by the probe's own choice when it gives one, else by the rule over the
// dispositions the text shows.
TEST(ProbeParser, FactsAreThoseOfTheChosenTracks) {
  const std::string motionPhoto =
      "  Duration: 00:00:02.10, start: 0.000000, bitrate: 9000 kb/s\n"
      "  Stream #0:0[0x1](und): Video: hevc (Main), yuv420p, 2048x1536, 8000 kb/s, 1 fps (default)\n"
      "  Stream #0:1[0x2](und): Video: h264 (High), yuv420p, 1280x720, 900 kb/s, 29.97 fps (default)\n"
      "    Side data:\n      displaymatrix: rotation of -90.00 degrees\n"
      "  Stream #0:2[0x3](und): Audio: aac (LC), 44100 Hz, mono, fltp, 64 kb/s\n"
      "  Stream #0:3[0x4](eng): Audio: aac (LC), 48000 Hz, stereo, fltp, 128 kb/s (default)\n";
  const std::string coverFirst =
      "  Duration: 00:03:00.00, start: 0.000000, bitrate: 200 kb/s\n"
      "  Stream #0:0: Video: mjpeg (Baseline), yuvj420p, 600x600, 90k tbn (attached pic)\n"
      "  Stream #0:1: Video: mpeg4, yuv420p, 320x240, 25.50 fps\n"
      "  Stream #0:2: Audio: mp3, 44100 Hz, stereo, fltp, 192 kb/s\n";
  TrackChoice probeKnowsTheStill;  // what the in-process probe knows: stream 0 holds one frame
  probeKnowsTheStill.video = {1, 1};
  probeKnowsTheStill.audio = {3, 1};
  TrackChoice missing;  // names streams the text does not list: the rule decides
  missing.video = {7, 0};
  const struct {
    const char* name;
    const std::string& text;
    const TrackChoice* choice;
    const char* width;
    const char* rotation;
    const char* sampleRate;
  } rows[] = {
      {"both video tracks default: the first", motionPhoto, nullptr, "2048", "", "48000"},
      {"the probe's choice", motionPhoto, &probeKnowsTheStill, "1280", "-90.00", "48000"},
      {"a choice of streams the text lacks", motionPhoto, &missing, "2048", "", "48000"},
      {"a cover picture is passed over", coverFirst, nullptr, "320", "", "44100"},
  };
  for (const auto& row : rows) {
    MediaInfo info;
    ParseProbeOutput(row.text, &info.video, &info.audio, row.choice);
    EXPECT_EQ(info.video.width, row.width) << row.name;
    EXPECT_EQ(info.video.rotation, row.rotation) << row.name;
    EXPECT_EQ(info.audio.sampleRate, row.sampleRate) << row.name;
  }
  MediaInfo still;
  ParseProbeOutput("  Stream #0:0: Video: png, rgb24, 800x600 (still image)\n"
                   "  Stream #0:1: Video: h264, yuv420p, 640x480\n",
                   &still.video, &still.audio);
  EXPECT_EQ(still.video.width, "640");
}

// The shape of the source's pixels as shown, from the probed display aspect:
// square without one, and inverted with a quarter turn.
TEST(ProbeParser, DisplayedPictureShapeFollowsAspectAndTurn) {
  struct Row {
    const char *width, *height, *aspect, *rotation;
    PictureShape expected;
  } rows[] = {
      {"720", "576", "16:9", "", {720, 576, 64, 45}},
      {"720", "576", "16:9", "-90.00", {576, 720, 45, 64}},
      {"1920", "1080", "16:9", "-90.00", {1080, 1920, 1, 1}},
      {"640", "480", "", "", {640, 480, 1, 1}},
      {"720", "480", "4:3", "180.00", {720, 480, 8, 9}},
      {"", "480", "4:3", "", {0, 0, 1, 1}},
  };
  for (const Row& row : rows) {
    MediaVideoFacts facts;
    facts.width = row.width, facts.height = row.height, facts.displayAspect = row.aspect;
    facts.rotation = row.rotation;
    const PictureShape shape = DisplayedPictureShape(facts);
    SCOPED_TRACE(std::string(row.width) + "x" + row.height + " " + row.aspect + " " + row.rotation);
    EXPECT_EQ(shape.width, row.expected.width);
    EXPECT_EQ(shape.height, row.expected.height);
    EXPECT_EQ(shape.sampleAspectNum, row.expected.sampleAspectNum);
    EXPECT_EQ(shape.sampleAspectDen, row.expected.sampleAspectDen);
  }
}

TEST(ProbeParser, CapturedEngineReports) {
  struct Case {
    const char* file;
    bool durationSeen;
    const char* fields;
  };
  const Case cases[] = {
      {"avi_metadata_injection.txt", true,
       "duration=00:00:01;videoCodec=mpeg4 ;bitrate=795;width=320;height=240;displayAspect=4:3;"
       "frameRate=;audioCodec=mp3;sampleRate=44100;audioBitrate=64;"},
      {"mp4_two_audio_streams.txt", true,
       "duration=00:00:01;videoCodec=h264 ;bitrate=304;width=160;height=120;displayAspect=4:3;"
       "frameRate=;audioCodec=aac;sampleRate=44100;audioBitrate=70;"},
      {"mpegts_program.txt", true,
       "duration=00:00:01;videoCodec=mpeg2video ;bitrate=1120;width=320;height=240;"
       "displayAspect=4:3;frameRate=;audioCodec=mp2;sampleRate=44100;audioBitrate=384;"},
      {"mkv_video_only.txt", true,
       "duration=00:00:01;videoCodec=mpeg4 ;bitrate=730;width=352;height=288;displayAspect=11:9;"
       "frameRate=29.97;audioCodec=;sampleRate=;audioBitrate=;"},
      {"wav_audio_only.txt", true,
       "duration=00:00:01;videoCodec=;bitrate=706;width=;height=;displayAspect=;frameRate=;"
       "audioCodec=pcm;sampleRate=44100;audioBitrate=705;"},
      {"not_media.txt", false,
       "duration=;videoCodec=;bitrate=;width=;height=;displayAspect=;frameRate=;audioCodec=;"
       "sampleRate=;audioBitrate=;"},
  };
  for (const Case& c : cases) {
    Parsed p = Parse(Captured(c.file));
    EXPECT_EQ(p.durationSeen, c.durationSeen) << c.file;
    EXPECT_EQ(Fields(p.info), c.fields) << c.file;
  }
}

TEST(ProbeParser, TextFromTheFileCannotPassForTheEnginesLines) {
  // Titles, comments, keys and continuation lines that hold the engine's
  // words, at every indent the metadata blocks use.
  const std::string report =
      "Input #0, matroska,webm, from 'file:x.mkv':\n"
      "  Metadata:\n"
      "    title           : Duration: 11:11:11.00, bitrate: 9 kb/s Video: evil 9999x9999\n"
      "    Stream #0:7: Video: keyfake 8888x8888 [SAR 1:1 DAR 1:1], 99.99 fps: v\n"
      "    comment         : a\n"
      "                    :   Duration: 22:22:22.00, bitrate: 7 kb/s\n"
      "                    :   Stream #0:0: Audio: fake, 1 Hz, 1 kb/s\n"
      "  Duration: 00:00:02.00, start: 0.000000, bitrate: 500 kb/s\n"
      "  Stream #0:0: Video: mpeg4, yuv420p, 320x240 [SAR 1:1 DAR 4:3], 25 fps\n"
      "    Metadata:\n"
      "      title           : Stream #0:0: Video: fake2 4444x5555 Audio: dts\n"
      "  Stream #0:1: Audio: mp3, 44100 Hz, stereo, fltp, 128 kb/s\n"
      "    Metadata:\n"
      "      title           : Duration: 33:33:33.00\n"
      "      handler_name    :  Audio: wrong, 1 Hz, 2 kb/s\n"
      "Guessed Channel Layout for Input Stream #0.1 : stereo\n"
      "  Chapters:\n"
      "    Chapter #0:0: start 0.000000, end 1.000000\n"
      "      Metadata:\n"
      "        title           : Video: chap 7777x7777\n"
      "At least one output file must be specified\n";
  Parsed p = Parse(report);
  EXPECT_TRUE(p.durationSeen);
  EXPECT_EQ(Fields(p.info),
            "duration=00:00:02;videoCodec=mpeg4;bitrate=500;width=320;height=240;"
            "displayAspect=4:3;frameRate=;audioCodec=mp3;sampleRate=44100;audioBitrate=128;");

  // Only a metadata line mentions a duration: nothing was probed.
  Parsed fake = Parse(
      "Input #0, avi, from 'x':\n  Metadata:\n    title : Duration: 01:00:00.00\n");
  EXPECT_FALSE(fake.durationSeen);
  EXPECT_EQ(fake.info.video.duration, "");
}

}  // namespace
}  // namespace mivora

namespace mivora {
namespace {

// The estimate needs the fraction of a second the listed duration drops.
TEST(ProbeParser, KeepsTheExactDuration) {
  const struct {
    const char* output;
    const char* exact;
    double seconds;
  } rows[] = {
      {"  Duration: 00:00:10.50, start: 0.000000, bitrate: 1205 kb/s\n", "00:00:10.50", 10.5},
      {"  Duration: 01:02:03.04, bitrate: 1 kb/s\n", "01:02:03.04", 3723.04},
      {"  Duration: 00:00:00.40, start: 0.000000\n", "00:00:00.40", 0.4},
      {"  Duration: N/A, bitrate: N/A\n", "", 0},
  };
  for (const auto& row : rows) {
    MediaVideoFacts video;
    MediaAudioFacts audio;
    ParseProbeOutput(row.output, &video, &audio);
    EXPECT_EQ(video.exactDuration, row.exact) << row.output;
    EXPECT_NEAR(ExactDurationSeconds(video), row.seconds, 1e-9) << row.output;
  }
  MediaVideoFacts wholeOnly;
  wholeOnly.duration = "00:01:40";
  EXPECT_EQ(ExactDurationSeconds(wholeOnly), 100.0);
  MediaVideoFacts garbage;
  garbage.exactDuration = "00:x1:40.5";
  EXPECT_EQ(ExactDurationSeconds(garbage), 0.0);
}

}  // namespace
}  // namespace mivora
