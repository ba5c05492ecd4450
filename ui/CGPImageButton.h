#pragma once
// A skinned push button. With art it draws the SVG image ":/skin/<art>.svg",
// whose elements "normal", "hover", "pressed" and "disabled" are the four
// states (a missing state falls back to "normal"); without art it draws the
// skin's button frame. The caption, when set, is drawn on top. Enter, Return
// and Space click it while it has the keyboard focus.

#include <QAbstractButton>

namespace mivora::ui {

enum class ButtonState;

class CGPImageButton : public QAbstractButton {
  Q_OBJECT

 public:
  explicit CGPImageButton(QWidget* parent = nullptr);
  CGPImageButton(const QString& art, const QString& toolTip, QWidget* parent);

  void SetArt(const QString& art);
  const QString& Art() const { return art_; }
  // The state that is drawn now.
  ButtonState State() const;

  QSize sizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;

 private:
  QString art_;
};

}  // namespace mivora::ui
