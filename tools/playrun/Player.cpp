#include "tools/playrun/Player.h"

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/mathematics.h>
}

#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>

#include "platform/CopyDataEndpoint.h"
#include "platform/PlayerSharedBlock.h"
#include "tools/colour/ColourRule.h"
#include "tools/playrun/AudioOutput.h"
#include "tools/playrun/DisplayFilter.h"
#include "tools/playrun/FrameHandover.h"
#include "tools/playrun/MediaDecoder.h"
#include "tools/playrun/PlayrunExitCodes.h"
#include "tools/playrun/StatusText.h"

namespace mivora::playrun {

static_assert(static_cast<int>(colour::ScreenColour::kFullRange) == playerblock::kFullRange &&
              static_cast<int>(colour::ScreenColour::kTvBt601) == playerblock::kTvBt601 &&
              static_cast<int>(colour::ScreenColour::kTvBt709) == playerblock::kTvBt709 &&
              static_cast<int>(colour::ScreenColour::kTvBt2020) == playerblock::kTvBt2020);

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// How often requests are looked at while waiting.
constexpr milliseconds kPollPeriod{5};
// Sound is queued this far ahead of its time.
constexpr int64_t kAudioLeadMs = 300;
// At the end, queued sound is waited for this long at most.
constexpr milliseconds kDrainLimit{3000};

int64_t MonotonicNs() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return int64_t(now.tv_sec) * 1000000000 + now.tv_nsec;
}

}  // namespace

// One playback's state; lives for Run's duration.
class Player::Impl {
 public:
  explicit Impl(Player& player)
      : p_(player), display_(player.decoder_.Turn()), handover_(player.block_ + playerblock::kFrameOffset) {}

  int Run() {
    AVFrame* frame = av_frame_alloc();
    if (frame == nullptr) return kExitCannotPlay;
    // Requests left in the block from before this player started mean nothing.
    playerblock::StoreField(Field(playerblock::kSeekOffset), playerblock::kNoSeekRequest);
    playerblock::TakeField(Field(playerblock::kPauseOffset), 0);
    playerblock::TakeField(Field(playerblock::kFullScreenOffset), 0);
    WriteStatus(0);
    if (p_.audio_) p_.audio_->SetPaused(false);
    while (true) {
      TakeRequests();
      if (seekPercent_ >= 0) DoSeek();
      if (paused_ && !stepWhilePaused_) {
        std::this_thread::sleep_for(kPollPeriod);
        continue;
      }
      MediaDecoder::Got got = p_.decoder_.Next(frame);
      if (got == MediaDecoder::Got::kEnd) {
        if (FinishOrRestart()) break;
        continue;
      }
      const int64_t position = p_.decoder_.PositionMs(frame, got);
      if (position >= 0 && position < skipUntilMs_) continue;
      skipUntilMs_ = -1;
      if (got == MediaDecoder::Got::kAudio)
        HandleAudio(frame, position);
      else
        HandleVideo(frame, position);
      const int limit = p_.command_.frameLimit;
      if (limit > 0 && p_.counts_.announced >= limit) break;
    }
    AwaitAnswer();
    av_frame_free(&frame);
    if (p_.trace_)
      std::fprintf(p_.trace_, "decoded %lld announced %lld answered %lld dropped %lld\n",
                   static_cast<long long>(p_.counts_.decoded),
                   static_cast<long long>(p_.counts_.announced),
                   static_cast<long long>(p_.counts_.answered),
                   static_cast<long long>(p_.counts_.dropped));
    return kExitPlayedToEnd;
  }

 private:
  int32_t* Field(size_t offset) { return playerblock::Field(p_.block_, offset); }

  void TakeRequests() {
    int32_t seek = playerblock::TakeField(Field(playerblock::kSeekOffset), playerblock::kNoSeekRequest);
    if (seek != playerblock::kNoSeekRequest) seekPercent_ = std::clamp(seek, 0, 100);
    if (playerblock::TakeField(Field(playerblock::kPauseOffset), 0) == 1) TogglePause();
    // Full screen is the window's business: it paints every frame itself.
    playerblock::TakeField(Field(playerblock::kFullScreenOffset), 0);
  }

