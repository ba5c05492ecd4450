#include "ui/Skin.h"

#include <QApplication>
#include <QFontDatabase>
#include <QFontInfo>
#include <QHash>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPalette>
#include <QSvgRenderer>
#include <memory>

namespace mivora::ui {

void InitSkinResources();  // generated: every res/*.qrc

namespace {

void EnsureResources() {
  static const bool done = [] {
    InitSkinResources();
    return true;
  }();
  (void)done;
}

// Faces that look most like Tahoma, best first; fontconfig's own choice for
// "Tahoma" comes after them (it may pick a face of a different width).
const char* const kFaceCandidates[] = {"Tahoma", "DejaVu Sans Condensed", "Verdana", "DejaVu Sans",
                                       "Liberation Sans", "Noto Sans"};

}  // namespace

QString Skin::FontFamily() {
  static const QString family = [] {
    const QStringList installed = QFontDatabase::families();
    for (const char* face : kFaceCandidates) {
      if (installed.contains(QString::fromLatin1(face), Qt::CaseInsensitive)) return QString::fromLatin1(face);
    }
    QFont wanted(QStringLiteral("Tahoma"));
    wanted.setStyleHint(QFont::SansSerif);
    return QFontInfo(wanted).family();
  }();
  return family;
}

QFont Skin::Font(int pixelSize, bool bold) {
  QFont font(FontFamily());
  font.setStyleHint(QFont::SansSerif);
  font.setPixelSize(pixelSize);
  font.setBold(bold);
  return font;
}

QSvgRenderer& Skin::Art(const QString& name) {
  EnsureResources();
  static QHash<QString, std::shared_ptr<QSvgRenderer>> cache;
  auto found = cache.find(name);
  if (found == cache.end()) {
    found = cache.insert(name, std::make_shared<QSvgRenderer>(QStringLiteral(":/skin/%1.svg").arg(name)));
  }
  return **found;
}

void Skin::PaintArt(QPainter& painter, const QString& name, const QString& element, const QRectF& target) {
  QSvgRenderer& art = Art(name);
  if (!art.isValid()) return;
  if (!element.isEmpty() && art.elementExists(element)) {
    art.render(&painter, element, target);
  } else {
    art.render(&painter, target);
  }
}

QIcon Skin::AppIcon() {
  EnsureResources();
  return QIcon(QStringLiteral(":/skin/icon.svg"));
}

QPalette Skin::ListPalette() {
  QPalette palette;
  for (QPalette::ColorRole role : {QPalette::Window, QPalette::Base, QPalette::Button})
    palette.setColor(role, colors::kListBase);
  palette.setColor(QPalette::AlternateBase, colors::kListAlternate);
  for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
    palette.setColor(role, colors::kListText);
  palette.setColor(QPalette::Highlight, colors::kSelection);
  palette.setColor(QPalette::HighlightedText, colors::kText);
  palette.setColor(QPalette::ToolTipBase, colors::kListBase);
  palette.setColor(QPalette::ToolTipText, colors::kListText);
  palette.setColor(QPalette::PlaceholderText, colors::kListText.lighter(250));
  for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
    palette.setColor(QPalette::Disabled, role, colors::kListText.lighter(300));
  return palette;
}

void Skin::Apply(QApplication& app) {
  EnsureResources();
  app.setFont(Font());
  QPalette palette = app.palette();
  palette.setColor(QPalette::Window, colors::kPanel);
  palette.setColor(QPalette::WindowText, colors::kText);
  palette.setColor(QPalette::Base, colors::kListBase);
  palette.setColor(QPalette::AlternateBase, colors::kListAlternate);
  palette.setColor(QPalette::Text, colors::kListText);
  palette.setColor(QPalette::Button, colors::kButtonBottom);
  palette.setColor(QPalette::ButtonText, colors::kText);
  palette.setColor(QPalette::Highlight, colors::kSelection);
  palette.setColor(QPalette::HighlightedText, colors::kText);
  palette.setColor(QPalette::ToolTipBase, colors::kListBase);
  palette.setColor(QPalette::ToolTipText, colors::kListText);
  palette.setColor(QPalette::Disabled, QPalette::WindowText, colors::kDisabledText);
  palette.setColor(QPalette::Disabled, QPalette::ButtonText, colors::kDisabledText);
  palette.setColor(QPalette::Disabled, QPalette::Text, colors::kDisabledText);
  app.setPalette(palette);
  // Drop-downs, their pop-up lists and typed fields are light surfaces on the
  // dark window body; without these their entries would be list text on the
  // body's dark blue.
  for (const char* surface : {"QComboBox", "QComboBoxPrivateContainer", "QAbstractItemView", "QLineEdit",
                              "QAbstractSpinBox"})
    app.setPalette(ListPalette(), surface);
  app.setWindowIcon(AppIcon());
}

void Skin::PaintWindowBackground(QPainter& painter, const QRect& rect, const QString& title) {
  constexpr int kTitleBand = 40;
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing, false);
  QLinearGradient body(rect.topLeft(), rect.bottomLeft());
  body.setColorAt(0.0, colors::kPanel);
  body.setColorAt(1.0, colors::kPanelDark);
  painter.fillRect(rect, body);

