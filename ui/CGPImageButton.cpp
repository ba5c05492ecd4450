#include "ui/CGPImageButton.h"

#include <QKeyEvent>
#include <QPainter>
#include <QSvgRenderer>

#include "ui/Skin.h"

namespace mivora::ui {

namespace {
const char* ElementOf(ButtonState state) {
  switch (state) {
    case ButtonState::kHover: return "hover";
    case ButtonState::kPressed: return "pressed";
    case ButtonState::kDisabled: return "disabled";
    case ButtonState::kNormal: break;
  }
  return "normal";
}
}  // namespace

CGPImageButton::CGPImageButton(QWidget* parent) : QAbstractButton(parent) {
  setFocusPolicy(Qt::StrongFocus);
  setAttribute(Qt::WA_Hover);
  setFont(Skin::Font(12, true));
}

CGPImageButton::CGPImageButton(const QString& art, const QString& toolTip, QWidget* parent)
    : CGPImageButton(parent) {
  art_ = art;
  setToolTip(toolTip);
  // An image shows no words a screen reader could read; its tooltip names it.
  setAccessibleName(toolTip);
}

void CGPImageButton::SetArt(const QString& art) {
  art_ = art;
  update();
}

ButtonState CGPImageButton::State() const {
  if (!isEnabled()) return ButtonState::kDisabled;
  if (isDown()) return ButtonState::kPressed;
  if (underMouse()) return ButtonState::kHover;
  return ButtonState::kNormal;
}

QSize CGPImageButton::sizeHint() const {
  if (!art_.isEmpty() && text().isEmpty()) return Skin::Art(art_).defaultSize();
  const QFontMetrics metrics(font());
  return QSize(metrics.horizontalAdvance(text()) + 24, metrics.height() + 12);
}

void CGPImageButton::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  const ButtonState state = State();
  if (art_.isEmpty()) {
    Skin::PaintButtonFrame(painter, rect(), state);
  } else {
    const QString element = QString::fromLatin1(ElementOf(state));
    Skin::PaintArt(painter, art_, element, QRectF(rect()));
  }
  if (!text().isEmpty()) {
    painter.setFont(font());
    painter.setPen(state == ButtonState::kDisabled ? colors::kDisabledText : colors::kText);
    const QRect textRect = rect().translated(state == ButtonState::kPressed ? QPoint(1, 1) : QPoint());
    painter.drawText(textRect, Qt::AlignCenter, text());
  }
  if (hasFocus()) {
    painter.setRenderHint(QPainter::Antialiasing, false);
    QPen pen(colors::kFocus, 1, Qt::DotLine);
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    const int inset = text().isEmpty() ? 0 : 3;
    painter.drawRect(rect().adjusted(inset, inset, -1 - inset, -1 - inset));
  }
}

void CGPImageButton::keyPressEvent(QKeyEvent* event) {
  if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && !event->isAutoRepeat()) {
    click();
    event->accept();
    return;
  }
  QAbstractButton::keyPressEvent(event);
}

void CGPImageButton::enterEvent(QEnterEvent* event) {
  update();
  QAbstractButton::enterEvent(event);
}

void CGPImageButton::leaveEvent(QEvent* event) {
  update();
  QAbstractButton::leaveEvent(event);
}

}  // namespace mivora::ui
