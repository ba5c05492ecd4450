#include "profiles/EngineArguments.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "common/SystemQueries.h"
#include "pattern/Pattern.h"
#include "profiles/Profile.h"

namespace mivora {
namespace {

struct CodecRow {
  std::string_view display;
  std::string_view engine;
};
constexpr CodecRow kCodecTable[] = {
    {"MPEG2", "mpeg2video"},     {"VC1", "msvideo1"},
    {"XviD", "libxvid"},         {"MPEG4", "mpeg4"},
    {"MPEG1", "mpeg1video"},     {"WMV8", "wmv2"},
    {"WMV7", "wmv1"},            {"H263", "h263p"},
    {"H263P", "h263p"},          {"H261", "h261"},
    {"MSMPEG4V3", "msmpeg4"},    {"MSMPEG4V2", "msmpeg4v2"},
    {"MSMPEG4V1", "msmpeg4v1"},  {"MJPEG", "mjpeg"},
    {"FLV", "flv"},              {"RV10", "rv10"},
    {"RV20", "rv20"},            {"DV VIDEO", "dvvideo"},
    {"THEORA", "libtheora"},     {"GSM", "libgsm"},
    {"VORBIS", "vorbis"},        {"MP3", "libmp3lame"},
    {"MP2", "mp2"},              {"AC3", "ac3"},
    {"DTS", "dca -strict experimental"},
    {"AAC", "libfaac"},          {"AMR_NB", "libopencore_amrnb"},
    {"FLAC", "flac"},            {"ALAC", "alac"},
    {"WMA1", "wmav1"},           {"WMA2", "wmav2"},
    {"PCM_S16LE", "pcm_s16le"},  {"PCM_S16BE", "pcm_s16be"},
    {"AV1", "libsvtav1"},        {"VP9", "libvpx-vp9"},
    {"OPUS", "libopus"},
    // The HDR forms: 10 bits per sample, which keeps a PQ or HLG source's
    // range (see common/HdrOutput.h).
    {"H.265 10-bit", "libx265 -pix_fmt yuv420p10le"},
    {"AV1 10-bit", "libsvtav1 -pix_fmt yuv420p10le"},
};

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
           return lower(x) == lower(y);
         });
}

std::string Piece(const char* format, std::string_view value) {
  std::string text(format);
  text.replace(text.find("%s"), 2, value);
  return text;
}

// ---- Where the real options are -------------------------------------------

// Which bytes of an argument text are option text. Double-quoted filter
// segments, their quotes and a drawtext watermark text are not. A watermark
// text runs from "drawtext=text='" at the start of a segment to the next
// "':fontfile='" (it may contain quotes of either kind); an unterminated
// segment or watermark text protects the rest of the text.
struct TextMap {
  std::vector<bool> option;
  struct Segment {
    size_t open, close;  // positions of the two quotes
  };
  std::vector<Segment> segments;
};

TextMap MapText(std::string_view text) {
  constexpr std::string_view kDrawtext = "drawtext=text='";
  constexpr std::string_view kTextEnd = "':fontfile='";
  TextMap map;
  map.option.assign(text.size(), false);
  size_t i = 0;
  while (i < text.size()) {
    if (text[i] != '"') {
      map.option[i] = true;
      ++i;
      continue;
    }
    size_t open = i;
    size_t from = open + 1;
    if (text.substr(from).starts_with(kDrawtext)) {
      size_t end = text.find(kTextEnd, from + kDrawtext.size());
      if (end == std::string_view::npos) return map;
      from = end + kTextEnd.size();
    }
    size_t close = text.find('"', from);
    if (close == std::string_view::npos) return map;
    map.segments.push_back({open, close});
    i = close + 1;
  }
  return map;
}

bool IsOptionSpan(const TextMap& map, size_t start, size_t length) {
  for (size_t i = start; i < start + length; ++i)
    if (!map.option[i]) return false;
  return true;
}

