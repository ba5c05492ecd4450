#include "tools/trancor/FfmpegArguments.h"

#include <cctype>
#include <cstdio>
#include <optional>
#include <string_view>

#include "profiles/HdrOutput.h"
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
      "flv",     "rv10",       "rv20",       "libtheora",  "libx265",   "hevc_nvenc",
      "libsvtav1", "libvpx-vp9"};
  for (std::string_view name : k420Encoders)
    if (encoder == name) return "yuv420p";
  return "";  // msvideo1 (RGB only), stream copy, or an encoder not of the profiles
}

std::string ToneMapping(const SourceFacts& source) {
  return colour::ToneMapChain(source.primariesUnknown, source.matrixUnknown);
}

// The tracks the program probed, plays and edits (TrackChoice.h), rather
// than the ones ffmpeg would pick (the largest picture, the most channels).
// Audio is optional so that a source without it still converts.
void AddTrackMaps(const EngineCommand& command, const SourceFacts& source, std::vector<std::string>* argv) {
  if (!source.tracksKnown) return;
  if (!command.noVideo && source.tracks.video.Found())
    Add(argv, {"-map", "0:v:" + std::to_string(source.tracks.video.ordinal)});
  if (!command.noAudio && source.tracks.audio.Found())
    Add(argv, {"-map", "0:a:" + std::to_string(source.tracks.audio.ordinal) + "?"});
}

std::string LowerExtension(const std::string& path) {
  size_t dot = path.rfind('.');
  size_t slash = path.rfind('/');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
  std::string extension = path.substr(dot + 1);
  for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return extension;
}

// MP4-family files written with their index (moov) before the media (mdat).
bool IsMp4Family(const std::string& extension) {
  return extension == "mp4" || extension == "m4a" || extension == "m4v" || extension == "mov";
}

// MP4-family files that play in a browser before they have loaded: the index
// first; H.265 under the tag browsers and phones look for.
void AddWebReadyOptions(std::vector<std::string>* argv, const std::string& videoEncoder) {
  Add(argv, {"-movflags", "+faststart"});
  if (videoEncoder == "libx265" || videoEncoder == "hevc_nvenc") Add(argv, {"-tag:v", "hvc1"});
}

// The colour description of an output that keeps HDR: the source's, which
// ffmpeg carries over, with BT.2020 named where the source leaves it out.
void AddHdrTags(std::vector<std::string>* argv, const SourceFacts& source) {
  Add(argv, {"-color_trc", source.transfer == Transfer::kPq ? "smpte2084" : "arib-std-b67"});
  if (source.primariesUnknown) Add(argv, {"-color_primaries", "bt2020"});
  if (source.matrixUnknown) Add(argv, {"-colorspace", "bt2020nc"});
}

// The encoder's own parameters: its log level, and the mastering metadata of
// an HDR source whose range the output keeps.
void AddEncoderParameters(std::vector<std::string>* argv, const std::string& encoder, const HdrMetadata* hdr) {
  if (encoder == "libx265") {
    std::string parameters = "log-level=warning";
    std::string metadata = hdr ? X265HdrParameters(*hdr) : "";
    if (!metadata.empty()) parameters += ":" + metadata;
    Add(argv, {"-x265-params", parameters});
  } else if (encoder == "libsvtav1" && hdr) {
    AddIf(argv, SvtAv1HdrParameters(*hdr), "-svtav1-params");
  }
}

}  // namespace

bool KeepsHdr(const EngineCommand& command) {
  if (command.noVideo || command.videoCodec.empty()) return false;
  EncoderChoice video = MapEncoder(command.videoCodec);
  return OutputKeepsHdr(video.encoder, PixelFormatFor(command, video.encoder));
}

FfmpegCommand BuildProbeCommand(const std::string& inputPath) {
  FfmpegCommand result;
  result.ok = true;
  result.argv = {"ffmpeg", "-hide_banner", "-nostdin", "-i", "file:" + inputPath};
  return result;
}

