#include "tools/playrun/AudioOutput.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/channel_layout.h>
#include <libavutil/mem.h>
#include <libswresample/swresample.h>
}

#include <SDL2/SDL.h>

namespace mivora::playrun {
namespace {

constexpr int kChannels = 2;
constexpr int kBytesPerSample = 2 * kChannels;

}  // namespace

std::unique_ptr<AudioOutput> AudioOutput::Open(const AVCodecContext* codec) {
  if (codec == nullptr || codec->sample_rate <= 0) return nullptr;
  if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return nullptr;
  std::unique_ptr<AudioOutput> output(new AudioOutput);
  SDL_AudioSpec wanted{}, got{};
  wanted.freq = codec->sample_rate;
  wanted.format = AUDIO_S16SYS;
  wanted.channels = kChannels;
  wanted.samples = 1024;
  output->device_ = SDL_OpenAudioDevice(nullptr, 0, &wanted, &got, SDL_AUDIO_ALLOW_FREQUENCY_CHANGE);
  if (output->device_ == 0) return nullptr;
  output->rate_ = got.freq;
  AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
  AVChannelLayout input;
  if (codec->ch_layout.nb_channels > 0)
    av_channel_layout_copy(&input, &codec->ch_layout);
  else
    av_channel_layout_default(&input, 2);
  int rc = swr_alloc_set_opts2(&output->resampler_, &stereo, AV_SAMPLE_FMT_S16, got.freq, &input,
                               codec->sample_fmt, codec->sample_rate, 0, nullptr);
  av_channel_layout_uninit(&input);
  if (rc < 0 || swr_init(output->resampler_) < 0) return nullptr;
  return output;
}

AudioOutput::~AudioOutput() {
  if (device_ != 0) SDL_CloseAudioDevice(device_);
  swr_free(&resampler_);
  av_freep(&buffer_);
  SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

void AudioOutput::Queue(const AVFrame* frame) {
  int outSamples = swr_get_out_samples(resampler_, frame->nb_samples);
  if (outSamples <= 0) return;
  if (outSamples > bufferSamples_) {
    av_freep(&buffer_);
    buffer_ = static_cast<uint8_t*>(av_malloc(static_cast<size_t>(outSamples) * kBytesPerSample));
    bufferSamples_ = buffer_ ? outSamples : 0;
    if (!buffer_) return;
  }
  int converted = swr_convert(resampler_, &buffer_, outSamples,
                              const_cast<const uint8_t**>(frame->extended_data), frame->nb_samples);
  if (converted > 0) SDL_QueueAudio(device_, buffer_, static_cast<uint32_t>(converted) * kBytesPerSample);
}

void AudioOutput::SetPaused(bool paused) { SDL_PauseAudioDevice(device_, paused ? 1 : 0); }

void AudioOutput::Clear() { SDL_ClearQueuedAudio(device_); }

int64_t AudioOutput::QueuedMs() const {
  if (rate_ <= 0) return 0;
  return static_cast<int64_t>(SDL_GetQueuedAudioSize(device_)) / kBytesPerSample * 1000 / rate_;
}

}  // namespace mivora::playrun
