// The skinned controls: button states, the dialog base's keys and dragging,
// the list view's row buttons, and that every image of the skin loads.

#include <gtest/gtest.h>

#include <QDirIterator>
#include <QPainter>
#include <QSignalSpy>
#include <QSvgRenderer>
#include <QTest>

#include "ui/CGPImageButton.h"
#include "ui/CImgDialogBase.h"
#include "ui/CRowButtonList.h"
#include "ui/Skin.h"

namespace mivora::ui {
namespace {

TEST(Skin, EveryImageLoadsAndTheFaceResolves) {
  int images = 0;
  Skin::AppIcon();  // registers the resources
  for (QDirIterator it(QStringLiteral(":/skin"), QDirIterator::Subdirectories); it.hasNext();) {
    const QString path = it.next();
    if (!path.endsWith(QLatin1String(".svg"))) continue;
    SCOPED_TRACE(path.toStdString());
    QSvgRenderer renderer(path);
    EXPECT_TRUE(renderer.isValid());
    ++images;
  }
  EXPECT_GE(images, 14);
  EXPECT_FALSE(Skin::FontFamily().isEmpty());
  EXPECT_EQ(Skin::Font(12).pixelSize(), 12);
}

TEST(Skin, ButtonStatesFollowTheMouseAndEnabling) {
  QWidget window;
  window.resize(100, 100);
  CGPImageButton button(QStringLiteral("caption_close"), QStringLiteral("Close"), &window);
  button.setGeometry(50, 50, 15, 15);
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  QTest::mouseMove(&window, QPoint(5, 5));
  EXPECT_EQ(button.State(), ButtonState::kNormal);
  QTest::mouseMove(&button, QPoint(7, 7));
  EXPECT_EQ(button.State(), ButtonState::kHover);
  button.setDown(true);
  EXPECT_EQ(button.State(), ButtonState::kPressed);
  button.setDown(false);
  button.setEnabled(false);
  EXPECT_EQ(button.State(), ButtonState::kDisabled);
  EXPECT_EQ(button.toolTip(), QStringLiteral("Close"));

  // Each state draws differently.
  QSet<QRgb> looks;
  for (ButtonState state : {ButtonState::kNormal, ButtonState::kHover, ButtonState::kPressed, ButtonState::kDisabled}) {
    QImage image(30, 30, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    const char* element[] = {"normal", "hover", "pressed", "disabled"};
    Skin::PaintArt(painter, QStringLiteral("caption_close"), QString::fromLatin1(element[static_cast<int>(state)]),
                   QRectF(0, 0, 30, 30));
    looks.insert(image.pixel(3, 15));
  }
  EXPECT_EQ(looks.size(), 4);
}

TEST(Skin, EnterAndSpaceClickTheFocusedButton) {
  CGPImageButton button;
  button.setText(QStringLiteral("Go"));
  QSignalSpy clicks(&button, &QAbstractButton::clicked);
  button.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&button));
  QTest::keyClick(&button, Qt::Key_Return);
  QTest::keyClick(&button, Qt::Key_Enter);
  QTest::keyClick(&button, Qt::Key_Space);
  EXPECT_EQ(clicks.count(), 3);
}

TEST(Skin, DialogBaseIgnoresEnterAndEscapeAndMovesByItsBackground) {
  CImgDialogBase dialog(QSize(300, 200), QStringLiteral("Title"));
  dialog.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
  QTest::keyClick(&dialog, Qt::Key_Escape);
  QTest::keyClick(&dialog, Qt::Key_Return);
  EXPECT_TRUE(dialog.isVisible());
  EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Title"));
  EXPECT_EQ(dialog.size(), QSize(300, 200));
  EXPECT_TRUE(dialog.windowFlags() & Qt::FramelessWindowHint);

  const QPoint before = dialog.pos();
  // A press with a wobble of a pixel is a click: the window stays.
  QTest::mousePress(&dialog, Qt::LeftButton, {}, QPoint(100, 100));
  QMouseEvent wobble(QEvent::MouseMove, QPointF(101, 100), dialog.mapToGlobal(QPointF(101, 100)), Qt::NoButton,
                     Qt::LeftButton, {});
  QApplication::sendEvent(&dialog, &wobble);
  QTest::mouseRelease(&dialog, Qt::LeftButton, {}, QPoint(101, 100));
  EXPECT_EQ(dialog.pos(), before);

  QTest::mousePress(&dialog, Qt::LeftButton, {}, QPoint(100, 100));
  QMouseEvent move(QEvent::MouseMove, QPointF(140, 130), dialog.mapToGlobal(QPointF(140, 130)), Qt::NoButton,
                   Qt::LeftButton, {});
  QApplication::sendEvent(&dialog, &move);
  QTest::mouseRelease(&dialog, Qt::LeftButton, {}, QPoint(140, 130));
  EXPECT_EQ(dialog.pos() - before, QPoint(40, 30));
}

TEST(Skin, RowButtonsReportTheirRowAndAction) {
  CRowButtonList list({QStringLiteral("A"), QStringLiteral(" ")}, {100, 100},
                      {{QStringLiteral("row_up"), QStringLiteral("Up")},
                       {QStringLiteral("row_down"), QStringLiteral("Down")}});
  list.resize(220, 200);
  list.AppendRow({QStringLiteral("one")});
  list.AppendRow({QStringLiteral("two")});
  list.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&list));
  QSignalSpy clicks(&list, &CRowButtonList::RowButtonClicked);
  QSignalSpy deletes(&list, &CRowButtonList::DeletePressed);
  QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, list.ButtonRect(1, 1).center());
  QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, list.ButtonRect(0, 0).center());
  // A press that ends outside the button is no click.
  QTest::mousePress(list.viewport(), Qt::LeftButton, {}, list.ButtonRect(0, 1).center());
  QTest::mouseRelease(list.viewport(), Qt::LeftButton, {}, QPoint(5, 5));
  ASSERT_EQ(clicks.count(), 2);
  EXPECT_EQ(clicks[0], (QList<QVariant>{1, 1}));
  EXPECT_EQ(clicks[1], (QList<QVariant>{0, 0}));
  EXPECT_EQ(list.ButtonAt(QPoint(5, 5), nullptr), -1);

  // The buttons left the selection alone; Delete asks only when rows are selected.
  EXPECT_FALSE(list.selectionModel()->hasSelection());
  QTest::keyClick(&list, Qt::Key_Delete);
  EXPECT_EQ(deletes.count(), 0);
  list.setCurrentCell(1, 0);
  QTest::keyClick(&list, Qt::Key_Delete);
  EXPECT_EQ(deletes.count(), 1);
}

}  // namespace
}  // namespace mivora::ui
