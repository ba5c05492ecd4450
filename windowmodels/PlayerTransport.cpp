#include "windowmodels/PlayerTransport.h"

#include <cstdlib>
#include <string>

namespace mivora {
namespace {

// The decimal number right behind the first `open` and before the next
// `close`; 0 when the brackets are missing.
double NumberBetween(std::string_view text, char open, char close) {
  size_t start = text.find(open);
  if (start == std::string_view::npos) return 0;
  size_t end = text.find(close, start + 1);
  if (end == std::string_view::npos) return 0;
  std::string number(text.substr(start + 1, end - start - 1));
  return std::strtod(number.c_str(), nullptr);
}

}  // namespace

PlayerStatus ParsePlayerStatus(std::string_view text) {
  PlayerStatus status;
  size_t slash = text.find('/');
  if (slash != std::string_view::npos) status.clockText = std::string(text.substr(0, slash));
  status.position = NumberBetween(text, '(', ')');
  status.duration = NumberBetween(text, '[', ']');
  return status;
}

int SliderPercent(const PlayerStatus& status) {
  if (status.duration == 0) return -1;
  double percent = status.position / status.duration * 100;
  if (!(percent >= 0)) return 0;
  return percent > 100 ? 100 : static_cast<int>(percent);
}

PlayerTransport::PlayerTransport(TransportPlayer& player, std::string path, bool resetSliderOnStop)
    : player_(player), path_(std::move(path)), resetSliderOnStop_(resetSliderOnStop) {}

void PlayerTransport::OnPlayPause() {
  if (!player_.IsPlaying()) {
    if (!path_.empty()) player_.Play(path_);
    view_.sliderEnabled = true;
    view_.buttonShowsPause = true;
    view_.timerRunning = true;
    paused_ = false;
    return;
  }
  player_.Pause();
  view_.buttonShowsPause = paused_;  // resuming shows "Pause"
  view_.timerRunning = paused_;
  paused_ = !paused_;
}

void PlayerTransport::OnStop() {
  player_.Stop();
  view_.timerRunning = false;
  paused_ = true;
  view_.buttonShowsPause = false;
  view_.timeLabel = kStoppedClock;
  if (resetSliderOnStop_) view_.slider = 0;
}

void PlayerTransport::OnSliderMoved(int position) {
  if (player_.IsPlaying() && dragging_) player_.Seek(position);
}

void PlayerTransport::OnTimer() {
  PlayerStatus status = ParsePlayerStatus(player_.Status());
  if (!status.clockText.empty()) view_.timeLabel = status.clockText;
  int percent = SliderPercent(status);
  if (percent >= 0 && !dragging_) view_.slider = percent;
  if (!player_.IsPlaying()) ShowStopped();
}

void PlayerTransport::ShowStopped() {
  view_.timerRunning = false;
  view_.timeLabel = kStoppedClock;
  view_.slider = 0;
  view_.buttonShowsPause = false;
}

}  // namespace mivora
