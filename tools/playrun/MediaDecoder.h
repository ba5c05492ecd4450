#pragma once
// Demuxing and decoding one media file with FFmpeg's libraries: the video
// and audio tracks the conversion uses (pipeline/TrackChoice.h), frames
// handed out in the order the decoders give them, times in milliseconds from
// the file's start.

#include <cstdint>
#include <memory>
#include <string>

#include "tools/playrun/DisplayFilter.h"

struct AVFormatContext;
struct AVCodecContext;
struct AVFrame;
struct AVPacket;

namespace mivora::playrun {

class MediaDecoder {
 public:
  enum class Got { kVideo, kAudio, kEnd };

  // Null, with `error` filled, when the file cannot be opened or holds
  // neither a decodable video nor audio stream.
  static std::unique_ptr<MediaDecoder> Open(const std::string& path, bool wantAudio,
                                            std::string* error);
  ~MediaDecoder();
  MediaDecoder(const MediaDecoder&) = delete;
  MediaDecoder& operator=(const MediaDecoder&) = delete;

  bool HasVideo() const { return video_ != nullptr; }
  bool HasAudio() const { return audio_ != nullptr; }
  int VideoWidth() const;
  int VideoHeight() const;
  // How the track's display matrix asks for the picture to be turned and
  // mirrored for display, as the engine reads it.
  const DisplayTurn& Turn() const { return turn_; }
  // The size as shown: the sides exchanged for a quarter turn.
  int DisplayWidth() const { return turn_.exchangesSides ? VideoHeight() : VideoWidth(); }
  int DisplayHeight() const { return turn_.exchangesSides ? VideoWidth() : VideoHeight(); }
  // The video's sample aspect ratio as shown (1:1 when the file gives none).
  int SampleAspectNum() const { return sampleAspectNum_; }
  int SampleAspectDen() const { return sampleAspectDen_; }
  int64_t DurationMs() const { return durationMs_; }
  // The nominal time between two video frames (40 ms when unknown).
  int64_t FrameIntervalMs() const { return frameIntervalMs_; }
  const AVCodecContext* AudioCodec() const { return audio_; }

  // The next decoded frame into `frame` (video or audio). Broken packets are
  // passed over; kEnd once both decoders are drained.
  Got Next(AVFrame* frame);
  // Position of a frame handed out by Next (milliseconds from the start).
  int64_t PositionMs(const AVFrame* frame, Got kind) const;
  // Moves to the key frame at or before `targetMs`; decoders start afresh.
  bool Seek(int64_t targetMs);

 private:
  MediaDecoder() = default;
  bool Receive(AVCodecContext* codec, AVFrame* frame);

  AVFormatContext* format_ = nullptr;
  AVCodecContext* video_ = nullptr;
  AVCodecContext* audio_ = nullptr;
  int videoStream_ = -1;
  int audioStream_ = -1;
  AVPacket* packet_ = nullptr;
  bool endOfInput_ = false;
  int64_t startUs_ = 0;
  int64_t durationMs_ = 0;
  int64_t frameIntervalMs_ = 40;
  DisplayTurn turn_;
  int sampleAspectNum_ = 1, sampleAspectDen_ = 1;
};

}  // namespace mivora::playrun
