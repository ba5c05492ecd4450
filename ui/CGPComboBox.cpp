#include "ui/CGPComboBox.h"

#include <QAbstractItemView>
#include <QLineEdit>
#include <QPainter>
#include <QPainterPath>

#include "ui/Skin.h"

namespace mivora::ui {
namespace {

constexpr int kArrowWidth = 20;
constexpr int kTextIndent = 6;

}  // namespace

CGPComboBox::CGPComboBox(QWidget* parent) : QComboBox(parent) {
  setEditable(false);
  setFocusPolicy(Qt::StrongFocus);
  setAttribute(Qt::WA_Hover);
  setFont(Skin::Font(12));
  // The pop-up's entries are painted with the drop-down's own palette and
  // the pop-up frame's, so all three get the light list colours.
  const QPalette listColours = Skin::ListPalette();
  setPalette(listColours);
  view()->setPalette(listColours);
  if (QWidget* popup = view()->parentWidget()) popup->setPalette(listColours);
  view()->setFont(font());
}

void CGPComboBox::SetTypable(bool typable) {
  setEditable(typable);
  if (!typable) return;
  setInsertPolicy(QComboBox::NoInsert);
  lineEdit()->setFrame(false);
  lineEdit()->setPalette(Skin::ListPalette());
  lineEdit()->setFont(font());
  PlaceLineEdit();
}

void CGPComboBox::PlaceLineEdit() {
  if (lineEdit()) lineEdit()->setGeometry(rect().adjusted(kTextIndent - 2, 3, -kArrowWidth - 2, -3));
}

void CGPComboBox::resizeEvent(QResizeEvent* event) {
  QComboBox::resizeEvent(event);
  PlaceLineEdit();
}

CGPComboBox::CGPComboBox(const QString& toolTip, QWidget* parent) : CGPComboBox(parent) {
  setToolTip(toolTip);
}

QSize CGPComboBox::sizeHint() const {
  const QFontMetrics metrics(font());
  int widest = metrics.horizontalAdvance(QString(minimumContentsLength(), QLatin1Char('0')));
  for (int i = 0; i < count(); ++i) widest = std::max(widest, metrics.horizontalAdvance(itemText(i)));
  return QSize(widest + 2 * kTextIndent + kArrowWidth, metrics.height() + 10);
}

QSize CGPComboBox::minimumSizeHint() const {
  const QFontMetrics metrics(font());
  return QSize(kArrowWidth + 2 * kTextIndent + metrics.horizontalAdvance(QStringLiteral("000")),
               metrics.height() + 10);
}

void CGPComboBox::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  const bool enabled = isEnabled();
  const QRectF frame = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);

  QPainterPath outline;
  outline.addRoundedRect(frame, 3, 3);
  painter.fillPath(outline, enabled ? colors::kListBase : colors::kListAlternate);

  // The arrow button: the right end of the field, clipped to its rounded edge.
  const QRectF arrowRect(frame.right() - kArrowWidth, frame.top(), kArrowWidth, frame.height());
  QLinearGradient fill(arrowRect.topLeft(), arrowRect.bottomLeft());
  const bool hot = enabled && underMouse();
  fill.setColorAt(0.0, enabled ? (hot ? colors::kButtonTop.lighter(112) : colors::kButtonTop)
                               : colors::kDisabledText);
  fill.setColorAt(1.0, enabled ? colors::kButtonBottom : colors::kDisabledText.darker(120));
  painter.save();
  painter.setClipPath(outline);
  painter.fillRect(arrowRect, fill);
  painter.restore();

  const QPointF centre = arrowRect.center();
  QPainterPath arrow;
  arrow.moveTo(centre + QPointF(-4, -2));
  arrow.lineTo(centre + QPointF(4, -2));
  arrow.lineTo(centre + QPointF(0, 3));
  arrow.closeSubpath();
  painter.fillPath(arrow, colors::kText);

  painter.setPen(QPen(enabled ? colors::kButtonEdge : colors::kDisabledText, 1));
  painter.drawPath(outline);

  const QRect textRect = rect().adjusted(kTextIndent, 0, -kArrowWidth - kTextIndent, 0);
  if (lineEdit()) {
    // The field shows the text and the caret itself; it only needs the focus ring.
    if (hasFocus() || lineEdit()->hasFocus()) {
      painter.setRenderHint(QPainter::Antialiasing, false);
      painter.setPen(QPen(colors::kFocus, 1, Qt::DotLine));
      painter.drawRect(textRect.adjusted(-3, 3, 2, -4));
    }
    return;
  }
  painter.setFont(font());
  painter.setPen(enabled ? colors::kListText : colors::kDisabledText);
  painter.drawText(textRect, Qt::AlignVCenter | Qt::AlignLeft,
                   fontMetrics().elidedText(currentText(), Qt::ElideMiddle, textRect.width()));

  if (hasFocus()) {
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setPen(QPen(colors::kFocus, 1, Qt::DotLine));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(textRect.adjusted(-3, 3, 2, -4));
  }
}

}  // namespace mivora::ui
