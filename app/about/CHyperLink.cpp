#include "app/about/CHyperLink.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>

#include "common/Log.h"
#include "net/OpenLink.h"
#include "ui/CDlgMessageBox.h"

namespace mivora {

CHyperLink::CHyperLink(const QString& text, const QString& url, QWidget* parent)
    : QLabel(text, parent), url_(url.isEmpty() ? text : url) {
  if (QLabel::text().isEmpty()) setText(url_);
  setCursor(Qt::PointingHandCursor);
  setFocusPolicy(Qt::TabFocus);
  setAttribute(Qt::WA_TranslucentBackground);
  setToolTip(url_);
  UpdateFont();
}

void CHyperLink::SetUrl(const QString& url) {
  url_ = url;
  setToolTip(url_);
  update();
}

QColor CHyperLink::HoverColor() const {
  return hoverColor_.isValid() ? hoverColor_ : palette().color(QPalette::Highlight);
}

void CHyperLink::SetColors(const QColor& link, const QColor& visited, const QColor& hover) {
  linkColor_ = link;
  visitedColor_ = visited;
  hoverColor_ = hover;
  update();
}

void CHyperLink::SetUnderline(bool underline) {
  underline_ = underline;
  UpdateFont();
}

void CHyperLink::SetVisited(bool visited) {
  visited_ = visited;
  update();
}

void CHyperLink::UpdateFont() {
  QFont f = font();
  f.setUnderline(underline_);
  setFont(f);
  update();
}

QColor CHyperLink::CurrentColor() const {
  if (overControl_) return HoverColor();
  return visited_ ? visitedColor_ : linkColor_;
}

void CHyperLink::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setFont(font());
  painter.setPen(CurrentColor());
  painter.drawText(contentsRect(), static_cast<int>(alignment()), text());
  if (hasFocus()) {
    QRect r = fontMetrics().boundingRect(contentsRect(), static_cast<int>(alignment()), text());
    painter.setPen(QPen(CurrentColor(), 1, Qt::DotLine));
    painter.drawRect(r.adjusted(-2, -1, 1, 0));
  }
}

void CHyperLink::enterEvent(QEnterEvent* event) {
  overControl_ = true;
  update();
  QLabel::enterEvent(event);
}

void CHyperLink::leaveEvent(QEvent* event) {
  overControl_ = false;
  update();
  QLabel::leaveEvent(event);
}

void CHyperLink::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) Activate();
  QLabel::mouseReleaseEvent(event);
}

void CHyperLink::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter || event->key() == Qt::Key_Space) {
    Activate();
    return;
  }
  QLabel::keyPressEvent(event);
}

void CHyperLink::Activate() {
  if (notifyParent_) {
    emit clicked();
    return;
  }
  // The opener's verdict comes on a thread of its own; it is handed to this
  // window's thread and dropped if the link is gone by then.
  QPointer<CHyperLink> self(this);
  bool wasVisited = visited_;
  int result = OpenLink(url_.toStdString(), [self, wasVisited](int outcome) {
    if (QCoreApplication* application = QCoreApplication::instance())
      QMetaObject::invokeMethod(
          application, [self, outcome, wasVisited] { if (self) self->OnOpenEnded(outcome, wasVisited); },
          Qt::QueuedConnection);
  });
  if (result > kOpenFailedLimit) SetVisited(true);
  else OnOpenFailed(result);
}

void CHyperLink::OnOpenEnded(int result, bool wasVisited) {
  if (result <= kOpenFailedLimit) {
    SetVisited(wasVisited);
    OnOpenFailed(result);
  }
}

void CHyperLink::OnOpenFailed(int result) {
  MLOG("CHyperLink::Activate, cannot open %s: %d", url_.toUtf8().constData(), result);
  QApplication::beep();
  QString reason = QString::fromStdString(kLinkFailureHeading + LinkFailureReason(result));
  ui::CDlgMessageBox::Show(reason, ui::kMbOk | ui::kMbIconStop, window());
}

}  // namespace mivora
