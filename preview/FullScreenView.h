#pragma once
// The full-screen picture of a CPlayStatic: a frameless top-level window that
// shows the player window's current picture, centred with its aspect ratio,
// until Esc or a double-click closes it.

#include <QWidget>

namespace mivora {

class CPlayStatic;

class FullScreenView : public QWidget {
  Q_OBJECT

 public:
  explicit FullScreenView(CPlayStatic* owner);
  ~FullScreenView() override;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;

 private:
  CPlayStatic* owner_;
};

}  // namespace mivora
