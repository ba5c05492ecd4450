#include "ui/CImageCheckBox.h"

#include <QPainter>

#include "ui/Skin.h"

namespace mivora::ui {

CImageCheckBox::CImageCheckBox(const QString& label, int labelX, QWidget* parent)
    : QAbstractButton(parent), labelX_(labelX) {
  setCheckable(true);
  setText(label);
  setFont(Skin::Font(12));
  setCursor(Qt::PointingHandCursor);
  setFocusPolicy(Qt::NoFocus);
  resize(sizeHint());
}

QSize CImageCheckBox::sizeHint() const {
  return QSize(labelX_ + fontMetrics().horizontalAdvance(text()) + 4,
               std::max(kBoxSide, fontMetrics().height()));
}

void CImageCheckBox::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  if (!isEnabled()) painter.setOpacity(0.5);
  Skin::PaintArt(painter, QStringLiteral("checkbox"),
                 isChecked() ? QStringLiteral("checked") : QStringLiteral("unchecked"),
                 QRectF(0, (height() - kBoxSide) / 2, kBoxSide, kBoxSide));
  painter.setPen(colors::kText);
  painter.setFont(font());
  painter.drawText(QRect(labelX_, 0, width() - labelX_, height()), Qt::AlignLeft | Qt::AlignVCenter,
                   text());
}

}  // namespace mivora::ui