  void TogglePause() {
    paused_ = !paused_;
    if (p_.audio_) p_.audio_->SetPaused(paused_);
    if (paused_) {
      pausedAt_ = Clock::now();
      return;
    }
    // Resumed: the clock skips the paused time; after a seek while paused it
    // starts afresh at the next frame.
    if (seekedWhilePaused_)
      clockSet_ = false;
    else
      clockOrigin_ += Clock::now() - pausedAt_;
    seekedWhilePaused_ = false;
  }

  void DoSeek() {
    const int64_t target = p_.decoder_.DurationMs() * seekPercent_ / 100;
    seekPercent_ = -1;
    p_.decoder_.Seek(target);
    if (p_.audio_) p_.audio_->Clear();
    skipUntilMs_ = target;
    clockSet_ = false;
    if (paused_) {
      seekedWhilePaused_ = true;
      stepWhilePaused_ = p_.decoder_.HasVideo();
    }
  }

  // Waits until the time of `position` less `leadMs`, taking requests
  // meanwhile (a pause holds the wait, and the clock moves on resume). False
  // when a seek came: the frame in hand is then stale.
  bool WaitUntil(int64_t position, int64_t leadMs = 0) {
    while (true) {
      TakeRequests();
      if (seekPercent_ >= 0) return false;
      if (paused_ && !stepWhilePaused_) {
        std::this_thread::sleep_for(kPollPeriod);
        continue;
      }
      Clock::time_point due = DueTime(position) - milliseconds(leadMs);
      Clock::time_point now = Clock::now();
      if (now >= due) return true;
      std::this_thread::sleep_for(std::min<Clock::duration>(due - now, kPollPeriod));
    }
  }

  Clock::time_point DueTime(int64_t position) {
    if (!clockSet_) {
      clockOrigin_ = Clock::now();
      originMs_ = position;
      clockSet_ = true;
    }
    return clockOrigin_ + milliseconds(position - originMs_);
  }

  void HandleAudio(const AVFrame* frame, int64_t position) {
    if (position < 0) position = lastPositionMs_;
    if (!p_.decoder_.HasVideo()) {
      if (!WaitUntil(position, kAudioLeadMs)) return;
      WriteStatus(position);
    } else if (!clockSet_) {
      DueTime(position);
    }
    if (p_.audio_ && !paused_) p_.audio_->Queue(frame);
  }

  void HandleVideo(const AVFrame* frame, int64_t position) {
    ++p_.counts_.decoded;
    if (position < 0) position = lastPositionMs_ + p_.decoder_.FrameIntervalMs();
    Clock::time_point due = DueTime(position);
    if (p_.command_.frameDrop && !stepWhilePaused_ &&
        Clock::now() > due + 2 * milliseconds(p_.decoder_.FrameIntervalMs())) {
      ++p_.counts_.dropped;
      return;
    }
    // The frame as the output will show it: turned, tone-mapped.
    const AVFrame* shown = p_.command_.captureYuv ? display_.Apply(frame) : nullptr;
    FrameSize size = shown ? handover_.Prepare(shown) : FrameSize{};
    if (!WaitUntil(position)) return;
    AwaitAnswer();
    if (size.width > 0) {
      handover_.Write();
      WriteFrameFacts(*frame, *shown);
      WriteStatus(position);
      if (p_.trace_)
        std::fprintf(p_.trace_, "announce %lld %lld\n",
                     static_cast<long long>(p_.counts_.announced + 1),
                     static_cast<long long>(MonotonicNs()));
      uint32_t word = copydata::FrameWord(static_cast<uint32_t>(size.width),
                                          static_cast<uint32_t>(size.height));
      awaitingAnswer_ = p_.announcer_.Announce(p_.command_.windowEndpoint, word);
      announcedAt_ = Clock::now();
      ++p_.counts_.announced;
    } else {
      WriteStatus(position);
    }
    stepWhilePaused_ = false;
  }

