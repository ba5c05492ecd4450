#include "tools/playrun/MediaDecoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/avutil.h>
#include <libavutil/display.h>
}

#include <algorithm>
#include <cmath>
#include <thread>

#include "pipeline/SafeOpen.h"
#include "pipeline/TrackChoice.h"

namespace mivora::playrun {
namespace {

std::string ErrorText(int code) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {};
  av_strerror(code, text, sizeof text);
  return text;
}

AVCodecContext* OpenDecoder(AVFormatContext* format, int stream, int threads) {
  const AVCodecParameters* parameters = format->streams[stream]->codecpar;
  const AVCodec* codec = avcodec_find_decoder(parameters->codec_id);
  if (codec == nullptr) return nullptr;
  AVCodecContext* context = avcodec_alloc_context3(codec);
  if (context == nullptr) return nullptr;
  context->thread_count = threads;
  context->pkt_timebase = format->streams[stream]->time_base;
  if (avcodec_parameters_to_context(context, parameters) < 0 ||
      avcodec_open2(context, codec, nullptr) < 0) {
    avcodec_free_context(&context);
    return nullptr;
  }
  return context;
}

// What a stream's display matrix asks for; nothing without one.
DisplayTurn StreamTurn(const AVStream* stream) {
  size_t size = 0;
  const uint8_t* matrix = av_stream_get_side_data(stream, AV_PKT_DATA_DISPLAYMATRIX, &size);
  if (matrix == nullptr || size < 9 * sizeof(int32_t)) return {};
  return TurnOfMatrix(reinterpret_cast<const int32_t*>(matrix));
}

}  // namespace

std::unique_ptr<MediaDecoder> MediaDecoder::Open(const std::string& path, bool wantAudio,
                                                 std::string* error) {
  std::unique_ptr<MediaDecoder> decoder(new MediaDecoder);
  // Opened as the probe opens it: a pipe, or a playlist naming one, would
  // block the player for ever; "file:" so that no name is taken for another
  // protocol.
  decoder->format_ = avformat_alloc_context();
  if (decoder->format_ == nullptr || !UseSafeOpen(decoder->format_)) {
    *error = "cannot open " + path + ": the media libraries could not be set up";
    return nullptr;
  }
  int rc = avformat_open_input(&decoder->format_, ("file:" + path).c_str(), nullptr, nullptr);
  if (rc < 0) {
    *error = "cannot open " + path + ": " + ErrorText(rc);
    return nullptr;
  }
  rc = avformat_find_stream_info(decoder->format_, nullptr);
  if (rc < 0) {
    *error = "cannot read the streams of " + path + ": " + ErrorText(rc);
    return nullptr;
  }
  AVFormatContext* format = decoder->format_;
  // Decoding keeps to the cores there are; frame threads add latency, so a
  // few at most.
  const int threads = static_cast<int>(std::clamp(std::thread::hardware_concurrency(), 1u, 4u));
  // The tracks the conversion uses; a cover picture is not played as video.
  const TrackChoice tracks = ChooseTracks(TracksOf(*format));
  int video = tracks.video.stream;
  if (video >= 0 && !(format->streams[video]->disposition & AV_DISPOSITION_ATTACHED_PIC)) {
    decoder->video_ = OpenDecoder(format, video, threads);
    if (decoder->video_) {
      decoder->videoStream_ = video;
      decoder->turn_ = StreamTurn(format->streams[video]);
      AVRational aspect = av_guess_sample_aspect_ratio(format, format->streams[video], nullptr);
      if (aspect.num > 0 && aspect.den > 0) {
        // A quarter turn exchanges the sides, and so the aspect's terms.
        decoder->sampleAspectNum_ = decoder->turn_.exchangesSides ? aspect.den : aspect.num;
        decoder->sampleAspectDen_ = decoder->turn_.exchangesSides ? aspect.num : aspect.den;
      }
    }
  }
  int audio = wantAudio ? tracks.audio.stream : -1;
  if (audio >= 0) {
    decoder->audio_ = OpenDecoder(format, audio, 1);
    if (decoder->audio_) decoder->audioStream_ = audio;
  }
  if (!decoder->video_ && !decoder->audio_) {
    *error = path + " holds no stream that can be decoded";
    return nullptr;
  }
  for (unsigned i = 0; i < format->nb_streams; ++i)
    if (static_cast<int>(i) != decoder->videoStream_ && static_cast<int>(i) != decoder->audioStream_)
      format->streams[i]->discard = AVDISCARD_ALL;
  decoder->startUs_ = format->start_time != AV_NOPTS_VALUE ? format->start_time : 0;
  decoder->durationMs_ = format->duration != AV_NOPTS_VALUE ? format->duration / 1000 : 0;
  if (decoder->video_) {
    AVRational rate = av_guess_frame_rate(format, format->streams[video], nullptr);
    if (rate.num > 0 && rate.den > 0)
      decoder->frameIntervalMs_ = std::max<int64_t>(1, av_rescale(1000, rate.den, rate.num));
  }
  decoder->packet_ = av_packet_alloc();
  if (decoder->packet_ == nullptr) {
    *error = "out of memory";
    return nullptr;
  }
  return decoder;
}

MediaDecoder::~MediaDecoder() {
  av_packet_free(&packet_);
  avcodec_free_context(&video_);
  avcodec_free_context(&audio_);
  avformat_close_input(&format_);
}

int MediaDecoder::VideoWidth() const { return video_ ? video_->width : 0; }
int MediaDecoder::VideoHeight() const { return video_ ? video_->height : 0; }

bool MediaDecoder::Receive(AVCodecContext* codec, AVFrame* frame) {
  return codec != nullptr && avcodec_receive_frame(codec, frame) == 0;
}

MediaDecoder::Got MediaDecoder::Next(AVFrame* frame) {
  while (true) {
    if (Receive(video_, frame)) return Got::kVideo;
    if (Receive(audio_, frame)) return Got::kAudio;
    if (endOfInput_) return Got::kEnd;
    int rc = av_read_frame(format_, packet_);
    if (rc < 0) {
      // End of the file (or an unreadable rest): drain both decoders.
      endOfInput_ = true;
      if (video_) avcodec_send_packet(video_, nullptr);
      if (audio_) avcodec_send_packet(audio_, nullptr);
      continue;
    }
    AVCodecContext* codec = packet_->stream_index == videoStream_   ? video_
                            : packet_->stream_index == audioStream_ ? audio_
                                                                    : nullptr;
    // A packet the decoder refuses (broken data) is passed over.
    if (codec != nullptr) avcodec_send_packet(codec, packet_);
    av_packet_unref(packet_);
  }
}

int64_t MediaDecoder::PositionMs(const AVFrame* frame, Got kind) const {
  int stream = kind == Got::kVideo ? videoStream_ : audioStream_;
  if (stream < 0 || frame->best_effort_timestamp == AV_NOPTS_VALUE) return -1;
  int64_t us = av_rescale_q(frame->best_effort_timestamp, format_->streams[stream]->time_base,
                            AVRational{1, 1000000});
  return (us - startUs_) / 1000;
}

bool MediaDecoder::Seek(int64_t targetMs) {
  int64_t target = startUs_ + std::max<int64_t>(0, targetMs) * 1000;
  int rc = avformat_seek_file(format_, -1, INT64_MIN, target, target, 0);
  if (rc < 0) rc = av_seek_frame(format_, -1, target, AVSEEK_FLAG_BACKWARD);
  if (video_) avcodec_flush_buffers(video_);
  if (audio_) avcodec_flush_buffers(audio_);
  endOfInput_ = false;
  return rc >= 0;
}

}  // namespace mivora::playrun
