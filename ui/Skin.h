#pragma once
// One look for every window of the desktop program: the palette, the
// typeface, and the painting of window backgrounds and button frames. Images
// are SVG resources under ":/skin/", drawn at the screen's pixel ratio so they
// stay sharp on high-density screens.

#include <QColor>
#include <QFont>
#include <QIcon>
#include <QPalette>
#include <QRect>
#include <QString>

class QApplication;
class QPainter;
class QSvgRenderer;

namespace mivora::ui {

// The skin's colours.
namespace colors {
inline const QColor kTitleText{21, 169, 232};     // window titles
inline const QColor kPanel{1, 26, 155};           // window body; option labels sit on it
inline const QColor kPanelDark{0, 14, 92};        // bottom of the body gradient
inline const QColor kTitleBar{4, 12, 56};         // title band
inline const QColor kBorder{21, 169, 232};        // one-pixel window edge
inline const QColor kText{255, 255, 255};         // labels and captions
inline const QColor kDisabledText{150, 164, 205};
inline const QColor kListBase{245, 248, 255};     // list and field backgrounds
inline const QColor kListAlternate{230, 238, 252};
inline const QColor kListText{16, 24, 56};
inline const QColor kListHeader{2, 20, 110};
// Every text colour keeps a contrast of at least 4.5:1 against the surface
// it is drawn on: white on the selection and on the button gradient (in all
// its states), the list text on the list colours.
inline const QColor kSelection{0, 95, 175};
inline const QColor kButtonTop{16, 96, 172};
inline const QColor kButtonBottom{6, 58, 132};
inline const QColor kButtonEdge{0, 30, 84};
inline const QColor kFocus{255, 214, 64};         // keyboard focus ring
}  // namespace colors

enum class ButtonState { kNormal, kHover, kPressed, kDisabled };

class Skin {
 public:
  // Registers the resources and gives `app` the skin's font, palette and
  // window icon. Call once after the application object exists.
  static void Apply(QApplication& app);

  // The installed face closest to "Tahoma", resolved once.
  static QString FontFamily();
  // The skin font at a pixel size (window geometry is in pixels).
  static QFont Font(int pixelSize = 12, bool bold = false);

  // The image ":/skin/<name>.svg" (cached; never null, possibly invalid).
  static QSvgRenderer& Art(const QString& name);
  // Draws `name`'s element `element` (or, when the image has no such
  // element, the whole image) into `target`.
  static void PaintArt(QPainter& painter, const QString& name, const QString& element, const QRectF& target);
  static QIcon AppIcon();
  // The colours of a light list surface for every role a widget or its
  // pop-up may paint with (the window roles included, which a drop-down's
  // pop-up uses for its entries).
  static QPalette ListPalette();

  // Window background: title band with the program icon and `title`, body
  // gradient, one-pixel edge.
  static void PaintWindowBackground(QPainter& painter, const QRect& rect, const QString& title);
  // The frame of a caption button in a state.
  static void PaintButtonFrame(QPainter& painter, const QRect& rect, ButtonState state);
};

}  // namespace mivora::ui
