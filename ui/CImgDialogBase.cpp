#include "ui/CImgDialogBase.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QWindow>

#include "ui/CGPImageButton.h"
#include "ui/Skin.h"

namespace mivora::ui {

CImgDialogBase::CImgDialogBase(const QSize& size, const QString& title, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinimizeButtonHint) {
  setFixedSize(size);
  setFont(Skin::Font());
  setWindowIcon(Skin::AppIcon());
  SetTitle(title);
}

void CImgDialogBase::SetTitle(const QString& title) {
  title_ = title;
  setWindowTitle(title);
  update();
}

CGPImageButton* CImgDialogBase::AddCaptionButton(CaptionButton which) {
  struct Caption {
    const char* art;
    const char* tip;
    int fromRight;  // left edge, counted from the window's right edge
  };
  static const Caption kCaptions[] = {
      {"caption_close", "Close", 20}, {"caption_minimize", "Minimize", 38},
      {"caption_help", "Help", 56},   {"caption_about", "About", 74}};
  const Caption& caption = kCaptions[static_cast<int>(which)];
  auto* button = new CGPImageButton(QString::fromLatin1(caption.art), QString::fromLatin1(caption.tip), this);
  button->setGeometry(width() - caption.fromRight, 4, 15, 15);
  button->setFocusPolicy(Qt::TabFocus);
  return button;
}

void CImgDialogBase::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  Skin::PaintWindowBackground(painter, rect(), title_);
}

void CImgDialogBase::keyPressEvent(QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
      OnEnterKey();
      event->accept();
      return;
    case Qt::Key_Escape:
      OnEscapeKey();
      event->accept();
      return;
    default:
      QDialog::keyPressEvent(event);
  }
}

void CImgDialogBase::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) {
    QDialog::mousePressEvent(event);
    return;
  }
  // A press alone moves nothing: the move begins once the cursor has gone
  // a few pixels, so a click stays a click.
  pressed_ = true;
  pressAt_ = event->globalPosition().toPoint();
  dragOffset_ = pressAt_ - frameGeometry().topLeft();
  event->accept();
}

void CImgDialogBase::mouseMoveEvent(QMouseEvent* event) {
  if (!(event->buttons() & Qt::LeftButton)) {
    pressed_ = dragging_ = false;
    QDialog::mouseMoveEvent(event);
    return;
  }
  const QPoint at = event->globalPosition().toPoint();
  if (pressed_ && (at - pressAt_).manhattanLength() >= QApplication::startDragDistance()) {
    pressed_ = false;
    // The desktop moves the window when it can (the only way on Wayland,
    // where a window cannot place itself); otherwise it follows the cursor.
    if (windowHandle() && windowHandle()->startSystemMove()) {
      event->accept();
      return;
    }
    dragging_ = true;
  }
  if (dragging_) {
    move(at - dragOffset_);
    event->accept();
    return;
  }
  QDialog::mouseMoveEvent(event);
}

void CImgDialogBase::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) pressed_ = dragging_ = false;
  QDialog::mouseReleaseEvent(event);
}

}  // namespace mivora::ui
