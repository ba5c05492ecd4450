#include "tools/trancor/HdrMetadata.h"

#include <charconv>
#include <cmath>

extern "C" {
#include <libavutil/mastering_display_metadata.h>
}

#include "pipeline/AvLibraries.h"

namespace mivora::trancor {
namespace {

// A file's metadata rides on its first frames; a source whose first
// packets give no frame is not searched further.
constexpr int kMaxPacketsForFirstFrame = 64;

void TakeMastering(const AVMasteringDisplayMetadata& m, HdrMetadata* out) {
  if (!m.has_primaries && !m.has_luminance) return;
  out->hasMastering = m.has_primaries && m.has_luminance;
  // FFmpeg orders the primaries red, green, blue.
  out->redX = av_q2d(m.display_primaries[0][0]);
  out->redY = av_q2d(m.display_primaries[0][1]);
  out->greenX = av_q2d(m.display_primaries[1][0]);
  out->greenY = av_q2d(m.display_primaries[1][1]);
  out->blueX = av_q2d(m.display_primaries[2][0]);
  out->blueY = av_q2d(m.display_primaries[2][1]);
  out->whiteX = av_q2d(m.white_point[0]);
  out->whiteY = av_q2d(m.white_point[1]);
  out->minLuminance = av_q2d(m.min_luminance);
  out->maxLuminance = av_q2d(m.max_luminance);
}

void TakeContentLight(const AVContentLightMetadata& light, HdrMetadata* out) {
  out->hasContentLight = light.MaxCLL > 0 || light.MaxFALL > 0;
  out->maxContentLight = light.MaxCLL;
  out->maxFrameAverageLight = light.MaxFALL;
}

void FromStream(const AvLibrary& av, const AVStream* stream, HdrMetadata* out) {
  size_t size = 0;
  const uint8_t* data = av.streamSideData(stream, AV_PKT_DATA_MASTERING_DISPLAY_METADATA, &size);
  if (data && size >= sizeof(AVMasteringDisplayMetadata))
    TakeMastering(*reinterpret_cast<const AVMasteringDisplayMetadata*>(data), out);
  data = av.streamSideData(stream, AV_PKT_DATA_CONTENT_LIGHT_LEVEL, &size);
  if (data && size >= sizeof(AVContentLightMetadata))
    TakeContentLight(*reinterpret_cast<const AVContentLightMetadata*>(data), out);
}

void FromFrame(const AvLibrary& av, const AVFrame* frame, HdrMetadata* out) {
  if (const AVFrameSideData* sd = av.frameSideData(frame, AV_FRAME_DATA_MASTERING_DISPLAY_METADATA))
    TakeMastering(*reinterpret_cast<const AVMasteringDisplayMetadata*>(sd->data), out);
  if (const AVFrameSideData* sd = av.frameSideData(frame, AV_FRAME_DATA_CONTENT_LIGHT_LEVEL))
    TakeContentLight(*reinterpret_cast<const AVContentLightMetadata*>(sd->data), out);
}

// Decodes the stream's first frame (the metadata of HEVC and AV1 files is
// sent with the pictures, not in the container).
void FromFirstFrame(const AvLibrary& av, AVFormatContext* format, int index, HdrMetadata* out) {
  const AVCodecParameters* parameters = format->streams[index]->codecpar;
  const AVCodec* codec = av.findDecoder(parameters->codec_id);
  if (!codec) return;
  AVCodecContext* decoder = av.allocDecoder(codec);
  AVPacket* packet = av.allocPacket();
  AVFrame* frame = av.allocFrame();
  bool got = false;
  if (decoder && packet && frame && av.copyParameters(decoder, parameters) >= 0 &&
      av.openDecoder(decoder, codec, nullptr) >= 0) {
    for (int read = 0; !got && read < kMaxPacketsForFirstFrame && av.readFrame(format, packet) >= 0; ++read) {
      if (packet->stream_index == index && av.sendPacket(decoder, packet) >= 0)
        got = av.receiveFrame(decoder, frame) >= 0;
      av.unrefPacket(packet);
    }
    if (!got && av.sendPacket(decoder, nullptr) >= 0) got = av.receiveFrame(decoder, frame) >= 0;
    if (got) FromFrame(av, frame, out);
  }
  av.freeFrame(&frame);
  av.freePacket(&packet);
  av.freeDecoder(&decoder);
}

// A number as text in the C locale, with at most `decimals` places.
std::string Number(double value, int decimals) {
  char text[64];
  auto result = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, decimals);
  std::string number(text, result.ptr);
  if (number.find('.') != std::string::npos) {
    while (number.back() == '0') number.pop_back();
    if (number.back() == '.') number.pop_back();
  }
  return number;
}

std::string Units(double value, double perUnit) { return std::to_string(std::llround(value * perUnit)); }

}  // namespace

HdrMetadata HdrMetadataOf(AVFormatContext* format, int videoStream) {
  HdrMetadata metadata;
  const AvLibrary& av = AvLibraries();
  if (!av.loaded || videoStream < 0 || static_cast<unsigned>(videoStream) >= format->nb_streams) return metadata;
  FromStream(av, format->streams[videoStream], &metadata);
  if (!metadata.hasMastering && !metadata.hasContentLight) FromFirstFrame(av, format, videoStream, &metadata);
  return metadata;
}

std::string X265HdrParameters(const HdrMetadata& m) {
  std::string text;
  if (m.hasMastering) {
    // Chromaticities in steps of 0.00002, luminance in steps of 0.0001 cd/m².
    auto xy = [](double x, double y) { return "(" + Units(x, 50000) + "," + Units(y, 50000) + ")"; };
    text = "master-display=G" + xy(m.greenX, m.greenY) + "B" + xy(m.blueX, m.blueY) + "R" + xy(m.redX, m.redY) +
           "WP" + xy(m.whiteX, m.whiteY) + "L(" + Units(m.maxLuminance, 10000) + "," +
           Units(m.minLuminance, 10000) + ")";
  }
  if (m.hasContentLight) {
    text += (text.empty() ? "" : ":") + std::string("max-cll=") + std::to_string(m.maxContentLight) + "," +
            std::to_string(m.maxFrameAverageLight);
  }
  return text;
}

std::string SvtAv1HdrParameters(const HdrMetadata& m) {
  std::string text;
  if (m.hasMastering) {
    auto xy = [](double x, double y) { return "(" + Number(x, 5) + "," + Number(y, 5) + ")"; };
    text = "mastering-display=G" + xy(m.greenX, m.greenY) + "B" + xy(m.blueX, m.blueY) + "R" +
           xy(m.redX, m.redY) + "WP" + xy(m.whiteX, m.whiteY) + "L(" + Number(m.maxLuminance, 4) + "," +
           Number(m.minLuminance, 4) + ")";
  }
  if (m.hasContentLight) {
    text += (text.empty() ? "" : ":") + std::string("content-light=") + std::to_string(m.maxContentLight) +
            "," + std::to_string(m.maxFrameAverageLight);
  }
  return text;
}

}  // namespace mivora::trancor
