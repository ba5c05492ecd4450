#pragma once
// The transport controls shared by the preview window and the editor, without
// the window: the play/pause button, the stop button, the position slider,
// the time label and the one-second timer. The window forwards its events
// here and shows the resulting TransportView; the player behind it is the
// preview library's control, reached through TransportPlayer.
//
// Thread ownership: the user-interface thread only.

#include <string>
#include <string_view>

namespace mivora {

// What the transport needs of a player.
class TransportPlayer {
 public:
  virtual ~TransportPlayer() = default;
  virtual bool IsPlaying() const = 0;
  virtual void Play(const std::string& path) = 0;
  virtual void Pause() = 0;  // toggles
  virtual void Stop() = 0;
  virtual void Seek(int percent) = 0;
  // The player's status text; empty when there is none.
  virtual std::string Status() const = 0;
};

// The pieces of a status text: elapsed time before the first "/", position
// between "(" and ")", duration between "[" and "]".
struct PlayerStatus {
  std::string clockText;  // empty when the text has no "/" or nothing before it
  double position = 0;
  double duration = 0;
};
PlayerStatus ParsePlayerStatus(std::string_view text);
// position / duration * 100, truncated; -1 when the duration is 0.
int SliderPercent(const PlayerStatus& status);

struct TransportView {
  bool buttonShowsPause = false;  // else "Play"
  bool timerRunning = false;
  bool sliderEnabled = false;
  int slider = 0;  // 0..100
  std::string timeLabel = "0:00:00";
};

class PlayerTransport {
 public:
  static constexpr const char* kStoppedClock = "0:00:00";

  // `resetSliderOnStop`: the preview window puts the slider back to 0 on
  // "Stop", the editor leaves it.
  PlayerTransport(TransportPlayer& player, std::string path, bool resetSliderOnStop);

  void OnPlayPause();
  void OnStop();
  void OnSliderPressed() { dragging_ = true; }
  void OnSliderReleased() { dragging_ = false; }
  // The thumb was dragged to `position`: seeks while playing.
  void OnSliderMoved(int position);
  void OnTimer();

  const TransportView& View() const { return view_; }
  bool Paused() const { return paused_; }
  bool Dragging() const { return dragging_; }

 private:
  void ShowStopped();

  TransportPlayer& player_;
  std::string path_;
  bool resetSliderOnStop_;
  bool paused_ = false;
  bool dragging_ = false;
  TransportView view_;
};

}  // namespace mivora
