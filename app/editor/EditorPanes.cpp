#include "app/editor/EditorPanes.h"

#include <QPainter>

namespace mivora {

EditorPane::EditorPane(QWidget* parent) : QWidget(parent) { setAttribute(Qt::WA_OpaquePaintEvent); }

void EditorPane::SetPicture(const QImage& picture) {
  picture_ = picture;
  update();
}

void EditorPane::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), Qt::black);
  if (!picture_.isNull()) painter.drawImage(QPoint(0, 0), picture_);
}

CropBand::CropBand(QWidget* pane) : QWidget(pane) {
  setAttribute(Qt::WA_TransparentForMouseEvents);
  setAttribute(Qt::WA_NoSystemBackground);
  setGeometry(pane->rect());
}

void CropBand::SetBand(const PaneRect& band, const QRect& picture) {
  band_ = band;
  setGeometry(picture);
  raise();
  update();
}

void CropBand::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const QRect inside(band_.left, band_.top, band_.width, band_.height);
  // Shade what the crop cuts away, then outline what it keeps.
  QRegion outside = QRegion(rect()).subtracted(QRegion(inside));
  painter.setClipRegion(outside);
  painter.fillRect(rect(), QColor(0, 0, 0, 110));
  painter.setClipping(false);
  QPen pen(QColor(255, 214, 64), 2, Qt::DashLine);
  painter.setPen(pen);
  painter.drawRect(inside.adjusted(1, 1, -1, -1));
}

}  // namespace mivora
