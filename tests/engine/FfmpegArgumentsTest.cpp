#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>

#include "tools/trancor/CodecMap.h"
#include "tools/trancor/FfmpegArguments.h"
#include "tools/trancor/FilterGraph.h"

namespace mivora::trancor {
namespace {

// The value that follows `option` in argv, or "<absent>".
std::string ValueOf(const std::vector<std::string>& argv, const std::string& option) {
  auto it = std::find(argv.begin(), argv.end(), option);
  if (it == argv.end() || it + 1 == argv.end()) return "<absent>";
  return *(it + 1);
}

EngineCommand Command(const std::vector<std::string>& args) {
  ParsedCommand parsed = ParseEngineCommand(args);
  EXPECT_TRUE(parsed.ok) << parsed.error;
  return parsed.command;
}

TEST(CodecMap, EveryEngineCodecNameHasAnAnswer) {
  struct Row {
    const char* engineName;
    const char* encoder;  // nullptr: not to be had here
  };
  const Row rows[] = {
      {"cudax264", "h264_nvenc"}, {"libx264", "libx264"},     {"mpeg2video", "mpeg2video"},
      {"msvideo1", "msvideo1"},   {"libxvid", "libxvid"},     {"mpeg4", "mpeg4"},
      {"mpeg1video", "mpeg1video"}, {"wmv2", "wmv2"},         {"wmv1", "wmv1"},
      {"h263p", "h263p"},         {"h261", "h261"},           {"msmpeg4", "msmpeg4"},
      {"msmpeg4v2", "msmpeg4v2"}, {"msmpeg4v1", nullptr},     {"mjpeg", "mjpeg"},
      {"flv", "flv"},             {"rv10", "rv10"},           {"rv20", "rv20"},
      {"dvvideo", "dvvideo"},     {"libtheora", "libtheora"}, {"libgsm", "libgsm"},
      {"vorbis", "libvorbis"},    {"libmp3lame", "libmp3lame"}, {"mp2", "mp2"},
      {"ac3", "ac3"},             {"dca", "dca"},             {"libfaac", "aac"},
      {"libopencore_amrnb", nullptr}, {"flac", "flac"},       {"alac", "alac"},
      {"wmav1", "wmav1"},         {"wmav2", "wmav2"},         {"pcm_s16le", "pcm_s16le"},
      {"pcm_s16be", "pcm_s16be"}, {"copy", "copy"},
      {"libx265", "libx265"},     {"cudax265", "hevc_nvenc"}, {"libsvtav1", "libsvtav1"},
      {"libvpx-vp9", "libvpx-vp9"}, {"libopus", "libopus"},
  };
  for (const Row& row : rows) {
    EncoderChoice choice = MapEncoder(row.engineName);
    if (row.encoder == nullptr) {
      EXPECT_FALSE(choice.available) << row.engineName;
      EXPECT_FALSE(choice.reason.empty()) << row.engineName;
    } else {
      EXPECT_TRUE(choice.available) << row.engineName;
      EXPECT_EQ(choice.encoder, row.encoder) << row.engineName;
    }
  }
}

TEST(FfmpegArguments, TranslatesTheBuilderOutput) {
  EngineCommand c = Command({"-i", "in.avi", "-dxva2", "0", "-hwnd", "7", "-b", "1000k", "-r",
                             "25", "-aspect", "4:3", "-ab", "128k", "-ar", "44100", "-ac", "2",
                             "-vol", "384", "-vcodec", "libxvid", "-acodec", "libfaac", "-s",
                             "640x480", "-ss", "5", "-t", "60", "-out.avi"});
  FfmpegCommand f = BuildConversionCommand(c, c.input);
  ASSERT_TRUE(f.ok) << f.error;
  const auto& argv = f.argv;
  EXPECT_EQ(argv.front(), "ffmpeg");
  EXPECT_EQ(argv.back(), "file:-out.avi");
  EXPECT_EQ(ValueOf(argv, "-i"), "file:in.avi");
  EXPECT_NE(std::find(argv.begin(), argv.end(), "-y"), argv.end());
  EXPECT_NE(std::find(argv.begin(), argv.end(), "-nostdin"), argv.end());
  EXPECT_EQ(ValueOf(argv, "-c:v"), "libxvid");
  EXPECT_EQ(ValueOf(argv, "-c:a"), "aac");
  EXPECT_EQ(ValueOf(argv, "-b:v"), "1000k");
  EXPECT_EQ(ValueOf(argv, "-b:a"), "128k");
  EXPECT_EQ(ValueOf(argv, "-r"), "25");
  EXPECT_EQ(ValueOf(argv, "-aspect"), "4:3");
  EXPECT_EQ(ValueOf(argv, "-ar"), "44100");
  EXPECT_EQ(ValueOf(argv, "-ac"), "2");
  EXPECT_EQ(ValueOf(argv, "-s"), "640x480");
  EXPECT_EQ(ValueOf(argv, "-af"), "volume=1.5");
  EXPECT_EQ(ValueOf(argv, "-t"), "60");
  // Seeking happens on the input, before "-i".
  auto seek = std::find(argv.begin(), argv.end(), "-ss");
  auto input = std::find(argv.begin(), argv.end(), "-i");
  ASSERT_NE(seek, argv.end());
  EXPECT_LT(seek, input);
  // Options the engine consumes itself never reach ffmpeg.
  for (const char* own : {"-dxva2", "-hwnd", "-vol", "-vcodec", "-acodec", "-d3dmode"})
    EXPECT_EQ(std::find(argv.begin(), argv.end(), own), argv.end()) << own;
}

// A PQ or HLG source is tone-mapped before the edits and the output tagged
// BT.709; other sources are left as they are. Subtitles and data never go along.
TEST(FfmpegArguments, HighDynamicRangeSourcesAreToneMappedToBt709) {
  EngineCommand c = Command({"-i", "in.mp4", "-vcodec", "libx264", "-vf", "hflip", "out.mp4"});
  for (Transfer transfer : {Transfer::kPq, Transfer::kHlg}) {
    SourceFacts hdr;
    hdr.readable = true;
    hdr.transfer = transfer;
    FfmpegCommand f = BuildConversionCommand(c, c.input, hdr);
    ASSERT_TRUE(f.ok) << f.error;
    EXPECT_EQ(ValueOf(f.argv, "-vf"), std::string("[in]") + kToneMapToSdr + ",hflip[out]");
    EXPECT_EQ(ValueOf(f.argv, "-color_primaries"), "bt709");
    EXPECT_EQ(ValueOf(f.argv, "-color_trc"), "bt709");
    EXPECT_EQ(ValueOf(f.argv, "-colorspace"), "bt709");
  }
  // A file that names neither primaries nor matrix is taken as BT.2020.
  SourceFacts untagged;
  untagged.transfer = Transfer::kPq;
  untagged.primariesUnknown = untagged.matrixUnknown = true;
  EXPECT_EQ(ValueOf(BuildConversionCommand(c, c.input, untagged).argv, "-vf"),
            std::string("[in]setparams=color_primaries=bt2020:colorspace=bt2020nc,") + kToneMapToSdr +
                ",hflip[out]");
  for (Transfer transfer : {Transfer::kUnknown, Transfer::kStandard}) {
    SourceFacts sdr;
    sdr.transfer = transfer;
    FfmpegCommand f = BuildConversionCommand(c, c.input, sdr);
    EXPECT_EQ(ValueOf(f.argv, "-vf"), "[in]hflip[out]");
    EXPECT_EQ(std::find(f.argv.begin(), f.argv.end(), "-color_trc"), f.argv.end());
    EXPECT_NE(std::find(f.argv.begin(), f.argv.end(), "-sn"), f.argv.end());
    EXPECT_NE(std::find(f.argv.begin(), f.argv.end(), "-dn"), f.argv.end());
  }
}

// A 10-bit H.265 or AV1 output keeps a PQ or HLG source as it is: no tone
// mapping, its transfer named (BT.2020 where the source names no primaries
// or matrix) and its mastering metadata handed to the encoder. An 8-bit one,
// or a codec whose files do not carry HDR, is tone-mapped as before.
TEST(FfmpegArguments, TenBitHevcAndAv1OutputsKeepHdr) {
  HdrMetadata metadata;
  metadata.hasMastering = metadata.hasContentLight = true;
  metadata.redX = 0.68, metadata.redY = 0.32, metadata.greenX = 0.265, metadata.greenY = 0.69;
  metadata.blueX = 0.15, metadata.blueY = 0.06, metadata.whiteX = 0.3127, metadata.whiteY = 0.329;
  metadata.minLuminance = 0.005, metadata.maxLuminance = 1000;
  metadata.maxContentLight = 1000, metadata.maxFrameAverageLight = 400;
  struct Case {
    std::vector<std::string> video;
    bool keeps;
    const char* parametersOption;  // the encoder's parameter option, or nullptr
    const char* parameters;
  };
  const Case cases[] = {
      {{"-vcodec", "libx265", "-pix_fmt", "yuv420p10le"}, true, "-x265-params",
       "log-level=warning:master-display=G(13250,34500)B(7500,3000)R(34000,16000)WP(15635,16450)"
       "L(10000000,50):max-cll=1000,400"},
      {{"-vcodec", "libsvtav1", "-pix_fmt", "yuv420p10le"}, true, "-svtav1-params",
       "mastering-display=G(0.265,0.69)B(0.15,0.06)R(0.68,0.32)WP(0.3127,0.329)L(1000,0.005):"
       "content-light=1000,400"},
      {{"-vcodec", "libx265"}, false, "-x265-params", "log-level=warning"},
      {{"-vcodec", "libsvtav1"}, false, nullptr, nullptr},
      {{"-vcodec", "libx264", "-pix_fmt", "yuv420p10le"}, false, nullptr, nullptr},
  };
  for (Transfer transfer : {Transfer::kPq, Transfer::kHlg}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(::testing::PrintToString(c.video));
      std::vector<std::string> args = {"-i", "in.mkv"};
      args.insert(args.end(), c.video.begin(), c.video.end());
      args.push_back("out.mkv");
      SourceFacts source;
      source.transfer = transfer;
      source.primariesUnknown = source.matrixUnknown = true;
      EngineCommand command = Command(args);
      EXPECT_EQ(KeepsHdr(command), c.keeps);
      FfmpegCommand f = BuildConversionCommand(command, "in.mkv", source, metadata);
      ASSERT_TRUE(f.ok) << f.error;
      if (c.keeps) {
        EXPECT_EQ(ValueOf(f.argv, "-vf"), "<absent>");
        EXPECT_EQ(ValueOf(f.argv, "-color_trc"), transfer == Transfer::kPq ? "smpte2084" : "arib-std-b67");
        EXPECT_EQ(ValueOf(f.argv, "-color_primaries"), "bt2020");
        EXPECT_EQ(ValueOf(f.argv, "-colorspace"), "bt2020nc");
      } else {
        EXPECT_NE(ValueOf(f.argv, "-vf").find("tonemap"), std::string::npos);
        EXPECT_EQ(ValueOf(f.argv, "-color_trc"), "bt709");
      }
      if (c.parametersOption) EXPECT_EQ(ValueOf(f.argv, c.parametersOption), c.parameters);
      for (const char* option : {"-x265-params", "-svtav1-params"})
        if (!c.parametersOption || option != std::string(c.parametersOption))
          EXPECT_EQ(ValueOf(f.argv, option), "<absent>") << option;
    }
  }
  // An SDR source through a 10-bit profile: nothing to keep, nothing to map.
  FfmpegCommand sdr = BuildConversionCommand(
      Command({"-i", "in.mkv", "-vcodec", "libx265", "-pix_fmt", "yuv420p10le", "out.mkv"}), "in.mkv");
  EXPECT_EQ(ValueOf(sdr.argv, "-vf"), "<absent>");
  EXPECT_EQ(ValueOf(sdr.argv, "-color_trc"), "<absent>");
  EXPECT_EQ(ValueOf(sdr.argv, "-x265-params"), "log-level=warning");
}

// Every MP4-family output has its index first; H.265 in it carries the tag
// browsers look for; the new encoders run at their chosen speeds.
TEST(FfmpegArguments, WebReadyFilesAndEncoderSpeeds) {
  struct Case {
    const char* codec;
    const char* output;
    bool faststart;
    const char* tag;  // "-tag:v" value or "<absent>"
    std::vector<std::string> speed;
  };
  const Case cases[] = {
      {"libx264", "out.mp4", true, "<absent>", {}},
      {"libx264", "OUT.MOV", true, "<absent>", {}},
      {"libfaac", "out.m4a", true, "<absent>", {}},
      {"libx265", "out.mp4", true, "hvc1", {"-preset", "medium"}},
      {"cudax265", "out.mov", true, "hvc1", {}},
      {"libx265", "out.mkv", false, "<absent>", {"-preset", "medium"}},
      {"libsvtav1", "out.webm", false, "<absent>", {"-preset", "8", "-g", "65"}},
      {"libvpx-vp9", "out.webm", false, "<absent>",
       {"-deadline", "good", "-cpu-used", "5", "-row-mt", "1", "-crf", "24"}},
      {"libx264", "a.mp4.mkv", false, "<absent>", {}},
      {"libopus", "out.opus", false, "<absent>", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.codec) + " -> " + c.output);
    bool audio = std::string(c.codec) == "libfaac" || std::string(c.codec) == "libopus";
    FfmpegCommand f = BuildConversionCommand(
        Command({"-i", "in", audio ? "-acodec" : "-vcodec", c.codec, c.output}), "in");
    ASSERT_TRUE(f.ok) << f.error;
    EXPECT_EQ(ValueOf(f.argv, "-movflags"), c.faststart ? "+faststart" : "<absent>");
    EXPECT_EQ(ValueOf(f.argv, "-tag:v"), c.tag);
    auto encoder = std::find(f.argv.begin(), f.argv.end(), "-c:v");
    if (!c.speed.empty()) {
      ASSERT_NE(encoder, f.argv.end());
      EXPECT_TRUE(std::equal(c.speed.begin(), c.speed.end(), encoder + 2));
    }
  }
  // 4K frames go two steps faster; the size decides, not the codec name.
  const std::tuple<const char*, const char*, std::vector<std::string>> sized[] = {
      {"libx265", "3840x2160", {"-preset", "faster"}},
      {"libx265", "1920x1080", {"-preset", "medium"}},
      {"libx264", "3840x2160", {"-preset", "faster"}},
      {"libx264", "2560x1440", {"-preset", "faster"}},
      {"libsvtav1", "3840x2160", {"-preset", "8", "-g", "65"}},
  };
  for (const auto& [codec, size, speed] : sized) {
    FfmpegCommand f = BuildConversionCommand(Command({"-i", "in", "-vcodec", codec, "-s", size, "out.mkv"}), "in");
    auto encoder = std::find(f.argv.begin(), f.argv.end(), "-c:v");
    ASSERT_NE(encoder, f.argv.end());
    EXPECT_TRUE(std::equal(speed.begin(), speed.end(), encoder + 2)) << codec << " " << size;
  }
  FfmpegCommand hd = BuildConversionCommand(Command({"-i", "in", "-vcodec", "libx264", "-s", "1920x1080", "o.mp4"}), "in");
  EXPECT_EQ(ValueOf(hd.argv, "-preset"), "<absent>");