  const QRect band(rect.left(), rect.top(), rect.width(), kTitleBand);
  QLinearGradient bandFill(band.topLeft(), band.bottomLeft());
  bandFill.setColorAt(0.0, colors::kTitleBar.lighter(140));
  bandFill.setColorAt(1.0, colors::kTitleBar);
  painter.fillRect(band, bandFill);
  painter.fillRect(QRect(band.left(), band.bottom(), band.width(), 1), colors::kTitleText.darker(160));

  painter.setRenderHint(QPainter::Antialiasing, true);
  PaintArt(painter, QStringLiteral("icon"), QString(), QRectF(rect.left() + 12, rect.top() + 10, 20, 20));
  painter.setPen(colors::kTitleText);
  painter.setFont(Font(15, true));
  painter.drawText(QRect(rect.left() + 40, rect.top() + 9, rect.width() - 80, 25), Qt::AlignLeft | Qt::AlignVCenter,
                   title);

  painter.setRenderHint(QPainter::Antialiasing, false);
  painter.setPen(colors::kBorder.darker(130));
  painter.setBrush(Qt::NoBrush);
  painter.drawRect(rect.adjusted(0, 0, -1, -1));
  painter.restore();
}

void Skin::PaintButtonFrame(QPainter& painter, const QRect& rect, ButtonState state) {
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing, true);
  QColor top = colors::kButtonTop;
  QColor bottom = colors::kButtonBottom;
  switch (state) {
    case ButtonState::kNormal: break;
    case ButtonState::kHover: top = top.lighter(115); bottom = bottom.lighter(125); break;
    case ButtonState::kPressed: std::swap(top, bottom); top = top.darker(115); break;
    case ButtonState::kDisabled: top = QColor(104, 122, 170); bottom = QColor(70, 86, 138); break;
  }
  QLinearGradient fill(rect.topLeft(), rect.bottomLeft());
  fill.setColorAt(0.0, top);
  fill.setColorAt(1.0, bottom);
  QPainterPath shape;
  shape.addRoundedRect(QRectF(rect).adjusted(0.5, 0.5, -0.5, -0.5), 4, 4);
  painter.fillPath(shape, fill);
  painter.setPen(QPen(state == ButtonState::kDisabled ? QColor(50, 62, 110) : colors::kButtonEdge, 1));
  painter.drawPath(shape);
  // A soft highlight along the top edge.
  painter.setPen(QPen(QColor(255, 255, 255, state == ButtonState::kDisabled ? 30 : 80), 1));
  painter.drawLine(QPointF(rect.left() + 4, rect.top() + 1.5), QPointF(rect.right() - 4, rect.top() + 1.5));
  painter.restore();
}

}  // namespace mivora::ui