// First place at or after `from` where `needle` stands as option text at the
// start of a word.
size_t FindOption(std::string_view text, const TextMap& map, std::string_view needle,
                  size_t from = 0) {
  for (size_t at = text.find(needle, from); at != std::string_view::npos;
       at = text.find(needle, at + 1)) {
    if ((at == 0 || text[at - 1] == ' ') && IsOptionSpan(map, at, needle.size())) return at;
  }
  return std::string_view::npos;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// ---- The four steps ----------------------------------------------------------

void FixMpeg2FrameRate(std::string& text) {
  TextMap map = MapText(text);
  if (FindOption(text, map, "-vcodec mpeg2video") == std::string::npos) return;
  size_t option = FindOption(text, map, "-r ");
  if (option == std::string::npos) {
    text += " -r 29.97 ";
    return;
  }
  size_t start = option + 3;
  size_t end = std::min(text.find(' ', start), text.size());
  std::string_view rate = std::string_view(text).substr(start, end - start);
  if (rate == "23.976" || rate == "25" || rate == "29.97") return;
  text.replace(start, end - start, "29.97");
}

void ScaleAfterCrop(std::string& text) {
  static const Pattern kCrop("\"crop=\\d+:\\d+:\\d+:\\d+\"");
  static const Pattern kSize("-s \\d+x\\d+");
  TextMap map = MapText(text);
  const TextMap::Segment* crop = nullptr;
  for (const auto& segment : map.segments) {
    std::string_view whole = std::string_view(text).substr(segment.open, segment.close - segment.open + 1);
    auto match = kCrop.Find(whole);
    if (match && match->start == 0 && match->length == whole.size()) {
      crop = &segment;
      break;
    }
  }
  if (crop == nullptr) return;
  std::string size;
  for (size_t at = FindOption(text, map, "-s "); at != std::string::npos;
       at = FindOption(text, map, "-s ", at + 1)) {
    auto match = kSize.Find(std::string_view(text).substr(at));
    if (match && match->start == 0 && IsOptionSpan(map, at, match->length)) {
      size = text.substr(at, match->length);
      break;
    }
  }
  if (size.empty()) return;
  size_t cross = size.find('x');
  std::string width = size.substr(3, cross - 3), height = size.substr(cross + 1);
  text.insert(crop->close + 1, ",\"scale=" + width + ":" + height + "\"");
  // Remove every occurrence of the size option (blanks around it stay).
  for (size_t at = 0;;) {
    map = MapText(text);
    at = FindOption(text, map, size, at);
    if (at == std::string::npos) break;
    size_t after = at + size.size();
    if (after < text.size() && IsDigit(text[after])) {
      ++at;
      continue;
    }
    text.erase(at, size.size());
  }
}

void DropCopyVideo(std::string& text) {
  constexpr std::string_view kCopy = "-vcodec copy";
  for (size_t at = 0;;) {
    TextMap map = MapText(text);
    at = FindOption(text, map, kCopy, at);
    if (at == std::string::npos) return;
    text.erase(at, kCopy.size());
  }
}

void AddTargetAspect(std::string& text, std::string_view aspectRatio) {
  // "auto" in any case means "keep the source's"; the engine knows no such value.
  if (aspectRatio.empty() || EqualsIgnoringCase(aspectRatio, "auto")) return;
  if (FindOption(text, MapText(text), "-aspect") != std::string::npos) return;
  text += " -aspect ";
  text += aspectRatio;
}

}  // namespace

std::string MapCodecName(std::string_view displayName) {
  if (displayName == "H.264") return GpuEncoderSupported() ? "cudax264" : "libx264";
  if (displayName == "H.265") return GpuHevcEncoderSupported() ? "cudax265" : "libx265";
  for (const auto& row : kCodecTable)
    if (row.display == displayName) return std::string(row.engine);
  return "copy";
}

std::string FinishEngineArguments(std::string_view arguments, std::string_view aspectRatio) {
  std::string text(arguments);
  FixMpeg2FrameRate(text);
  ScaleAfterCrop(text);
  DropCopyVideo(text);
  AddTargetAspect(text, aspectRatio);
  return text;
}

std::string_view DiscTargetOf(std::string_view profileComment) {
  if (profileComment.starts_with("DVD Video format")) return "ntsc-dvd";
  if (profileComment.starts_with("Super Video CD format")) return "ntsc-svcd";
  if (profileComment.starts_with("Video CD format")) return "ntsc-vcd";
  return {};
}

FrameFormat FrameFormatOf(const Profile& profile) {
  const std::string_view target = DiscTargetOf(profile.profileComment);
  // H.264 is no standard's fixed frame, and its mapping would ask the GPU probe.
  const std::string encoder = profile.videoCodec == "H.264" ? "libx264" : MapCodecName(profile.videoCodec);
  return MakeFrameFormat(profile.videoSize, profile.videoAspectRatio, target, encoder,
                         profile.groupName == kDiscGroupName);
}

std::string Profile::BuildEngineArguments() const {
  if (std::string_view target = DiscTargetOf(profileComment); !target.empty())
    return "-target " + std::string(target) + " ";
  if (videoCodec.empty() || audioCodec.empty()) return {};

  std::string text;
  if (!videoBitrate.empty()) text += Piece("-b %sk ", videoBitrate);
  if (!videoFrameRate.empty() && !EqualsIgnoringCase(videoFrameRate, "Keep Original") &&
      !EqualsIgnoringCase(videoFrameRate, "auto"))
    text += Piece("-r %s ", videoFrameRate);
  if (!videoAspectRatio.empty() && !EqualsIgnoringCase(videoAspectRatio, "auto"))
    text += Piece("-aspect %s ", videoAspectRatio);
  if (!audioBitrate.empty()) text += Piece(" -ab %sk ", audioBitrate);
  if (!audioSampleRate.empty()) text += Piece(" -ar %s ", audioSampleRate);
  if (!audioChannels.empty() && !EqualsIgnoringCase(audioChannels, "original")) {
    int channels = audioChannels.find("Mono") != std::string::npos     ? 1
                   : audioChannels.find("Stereo") != std::string::npos ? 2
                                                                       : 6;
    text += " -ac " + std::to_string(channels) + " ";
  }
  if (!audioVolume.empty()) {
    std::string_view volume = audioVolume;
    while (!volume.empty() && volume.back() == '%') volume.remove_suffix(1);
    int32_t percent = std::clamp(LeadingInteger(volume), -kMaxVolumePercent, kMaxVolumePercent);
    text += " -vol " + std::to_string(percent * 256 / 100) + " ";
  }
  if (audioDisable == "Yes") text += " -an ";
  if (videoDisable == "Yes") text += " -vn ";

  text += "-vcodec " + MapCodecName(videoCodec) + " ";
  text += "-acodec " + MapCodecName(audioCodec) + " ";
  if (!videoSize.empty()) {
    std::string size = videoSize;
    std::replace(size.begin(), size.end(), '*', 'x');
    text += "-s " + size + " ";
  }
  return text;
}

}  // namespace mivora
