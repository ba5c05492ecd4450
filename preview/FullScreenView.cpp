#include "preview/FullScreenView.h"

#include <QKeyEvent>
#include <QPainter>

#include "preview/PlayStatic.h"

namespace mivora {

FullScreenView::FullScreenView(CPlayStatic* owner) : QWidget(nullptr), owner_(owner) {
  setAttribute(Qt::WA_DeleteOnClose);
  setAttribute(Qt::WA_OpaquePaintEvent);
  setWindowFlag(Qt::FramelessWindowHint);
  setFocusPolicy(Qt::StrongFocus);
}

FullScreenView::~FullScreenView() {
  if (owner_ && owner_->m_fullScreen == this) owner_->m_fullScreen = nullptr;
}

void FullScreenView::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), Qt::black);
  const QImage& picture = owner_->m_bPlaying && !owner_->m_bPaused ? owner_->Picture()
                                                                    : owner_->StillFrame();
  if (picture.isNull()) return;
  QSize shown = picture.size().scaled(size(), Qt::KeepAspectRatio);
  QRect target(QPoint((width() - shown.width()) / 2, (height() - shown.height()) / 2), shown);
  painter.drawImage(target, picture);
}

void FullScreenView::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape)
    close();
  else
    QWidget::keyPressEvent(event);
}

void FullScreenView::mouseDoubleClickEvent(QMouseEvent*) { close(); }

}  // namespace mivora
