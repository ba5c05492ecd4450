#pragma once
// The transport controls of a window that plays a source through the preview
// library's control: play/pause and stop buttons, the position slider, the
// time label and the one-second timer. The rules live in PlayerTransport;
// this class only turns widget events into its calls and shows its view.

#include <QObject>
#include <QRect>
#include <memory>
#include <string>

#include "preview/PlayStatic.h"
#include "windowmodels/PlayerTransport.h"

class QLabel;
class QSlider;
class QTimer;

namespace mivora {

namespace ui {
class CGPImageButton;
}

// The preview library's control as the transport's player.
class PlayStaticPlayer : public TransportPlayer {
 public:
  explicit PlayStaticPlayer(CPlayStatic& player) : player_(player) {}
  bool IsPlaying() const override { return player_.m_bPlaying != 0; }
  void Play(const std::string& path) override { player_.Play(path.c_str()); }
  void Pause() override { player_.Pause(); }
  void Stop() override { player_.Stop(); }
  void Seek(int percent) override { player_.Seek(percent); }
  std::string Status() const override { return player_.m_pszStatus ? player_.m_pszStatus : ""; }

 private:
  CPlayStatic& player_;
};

class TransportControls : public QObject {
  Q_OBJECT

 public:
  // Where the controls go inside `window`.
  struct Layout {
    QRect slider, timeLabel, playPause, stop;
  };
  // `frameCallback` is handed to the player before each start (null: no
  // frames). The preview window puts the slider back on "Stop", the editor not.
  TransportControls(QWidget* window, CPlayStatic& player, const std::string& path, const Layout& layout,
                    FrameCallback frameCallback, bool resetSliderOnStop);
  ~TransportControls() override;

  void OnPlayPause();
  void OnStop();
  void OnTimer();

  ui::CGPImageButton* PlayPauseButton() const { return playPause_; }
  ui::CGPImageButton* StopButton() const { return stop_; }
  QSlider* Slider() const { return slider_; }
  QLabel* TimeLabel() const { return timeLabel_; }
  QTimer* Timer() const { return timer_; }
  const PlayerTransport& Transport() const { return *transport_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void Show();

  CPlayStatic& player_;
  PlayStaticPlayer adapter_;
  std::unique_ptr<PlayerTransport> transport_;
  FrameCallback frameCallback_;
  ui::CGPImageButton* playPause_ = nullptr;
  ui::CGPImageButton* stop_ = nullptr;
  QSlider* slider_ = nullptr;
  QLabel* timeLabel_ = nullptr;
  QTimer* timer_ = nullptr;
};

}  // namespace mivora