  void AwaitAnswer() {
    if (!awaitingAnswer_) return;
    awaitingAnswer_ = false;
    auto left = std::chrono::duration_cast<milliseconds>(
        announcedAt_ + milliseconds(copydata::kFrameAnswerTimeoutMs) - Clock::now());
    if (left.count() > 0 && p_.announcer_.AwaitAnswer(static_cast<int>(left.count())))
      ++p_.counts_.answered;
  }

  // At the end of the file: lets the last frame and the queued sound play
  // out. True to end; false when a seek asks to go on.
  bool FinishOrRestart() {
    const Clock::time_point lastFrameEnd =
        clockSet_ ? DueTime(lastPositionMs_) + milliseconds(p_.decoder_.FrameIntervalMs())
                  : Clock::now();
    const Clock::time_point limit = Clock::now() + kDrainLimit;
    while (true) {
      TakeRequests();
      if (seekPercent_ >= 0) return false;
      Clock::time_point now = Clock::now();
      bool soundLeft = p_.audio_ && p_.audio_->QueuedMs() > 0 && now < limit;
      if (!paused_ && !soundLeft && now >= lastFrameEnd) return true;
      std::this_thread::sleep_for(kPollPeriod);
    }
  }

  // How the frame's codes become colours, and the picture's shape as shown.
  void WriteFrameFacts(const AVFrame& decoded, const AVFrame& shown) {
    const colour::ScreenColour screen = colour::ScreenColourOf(
        handover_.FullRange() ? AVCOL_RANGE_JPEG : AVCOL_RANGE_MPEG, shown.colorspace, decoded.height);
    playerblock::StoreField(Field(playerblock::kFrameColourOffset), static_cast<int32_t>(screen));
    const MediaDecoder& d = p_.decoder_;
    const int64_t width = av_rescale(d.DisplayWidth(), d.SampleAspectNum(), d.SampleAspectDen());
    playerblock::StoreField(Field(playerblock::kShapeWidthOffset),
                            static_cast<int32_t>(std::clamp<int64_t>(width, 0, 65535)));
    playerblock::StoreField(Field(playerblock::kShapeHeightOffset), d.DisplayHeight());
  }

  void WriteStatus(int64_t position) {
    lastPositionMs_ = std::max<int64_t>(0, position);
    std::string text = StatusText(lastPositionMs_, p_.decoder_.DurationMs(), p_.decoder_.DisplayWidth(),
                                  p_.decoder_.DisplayHeight());
    text.resize(std::min(text.size(), playerblock::kStatusBytes - 1));
    std::memcpy(p_.block_ + playerblock::kStatusOffset, text.c_str(), text.size() + 1);
  }

  Player& p_;
  DisplayFilter display_;
  FrameHandover handover_;
  bool paused_ = false;
  bool seekedWhilePaused_ = false;
  bool stepWhilePaused_ = false;  // show one frame at the new position while paused
  int seekPercent_ = -1;
  int64_t skipUntilMs_ = -1;
  bool clockSet_ = false;
  Clock::time_point clockOrigin_;
  int64_t originMs_ = 0;
  Clock::time_point pausedAt_;
  int64_t lastPositionMs_ = 0;
  bool awaitingAnswer_ = false;
  Clock::time_point announcedAt_;
};

Player::Player(const PlayerCommand& command, uint8_t* block, FrameAnnouncer& announcer,
               MediaDecoder& decoder, AudioOutput* audio, std::FILE* trace)
    : command_(command), block_(block), announcer_(announcer), decoder_(decoder), audio_(audio),
      trace_(trace) {}

int Player::Run() {
  Impl impl(*this);
  return impl.Run();
}

}  // namespace mivora::playrun