namespace {

// The encoders the command names; false, with the reason, when one of them
// cannot be used here.
bool ChooseEncoders(const EngineCommand& command, EncoderChoice* video, EncoderChoice* audio, std::string* error) {
  if (!command.videoCodec.empty()) {
    *video = MapEncoder(command.videoCodec, command.size);
    if (!video->available) {
      *error = "the video codec \"" + command.videoCodec + "\" cannot be used: " + video->reason;
      return false;
    }
  }
  if (!command.audioCodec.empty()) {
    *audio = MapEncoder(command.audioCodec);
    if (!audio->available) {
      *error = "the audio codec \"" + command.audioCodec + "\" cannot be used: " + audio->reason;
      return false;
    }
  }
  return true;
}

// How the source's picture is treated: its HDR kept or tone-mapped, and the
// filters that fit it into the profile's frame.
struct PicturePlan {
  bool keepHdr = false, toneMap = false;
  VideoFilterGraph filters;
};

// How a screen shows the picture as the edits receive it: the tone mapping
// ends in BT.709; an HDR picture that is kept is left as it is, as is one
// whose facts are not known.
std::optional<colour::ScreenColour> ColourEnteringTheEdits(const SourceFacts& source, const PicturePlan& plan) {
  if (plan.toneMap) return colour::ScreenColour::kTvBt709;
  if (plan.keepHdr || !source.readable) return std::nullopt;
  return source.screenColour;
}

PicturePlan PlanPicture(const EngineCommand& command, const SourceFacts& source, const EncoderChoice& video) {
  PicturePlan plan;
  plan.keepHdr = source.HighDynamicRange() && KeepsHdr(command);
  plan.toneMap = source.HighDynamicRange() && !command.noVideo && !plan.keepHdr;
  // The profile's frame size is a box for the picture, or a standard's
  // frame with bars; the picture keeps its shape either way. A copied
  // stream is not filtered.
  std::optional<FrameFitRequest> fit;
  if (!command.noVideo && video.encoder != "copy")
    fit = FrameFitRequest{MakeFrameFormat(command.size, command.aspect, command.target, video.encoder,
                                          command.fixedFrame),
                          DisplayedPicture(source), ColourEnteringTheEdits(source, plan)};
  plan.filters = BuildVideoFilterGraph(
      {command.videoFilters, command.d3dMode, command.d3dDepth, plan.toneMap ? ToneMapping(source) : "", fit});
  return plan;
}

void AddVideoOptions(const EngineCommand& command, const SourceFacts& source, const HdrMetadata& hdr,
                     const EncoderChoice& video, const PicturePlan& plan, std::vector<std::string>* argv) {
  if (command.noVideo) {
    Add(argv, {"-vn"});
    return;
  }
  AddIf(argv, video.encoder, "-c:v");
  argv->insert(argv->end(), video.speedOptions.begin(), video.speedOptions.end());
  AddEncoderParameters(argv, video.encoder, plan.keepHdr ? &hdr : nullptr);
  AddIf(argv, command.videoBitrate, "-b:v");
  AddIf(argv, command.frameRate, "-r");
  if (!plan.filters.fitted) {
    AddIf(argv, command.aspect, "-aspect");
    AddIf(argv, command.size, "-s");
  }
  AddIf(argv, PixelFormatFor(command, video.encoder), "-pix_fmt");
  AddIf(argv, plan.filters.graph, "-vf");
  // A re-coded picture names its new matrix wherever the format can say it.
  const std::string matrix = colour::MatrixName(plan.filters.recodedTo.value_or(colour::ScreenColour::kTvBt709));
  if (plan.toneMap) Add(argv, {"-color_primaries", "bt709", "-color_trc", "bt709", "-colorspace", matrix});
  else if (plan.filters.recodedTo) Add(argv, {"-colorspace", matrix});
  if (plan.keepHdr) AddHdrTags(argv, source);
}

void AddAudioOptions(const EngineCommand& command, const EncoderChoice& video, const EncoderChoice& audio,
                     std::vector<std::string>* argv) {
  if (command.noAudio) {
    Add(argv, {"-an"});
    return;
  }
  AddIf(argv, audio.encoder, "-c:a");
  AddIf(argv, command.audioBitrate, "-b:a");
  AddIf(argv, command.sampleRate, "-ar");
  AddIf(argv, command.channels, "-ac");
  std::string audioFilters;
  // The DV container interleaves a fixed amount of audio with every frame
  // and refuses a stream that starts late or has gaps (Vorbis and Opus
  // sources often do): the audio is filled to the frames' clock.
  if (video.encoder == "dvvideo" && !command.noVideo) audioFilters = "aresample=async=1:first_pts=0";
  if (command.volume && *command.volume != kUnityVolume)
    audioFilters += (audioFilters.empty() ? "" : ",") + VolumeFilter(*command.volume);
  AddIf(argv, audioFilters, "-af");
}

}  // namespace

FfmpegCommand BuildConversionCommand(const EngineCommand& command, const std::string& inputPath,
                                     const SourceFacts& source, const HdrMetadata& hdr) {
  FfmpegCommand result;
  EncoderChoice video, audio;
  if (!ChooseEncoders(command, &video, &audio, &result.error)) return result;
  const PicturePlan plan = PlanPicture(command, source, video);
  if (!plan.filters.ok) {
    result.error = plan.filters.error;
    return result;
  }
  std::vector<std::string>& argv = result.argv;
  Add(&argv, {"ffmpeg", "-hide_banner", "-nostdin", "-y"});
  // Seeking on the input is fast and, when converting, exact.
  AddIf(&argv, command.seek, "-ss");
  Add(&argv, {"-i", "file:" + inputPath});
  AddTrackMaps(command, source, &argv);
  AddIf(&argv, command.target, "-target");
  AddVideoOptions(command, source, hdr, video, plan, &argv);
  AddAudioOptions(command, video, audio, &argv);
  // ffmpeg's DTS encoder is marked experimental and needs this to run.
  std::string strict = command.strict;
  if (strict.empty() && audio.encoder == "dca" && !command.noAudio) strict = "experimental";
  AddIf(&argv, strict, "-strict");
  AddIf(&argv, command.length, "-t");
  // Subtitles and data tracks are not part of a conversion; a text subtitle
  // would otherwise stop a target that only takes picture subtitles.
  Add(&argv, {"-sn", "-dn"});
  if (IsMp4Family(LowerExtension(command.output))) AddWebReadyOptions(&argv, command.noVideo ? "" : video.encoder);
  argv.push_back("file:" + command.output);
  result.ok = true;
  return result;
}

}  // namespace mivora::trancor
