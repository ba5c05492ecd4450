// The editor works in the source frame as shown (probed size, sides
// exchanged for a turned track), whatever size the player's frames arrive
// at: a portrait phone clip crops on its upright axes, and a 4K source's
// edits stay in 4K pixels before and after Play although its frames reach
// the window scaled down.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QSpinBox>
#include <QTest>

#include "app/editor/EditorPages.h"
#include "app/editor/EditorPanes.h"
#include "app/editor/EditorWindow.h"
#include "app/editor/TransportControls.h"
#include "preview/PlayStatic.h"
#include "tests/gui_editor/EditorTestSupport.h"
#include "tests/support/GuiTestSupport.h"
#include "tests/support/Mp4Rotation.h"
#include "tests/support/TestEnvironment.h"
#include "tests/support/TestMedia.h"
#include "ui/CGPImageButton.h"

namespace mivora {
namespace {

using test::WaitUntil;

struct CropRecord {
  int enabled, left, top, right, bottom;
  bool operator==(const CropRecord&) const = default;
};

std::ostream& operator<<(std::ostream& out, const CropRecord& r) {
  return out << "{" << r.enabled << ": " << r.left << "," << r.top << " - " << r.right << "," << r.bottom << "}";
}

class EditorGeometryTest : public ::testing::Test {
 protected:
  void Open(SourceList& list) {
    editor_ = std::make_unique<EditorWindow>(list, 0);
    editor_->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(editor_.get()));
    // The first frame comes at once and places the picture in the pane.
    ASSERT_TRUE(WaitUntil([&] { return editor_->FramesRendered() >= 1; }, 20000)) << "no first frame";
  }
  void PlayUntilFrames(quint64 frames) {
    QTest::mouseClick(editor_->Transport()->PlayPauseButton(), Qt::LeftButton);
    ASSERT_TRUE(WaitUntil([&] { return editor_->FramesRendered() >= frames; }, 20000))
        << "no frame reached the right pane";
  }
  QWidget* Page(int page) {
    QTest::mouseClick(editor_->TabButton(page), Qt::LeftButton);
    return editor_->PageAt(page);
  }
  // The text page with its controls switched on.
  QWidget* TextPage() {
    QWidget* page = Page(EditorWindow::kTextPage);
    auto* enable = page->findChild<QCheckBox*>(QStringLiteral("enable"));
    EXPECT_NE(enable, nullptr);
    if (enable && !enable->isChecked()) QTest::mouseClick(enable, Qt::LeftButton);
    return page;
  }
  QSpinBox* Spin(QWidget* page, const char* name) {
    auto* box = page->findChild<QSpinBox*>(QString::fromLatin1(name));
    EXPECT_NE(box, nullptr) << name;
    return box;
  }
  // Types a number as a user does: select, type, Enter.
  void TypeInto(QSpinBox* box, int value) {
    box->setFocus();
    box->selectAll();
    QTest::keyClicks(box, QString::number(value));
    QTest::keyClick(box, Qt::Key_Return);
  }
  // Draws the band on the left pane's picture with the mouse, corner to
  // corner (points on the picture).
  void DrawBand(QPoint from, QPoint to) {
    QWidget* leftPane = editor_->Player();
    const QPoint picture = editor_->Player()->PictureRect().topLeft();
    QTest::mousePress(leftPane, Qt::LeftButton, {}, picture + from);
    QTest::mouseMove(leftPane, picture + (from + to) / 2);
    QTest::mouseRelease(leftPane, Qt::LeftButton, {}, picture + to);
  }
  CropRecord Crop() const {
    const EditSettings& w = editor_->Model().Working();
    return {w.cropEnabled, w.cropLeft, w.cropTop, w.cropRight, w.cropBottom};
  }
  std::unique_ptr<EditorWindow> editor_;
};

TEST_F(EditorGeometryTest, PortraitPhoneClipCropsOnItsUprightAxes) {
  const std::string clip = test::MakeTempDir("portrait") + "/phone.mp4";
  test::GenerateRotatedClip(clip, {.seconds = 1.0, .width = 1280, .height = 720, .frameRate = 10}, 90);
  auto list = test::ListWithSource(clip);
  Open(*list);
  EXPECT_EQ(editor_->Model().FrameWidth(), 720);
  EXPECT_EQ(editor_->Model().FrameHeight(), 1280);
  QWidget* crop = Page(EditorWindow::kCropPage);
  EXPECT_EQ(Spin(crop, "cropWidth")->value(), 720);
  EXPECT_EQ(Spin(crop, "cropHeight")->value(), 1280);
  TypeInto(Spin(crop, "cropHeight"), 1200);
  EXPECT_EQ(Spin(crop, "cropHeight")->value(), 1200) << "the upright height is the limit";

  // The right half of the pane, drawn before and after Play: the same crop,
  // in upright source pixels, and the frames arrive upright.
  const QSize pane = editor_->Player()->PictureRect().size();
  DrawBand(QPoint(pane.width() / 2, 0), QPoint(pane.width(), pane.height()));
  const CropRecord before = Crop();
  EXPECT_EQ(before, (CropRecord{1, 360, 0, 720, 1280}));
  PlayUntilFrames(3);
  EXPECT_EQ(editor_->FrameHandler().FrameWidth(), 720);
  EXPECT_EQ(editor_->FrameHandler().FrameHeight(), 1280);
  DrawBand(QPoint(pane.width() / 2, 0), QPoint(pane.width(), pane.height()));
  EXPECT_EQ(Crop(), before);
  TypeInto(Spin(TextPage(), "textTop"), 1100);
  EXPECT_EQ(editor_->Model().Working().textTop, 1100) << "text positions are upright too";
}

TEST_F(EditorGeometryTest, FourKSourceKeepsItsEditsInSourcePixelsBeforeAndAfterPlay) {
  const std::string clip = test::MakeTempDir("uhd") + "/uhd.mp4";
  test::GenerateClip(clip, {.seconds = 1.0, .width = 3840, .height = 2160, .frameRate = 10, .audio = false});
  auto list = test::ListWithSource(clip);
  Open(*list);
  QWidget* crop = Page(EditorWindow::kCropPage);
  const QPoint from(40, 30), to(200, 150);
  DrawBand(from, to);
  const CropRecord before = Crop();
  const QSize pane = editor_->Player()->PictureRect().size();
  EXPECT_EQ(before.left, qRound(40.0 * 3840 / pane.width()));
  EXPECT_EQ(before.bottom, before.top + qRound(120.0 * 2160 / pane.height()));

  PlayUntilFrames(3);
  ASSERT_LT(editor_->FrameHandler().FrameWidth(), 3840) << "the frames arrive scaled down";
  EXPECT_EQ(editor_->Model().FrameWidth(), 3840);
  EXPECT_EQ(editor_->Model().FrameHeight(), 2160);
  EXPECT_EQ(Crop(), before) << "Play leaves the record alone";
  EXPECT_EQ(editor_->Band()->Band(), editor_->Model().CropBand(pane.width(), pane.height()));
  DrawBand(from, to);
  EXPECT_EQ(Crop(), before) << "the same band after Play gives the same record";
  TypeInto(Spin(crop, "cropWidth"), 3840);
  EXPECT_EQ(Crop().right, 3840) << "the crop reaches the source's right edge";

  // Text and picture limits are the source's too.
  TypeInto(Spin(TextPage(), "textLeft"), 3000);
  EXPECT_EQ(editor_->Model().Working().textLeft, 3000);
  EXPECT_EQ(editor_->Model().ChoosePicture(test::WritePng("wide", 2400, 100, 0x00FF00), 2400, 100),
            EditorModel::PictureChoice::kAccepted);
}

}  // namespace
}  // namespace mivora
