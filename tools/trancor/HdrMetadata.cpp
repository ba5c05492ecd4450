#include "tools/trancor/HdrMetadata.h"

#include <sys/stat.h>

#include <charconv>
#include <cmath>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/log.h>
#include <libavutil/mastering_display_metadata.h>
}

namespace mivora::trancor {
namespace {

// A file's metadata rides on its first frames; a source whose first
// packets give no frame is not searched further.
constexpr int kMaxPacketsForFirstFrame = 64;

int AskStopped(void* opaque) {
  auto stopped = reinterpret_cast<bool (*)()>(opaque);
  return stopped && stopped() ? 1 : 0;
}

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

void FromStream(const AVStream* stream, HdrMetadata* out) {
  size_t size = 0;
  const uint8_t* data = av_stream_get_side_data(stream, AV_PKT_DATA_MASTERING_DISPLAY_METADATA, &size);
  if (data && size >= sizeof(AVMasteringDisplayMetadata))
    TakeMastering(*reinterpret_cast<const AVMasteringDisplayMetadata*>(data), out);
  data = av_stream_get_side_data(stream, AV_PKT_DATA_CONTENT_LIGHT_LEVEL, &size);
  if (data && size >= sizeof(AVContentLightMetadata))
    TakeContentLight(*reinterpret_cast<const AVContentLightMetadata*>(data), out);
}

void FromFrame(const AVFrame* frame, HdrMetadata* out) {
  if (const AVFrameSideData* sd = av_frame_get_side_data(frame, AV_FRAME_DATA_MASTERING_DISPLAY_METADATA))
    TakeMastering(*reinterpret_cast<const AVMasteringDisplayMetadata*>(sd->data), out);
  if (const AVFrameSideData* sd = av_frame_get_side_data(frame, AV_FRAME_DATA_CONTENT_LIGHT_LEVEL))
    TakeContentLight(*reinterpret_cast<const AVContentLightMetadata*>(sd->data), out);
}

// Decodes the stream's first frame (the metadata of HEVC and AV1 files is
// sent with the pictures, not in the container).
void FromFirstFrame(AVFormatContext* format, int index, HdrMetadata* out) {
  const AVCodecParameters* parameters = format->streams[index]->codecpar;
  const AVCodec* codec = avcodec_find_decoder(parameters->codec_id);
  if (!codec) return;
  AVCodecContext* decoder = avcodec_alloc_context3(codec);
  AVPacket* packet = av_packet_alloc();
  AVFrame* frame = av_frame_alloc();
  bool got = false;
  if (decoder && packet && frame && avcodec_parameters_to_context(decoder, parameters) >= 0 &&
      avcodec_open2(decoder, codec, nullptr) >= 0) {
    for (int read = 0; !got && read < kMaxPacketsForFirstFrame && av_read_frame(format, packet) >= 0; ++read) {
      if (packet->stream_index == index && avcodec_send_packet(decoder, packet) >= 0)
        got = avcodec_receive_frame(decoder, frame) >= 0;
      av_packet_unref(packet);
    }
    if (!got && avcodec_send_packet(decoder, nullptr) >= 0) got = avcodec_receive_frame(decoder, frame) >= 0;
    if (got) FromFrame(frame, out);
  }
  av_frame_free(&frame);
  av_packet_free(&packet);
  avcodec_free_context(&decoder);
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

HdrMetadata ReadHdrMetadata(const std::string& path, bool (*stopped)()) {
  HdrMetadata metadata;
  struct stat info;
  if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return metadata;
  av_log_set_level(AV_LOG_QUIET);
  AVFormatContext* format = avformat_alloc_context();
  if (!format) return metadata;
  format->interrupt_callback.callback = &AskStopped;
  format->interrupt_callback.opaque = reinterpret_cast<void*>(stopped);
  if (avformat_open_input(&format, ("file:" + path).c_str(), nullptr, nullptr) != 0) return metadata;
  if (avformat_find_stream_info(format, nullptr) >= 0) {
    int index = av_find_best_stream(format, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (index >= 0) {
      FromStream(format->streams[index], &metadata);
      if (!metadata.hasMastering && !metadata.hasContentLight) FromFirstFrame(format, index, &metadata);
    }
  }
  avformat_close_input(&format);
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
