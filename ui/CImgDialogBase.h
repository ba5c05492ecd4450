#pragma once
// The base of every skinned window: a borderless fixed-size dialog with the
// skin's background and its title drawn in the title band, moved by dragging
// its background, with the caption buttons at fixed places in the band.
// Enter and Escape never close it by themselves: a focused button takes
// Enter, and anything left goes to OnEnterKey / OnEscapeKey, which do nothing
// unless a window says otherwise.

#include <QDialog>
#include <QPoint>

namespace mivora::ui {

class CGPImageButton;

// The caption buttons, right to left, 15 x 15 pixels in the title band.
enum class CaptionButton { kClose, kMinimize, kHelp, kAbout };

class CImgDialogBase : public QDialog {
  Q_OBJECT

 public:
  static constexpr int kTitleBandHeight = 40;

  CImgDialogBase(const QSize& size, const QString& title, QWidget* parent = nullptr);

  // The title drawn in the band; also the window's name on the desktop.
  void SetTitle(const QString& title);
  const QString& Title() const { return title_; }

  // Creates a caption button with its image and tooltip ("Close",
  // "Minimize", "Help", "About") at its place.
  CGPImageButton* AddCaptionButton(CaptionButton which);

 protected:
  virtual void OnEnterKey() {}
  virtual void OnEscapeKey() {}

  void paintEvent(QPaintEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  QString title_;
  bool pressed_ = false;   // the left button is down on the background, not yet moved far
  bool dragging_ = false;  // the window follows the cursor itself
  QPoint pressAt_;         // where the press was, on the screen
  QPoint dragOffset_;      // cursor position inside the window at the press
};

}  // namespace mivora::ui
