#pragma once
// Sound through SDL2: decoded audio frames are resampled to interleaved
// 16-bit stereo at the device's rate and queued. Where no sound device can be
// opened (none present, SDL_AUDIODRIVER=dummy or a broken driver) the player
// plays silently: Open gives null and the frames are dropped.

#include <cstdint>
#include <memory>

struct AVCodecContext;
struct AVFrame;
struct SwrContext;

namespace mivora::playrun {

class AudioOutput {
 public:
  static std::unique_ptr<AudioOutput> Open(const AVCodecContext* codec);
  ~AudioOutput();
  AudioOutput(const AudioOutput&) = delete;
  AudioOutput& operator=(const AudioOutput&) = delete;

  void Queue(const AVFrame* frame);
  void SetPaused(bool paused);
  // Drops what is queued (after a seek).
  void Clear();
  // Milliseconds of sound still queued.
  int64_t QueuedMs() const;

 private:
  AudioOutput() = default;
  uint32_t device_ = 0;
  int rate_ = 0;
  SwrContext* resampler_ = nullptr;
  uint8_t* buffer_ = nullptr;
  int bufferSamples_ = 0;
};

}  // namespace mivora::playrun
