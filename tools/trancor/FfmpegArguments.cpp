#include "tools/trancor/FfmpegArguments.h"

#include <cstdio>
#include <optional>
#include <string_view>

#include "tools/trancor/CodecMap.h"
#include "tools/trancor/FilterGraph.h"

namespace mivora::trancor {
namespace {

constexpr int kUnityVolume = 256;

void Add(std::vector<std::string>* argv, std::initializer_list<std::string> items) {
  argv->insert(argv->end(), items);
}

void AddIf(std::vector<std::string>* argv, const std::string& value, const char* option) {
  if (!value.empty()) Add(argv, {option, value});
}

// "-vol 384" -> "volume=1.5"; numbers in the C locale.
std::string VolumeFilter(int volume) {
  char text[64];
  std::snprintf(text, sizeof text, "volume=%.6g", static_cast<double>(volume) / kUnityVolume);
  return text;
}

bool EndsWith(const std::string& text, std::string_view tail) {
  return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// The profiles were written for an engine that always encoded these codecs
// as 8-bit 4:2:0, the form players and devices take. ffmpeg instead keeps
// the source's depth and chroma where the encoder allows it (10-bit or 4:4:4
// H.264, 4:2:2 MPEG-2), which most targets cannot play; so the format is
// named for every encoder the profiles use, unless the command names one.
std::string PixelFormatFor(const EngineCommand& command, const std::string& encoder) {
  if (!command.pixelFormat.empty()) return command.pixelFormat;
  if (encoder.empty()) {
    // A target standard picks MPEG-1 or MPEG-2 itself.
    return command.target.empty() ? "" : "yuv420p";
  }
  if (encoder == "mjpeg") return "yuvj420p";  // its full-range form
  if (encoder == "dvvideo") {
    // DV as the 525-line (NTSC) standard has it is 4:1:1; 625-line (PAL) is 4:2:0.
    return EndsWith(command.size, "x480") ? "yuv411p" : "yuv420p";
  }
  static constexpr std::string_view k420Encoders[] = {
      "libx264", "h264_nvenc", "mpeg2video", "mpeg1video", "mpeg4",     "libxvid",
      "msmpeg4", "msmpeg4v2",  "wmv1",       "wmv2",       "h263p",     "h261",
      "flv",     "rv10",       "rv20",       "libtheora"};
  for (std::string_view name : k420Encoders)
    if (encoder == name) return "yuv420p";
  return "";  // msvideo1 (RGB only), stream copy, or an encoder not of the profiles
}

// The tone mapping cannot convert from colours the file leaves unnamed; PQ
// and HLG come with BT.2020, so that is what such a file is taken to hold.
std::string ToneMapping(const SourceFacts& source) {
  std::string assumed;
  if (source.primariesUnknown) assumed += "color_primaries=bt2020";
  if (source.matrixUnknown) assumed += std::string(assumed.empty() ? "" : ":") + "colorspace=bt2020nc";
  return (assumed.empty() ? "" : "setparams=" + assumed + ",") + kToneMapToSdr;
}

}  // namespace

FfmpegCommand BuildProbeCommand(const std::string& inputPath) {
  FfmpegCommand result;
  result.ok = true;
  result.argv = {"ffmpeg", "-hide_banner", "-nostdin", "-i", "file:" + inputPath};
  return result;
}

FfmpegCommand BuildConversionCommand(const EngineCommand& command, const std::string& inputPath,
                                     const SourceFacts& source) {
  FfmpegCommand result;
  EncoderChoice video, audio;
  if (!command.videoCodec.empty()) {
    video = MapEncoder(command.videoCodec);
    if (!video.available) {
      result.error = "the video codec \"" + command.videoCodec + "\" cannot be used: " + video.reason;
      return result;
    }
  }
  if (!command.audioCodec.empty()) {
    audio = MapEncoder(command.audioCodec);
    if (!audio.available) {
      result.error = "the audio codec \"" + command.audioCodec + "\" cannot be used: " + audio.reason;
      return result;
    }
  }
  const bool toneMap = source.HighDynamicRange() && !command.noVideo;
  // The profile's frame size is a box for the picture, or a standard's
  // frame with bars; the picture keeps its shape either way. A copied
  // stream is not filtered.
  std::optional<FrameFitRequest> fit;
  if (!command.noVideo && video.encoder != "copy")
    fit = FrameFitRequest{MakeFrameFormat(command.size, command.aspect, command.target, video.encoder,
                                          command.fixedFrame),
                          DisplayedPicture(source)};
  VideoFilterGraph filters = BuildVideoFilterGraph(
      {command.videoFilters, command.d3dMode, command.d3dDepth, toneMap ? ToneMapping(source) : "", fit});
  if (!filters.ok) {
    result.error = filters.error;
    return result;
  }

  std::vector<std::string>& argv = result.argv;
  Add(&argv, {"ffmpeg", "-hide_banner", "-nostdin", "-y"});
  // Seeking on the input is fast and, when converting, exact.
  AddIf(&argv, command.seek, "-ss");
  Add(&argv, {"-i", "file:" + inputPath});
  AddIf(&argv, command.target, "-target");
  if (!command.noVideo) {
    AddIf(&argv, video.encoder, "-c:v");
    AddIf(&argv, command.videoBitrate, "-b:v");
    AddIf(&argv, command.frameRate, "-r");
    if (!filters.fitted) {
      AddIf(&argv, command.aspect, "-aspect");
      AddIf(&argv, command.size, "-s");
    }
    AddIf(&argv, PixelFormatFor(command, video.encoder), "-pix_fmt");
    AddIf(&argv, filters.graph, "-vf");
    if (toneMap)
      Add(&argv, {"-color_primaries", "bt709", "-color_trc", "bt709", "-colorspace", "bt709"});
  } else {
    Add(&argv, {"-vn"});
  }
  if (!command.noAudio) {
    AddIf(&argv, audio.encoder, "-c:a");
    AddIf(&argv, command.audioBitrate, "-b:a");
    AddIf(&argv, command.sampleRate, "-ar");
    AddIf(&argv, command.channels, "-ac");
    std::string audioFilters;
    // The DV container interleaves a fixed amount of audio with every frame
    // and refuses a stream that starts late or has gaps (Vorbis and Opus
    // sources often do): the audio is filled to the frames' clock.
    if (video.encoder == "dvvideo" && !command.noVideo) audioFilters = "aresample=async=1:first_pts=0";
    if (command.volume && *command.volume != kUnityVolume)
      audioFilters += (audioFilters.empty() ? "" : ",") + VolumeFilter(*command.volume);
    AddIf(&argv, audioFilters, "-af");
  } else {
    Add(&argv, {"-an"});
  }
  // ffmpeg's DTS encoder is marked experimental and needs this to run.
  std::string strict = command.strict;
  if (strict.empty() && audio.encoder == "dca" && !command.noAudio) strict = "experimental";
  AddIf(&argv, strict, "-strict");
  AddIf(&argv, command.length, "-t");
  // Subtitles and data tracks are not part of a conversion; a text subtitle
  // would otherwise stop a target that only takes picture subtitles.
  Add(&argv, {"-sn", "-dn"});
  argv.push_back("file:" + command.output);
  result.ok = true;
  return result;
}

}  // namespace mivora::trancor