  EXPECT_EQ(SoftwareStandIn("h264_nvenc"), "libx264");
  EXPECT_EQ(SoftwareStandIn("hevc_nvenc"), "libx265");
  EXPECT_EQ(SoftwareStandIn("libx265"), "");
}

// The profile's frame size becomes a fit of the picture as shown: a box for
// the picture (turned for portrait), or a standard's frame with bars; -s and
// -aspect then stay away from ffmpeg. Unknown sources scale as before.
TEST(FfmpegArguments, TheFrameSizeIsAFitOfThePictureAsShown) {
  SourceFacts phone, wide, pal, unknown;
  phone.width = 1920, phone.height = 1080, phone.rotation = 90;
  wide.width = 1920, wide.height = 1080;
  pal.width = 720, pal.height = 576, pal.sampleAspectNum = 64, pal.sampleAspectDen = 45;
  struct Row {
    const char* what;
    std::vector<std::string> options;
    SourceFacts source;
    const char* graph;  // "" for none
    bool keepsOptions;  // -s and -aspect reach ffmpeg
  } rows[] = {
      {"portrait phone into a landscape box", {"-vcodec", "libx264", "-s", "640x480"}, phone,
       "[in]scale=360:640,setsar=1/1[out]", false},
      {"anamorphic PAL into a box", {"-vcodec", "mpeg4", "-aspect", "4:3", "-s", "640x480"}, pal,
       "[in]scale=640:360,setsar=1/1[out]", false},
      {"16:9 into the disc group's PAL frame", {"-fixedframe", "-vcodec", "mpeg2video", "-s", "720x576", "-aspect",
       "4:3"}, wide, "[in]scale=720:432,pad=720:576:0:72:black,setsar=16/15[out]", false},
      {"a target's frame", {"-target", "ntsc-dvd", "-aspect", "16:9"}, phone,
       "[in]scale=228:480,pad=720:480:246:0:black,setsar=32/27[out]", false},
      {"the crop's region, with the size behind it", {"-vcodec", "libx264", "-vf", "crop=200:100:10:20,scale=640:480"},
       wide, "[in]crop=200:100:10:20,scale=640:320,setsar=1/1[out]", false},
      {"an unknown source scales as told", {"-vcodec", "libx264", "-s", "640x480", "-aspect", "4:3"}, unknown, "",
       true},
      {"no frame size: the source's own", {"-vcodec", "libx264", "-aspect", "16:9"}, wide, "", true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    std::vector<std::string> args = {"-i", "in.mp4"};
    args.insert(args.end(), row.options.begin(), row.options.end());
    args.push_back("out.mp4");
    EngineCommand c = Command(args);
    FfmpegCommand f = BuildConversionCommand(c, c.input, row.source);
    ASSERT_TRUE(f.ok) << f.error;
    EXPECT_EQ(ValueOf(f.argv, "-vf"), *row.graph ? row.graph : "<absent>");
    EXPECT_EQ(ValueOf(f.argv, "-s") != "<absent>" || ValueOf(f.argv, "-aspect") != "<absent>", row.keepsOptions);
    EXPECT_EQ(ValueOf(f.argv, "-target"), c.target.empty() ? "<absent>" : c.target);
  }
}

TEST(FfmpegArguments, VolumeAndSwitches) {
  struct Case {
    std::vector<std::string> options;
    const char* option;
    const char* value;  // "<absent>" when the option must not appear
  };
  const Case cases[] = {
      {{"-vol", "256"}, "-af", "<absent>"},
      {{"-vol", "0"}, "-af", "volume=0"},
      {{"-vol", "84"}, "-af", "volume=0.328125"},
      {{"-vol", "384", "-an"}, "-af", "<absent>"},
      {{"-vcodec", "dvvideo"}, "-af", "aresample=async=1:first_pts=0"},
      {{"-vcodec", "dvvideo", "-vol", "384"}, "-af", "aresample=async=1:first_pts=0,volume=1.5"},
      {{"-vcodec", "mpeg4", "-vn"}, "-c:v", "<absent>"},
      {{"-target", "ntsc-dvd", "-aspect", "16:9"}, "-target", "ntsc-dvd"},
      {{"-acodec", "dca", "-strict", "experimental"}, "-strict", "experimental"},
      {{"-acodec", "dca"}, "-strict", "experimental"},
      {{"-acodec", "vorbis"}, "-c:a", "libvorbis"},
      {{"-vf", "crop=10:10:0:0", "-vf", " scale=20:20 "}, "-vf", "[in]crop=10:10:0:0,scale=20:20[out]"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = {"-i", "in"};
    args.insert(args.end(), c.options.begin(), c.options.end());
    args.push_back("out.avi");
    FfmpegCommand f = BuildConversionCommand(Command(args), "in");
    ASSERT_TRUE(f.ok) << f.error;
    EXPECT_EQ(ValueOf(f.argv, c.option), c.value) << ::testing::PrintToString(c.options);
  }
}

// The chosen tracks are named after the input (the audio one optional); an
// unread source or a switched-off kind names none.
TEST(FfmpegArguments, TheChosenTracksAreMapped) {
  SourceFacts motionPhoto;
  motionPhoto.tracksKnown = true;
  motionPhoto.tracks.video = {2, 1};
  motionPhoto.tracks.audio = {1, 0};
  SourceFacts silent = motionPhoto;
  silent.tracks.audio = {};
  const struct {
    std::vector<std::string> options;
    SourceFacts facts;
    std::vector<std::string> maps;
  } rows[] = {
      {{"-vcodec", "mpeg4"}, motionPhoto, {"0:v:1", "0:a:0?"}},
      {{"-vcodec", "mpeg4", "-an"}, motionPhoto, {"0:v:1"}},
      {{"-vn", "-acodec", "mp2"}, motionPhoto, {"0:a:0?"}},
      {{"-vcodec", "mpeg4"}, silent, {"0:v:1"}},
      {{"-vcodec", "mpeg4"}, SourceFacts{}, {}},
  };
  for (const auto& row : rows) {
    std::vector<std::string> args = {"-i", "in"};
    args.insert(args.end(), row.options.begin(), row.options.end());
    args.push_back("out.avi");
    FfmpegCommand f = BuildConversionCommand(Command(args), "in", row.facts);
    ASSERT_TRUE(f.ok) << f.error;
    std::vector<std::string> maps;
    for (size_t i = 0; i + 1 < f.argv.size(); ++i)
      if (f.argv[i] == "-map") maps.push_back(f.argv[i + 1]);
    EXPECT_EQ(maps, row.maps) << ::testing::PrintToString(row.options);
  }
}

TEST(FfmpegArguments, VideoIsEightBitFourTwoZeroUnlessTheCommandSaysOtherwise) {
  struct Case {
    std::vector<std::string> options;
    const char* pixelFormat;  // "<absent>": ffmpeg chooses
  };
  const Case cases[] = {
      {{"-vcodec", "libx264"}, "yuv420p"},
      {{"-vcodec", "cudax264"}, "yuv420p"},
      {{"-vcodec", "mpeg2video", "-target", "pal-dvd"}, "yuv420p"},
      {{"-target", "ntsc-dvd"}, "yuv420p"},
      {{"-vcodec", "libxvid"}, "yuv420p"},
      {{"-vcodec", "libtheora"}, "yuv420p"},
      {{"-vcodec", "wmv2"}, "yuv420p"},
      {{"-vcodec", "mjpeg"}, "yuvj420p"},
      {{"-vcodec", "dvvideo", "-s", "720x576"}, "yuv420p"},
      {{"-vcodec", "dvvideo", "-s", "720x480"}, "yuv411p"},
      {{"-vcodec", "libx264", "-pix_fmt", "yuv444p"}, "yuv444p"},
      {{"-vcodec", "libx265"}, "yuv420p"},
      {{"-vcodec", "cudax265"}, "yuv420p"},
      {{"-vcodec", "libsvtav1"}, "yuv420p"},
      {{"-vcodec", "libvpx-vp9"}, "yuv420p"},
      {{"-vcodec", "libx265", "-pix_fmt", "yuv420p10le"}, "yuv420p10le"},
      {{"-vcodec", "msvideo1"}, "<absent>"},  // RGB only
      {{"-vcodec", "copy"}, "<absent>"},
      {{}, "<absent>"},
      {{"-vcodec", "libx264", "-vn"}, "<absent>"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = {"-i", "in"};
    args.insert(args.end(), c.options.begin(), c.options.end());
    args.push_back("out.mp4");
    FfmpegCommand f = BuildConversionCommand(Command(args), "in");
    ASSERT_TRUE(f.ok) << f.error;
    EXPECT_EQ(ValueOf(f.argv, "-pix_fmt"), c.pixelFormat) << ::testing::PrintToString(c.options);
  }
}

TEST(FfmpegArguments, CodecsThatCannotBeHadStopTheRun) {
  for (const char* option : {"-vcodec", "-acodec"}) {
    const char* name = option[1] == 'v' ? "msmpeg4v1" : "libopencore_amrnb";
    FfmpegCommand f = BuildConversionCommand(Command({"-i", "in", option, name, "out.3gp"}), "in");
    EXPECT_FALSE(f.ok);
    EXPECT_NE(f.error.find(name), std::string::npos) << f.error;
    EXPECT_TRUE(f.argv.empty());
  }
}

TEST(FilterGraph, ChainsJoinAndThreeDIsAddedOnlyWhenAsked) {
  EXPECT_EQ(BuildVideoFilterGraph({{"crop=600:400:20:40", " scale=640:480 "}, -1, 0}).graph,
            "[in]crop=600:400:20:40,scale=640:480[out]");
  EXPECT_EQ(BuildVideoFilterGraph({{"  ", ""}, -1, 7}).graph, "");
  VideoFilterGraph redCyan = BuildVideoFilterGraph({{}, 0, 0});  // mode 0 is a real mode
  EXPECT_TRUE(redCyan.ok);
  EXPECT_NE(redCyan.graph.find("lutrgb"), std::string::npos);
  VideoFilterGraph unknown = BuildVideoFilterGraph({{}, 9, 5});
  EXPECT_FALSE(unknown.ok);
  EXPECT_FALSE(unknown.error.empty());
}

TEST(FfmpegArguments, ProbeOpensTheFileAsAFile) {
  FfmpegCommand f = BuildProbeCommand("-concat:x|y");
  EXPECT_EQ(f.argv.back(), "file:-concat:x|y");
  EXPECT_EQ(ValueOf(f.argv, "-i"), "file:-concat:x|y");
}

}  // namespace
}  // namespace mivora::trancor
