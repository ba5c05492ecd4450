#pragma once
// The notification-area icon of a batch run: tip "Mivora", six animation
// frames shown in turn every 300 ms while the batch runs, and a click (or
// double-click) that asks for the progress window back.

#include <QIcon>
#include <QObject>
#include <QSystemTrayIcon>
#include <QTimer>

#include <array>
#include <optional>

namespace mivora {

class CConvertingTray : public QObject {
  Q_OBJECT

 public:
  static constexpr int kFrameCount = 6;
  static constexpr int kFramePeriodMs = 300;

  explicit CConvertingTray(QObject* parent = nullptr);
  ~CConvertingTray() override;

  // Whether the desktop shows tray icons. Environments that cannot tell
  // (an offscreen test platform) may state it.
  static bool Available();
  static void AssumeAvailable(std::optional<bool> available);

  void Show();
  void Remove();
  void StartAnimation();
  void StopAnimation();
  bool Animating() const { return timer_.isActive(); }

  // Shows the frame at the animation index and moves the index on,
  // wrapping after the sixth frame. The index is shared by the process, so
  // a second batch goes on where the first stopped.
  void Advance();
  static int AnimationIndex();
  // The frame the icon shows now (-1 before the first Advance).
  int ShownFrame() const { return shownFrame_; }
  QSystemTrayIcon& Icon() { return tray_; }

 signals:
  void restoreRequested();

 private:
  QSystemTrayIcon tray_;
  QTimer timer_;
  std::array<QIcon, kFrameCount> frames_;
  int shownFrame_ = -1;
};

}  // namespace mivora
