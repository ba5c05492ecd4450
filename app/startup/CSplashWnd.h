#pragma once
// The start-up splash: a 600 x 132 translucent window above everything that
// plays eleven frames 100 ms apart, holds the last for two seconds (longer
// when needed to make 3.1 seconds in all) and only then lets itself be
// closed. A
// twelfth, empty frame leaves the window clear before the frames repeat
// (when the main window takes longer than that to build).
//
// The frames are drawn by a timer on the user-interface thread.

#include <QElapsedTimer>
#include <QString>
#include <QTimer>
#include <QWidget>
#include <array>

namespace mivora {

class CSplashWnd : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kWidth = 600;
  static constexpr int kHeight = 132;
  static constexpr int kFrameCount = 12;
  static constexpr int kFramePeriodMs = 100;
  static constexpr int kHoldMs = 2000;
  static constexpr int kMinimumShownMs = 3100;

  CSplashWnd();

  // Shows the splash centred on the screen and starts the frames.
  void Start();
  // Waits (the frames go on) until the splash is ready, then removes it.
  void CloseSplash();

  bool Ready() const { return ready_; }
  int CurrentFrame() const { return current_; }
  // Milliseconds since Start().
  qint64 ShownMs() const { return shown_.isValid() ? shown_.elapsed() : 0; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  void NextFrame();

  std::array<QString, kFrameCount> frames_;  // skin image per slot; empty: a clear frame
  QTimer timer_;
  QElapsedTimer shown_;
  int counter_ = 0;   // the frame drawn next
  int current_ = -1;  // the frame on screen
  bool ready_ = false;    // the last picture has been held
  bool closing_ = false;  // CloseSplash waits for ready_

 signals:
  void becameReady();
};

}  // namespace mivora
