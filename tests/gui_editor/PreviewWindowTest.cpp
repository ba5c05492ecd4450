#include <gtest/gtest.h>

#include <QLabel>
#include <QSlider>
#include <QTest>
#include <QTimer>

#include "app/editor/PreviewWindow.h"
#include "app/editor/TransportControls.h"
#include "preview/PlayStatic.h"
#include "tests/gui_editor/EditorTestSupport.h"
#include "tests/support/GuiTestSupport.h"
#include "tests/support/TestEnvironment.h"
#include "ui/CGPImageButton.h"

namespace mivora {
namespace {

using test::WaitUntil;

TEST(PreviewWindowTest, PlaysAtOncePausesResumesStopsAndShowsTheEnd) {
  PreviewWindow preview(test::EditorClip());
  EXPECT_EQ(preview.size(), QSize(438, 299));
  EXPECT_EQ(preview.Title(), "Preview");
  preview.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&preview));
  TransportControls& transport = *preview.Transport();
  CPlayStatic& player = *preview.Player();
  EXPECT_EQ(player.geometry(), QRect(9, 28, 419, 232));
  EXPECT_TRUE(player.m_bPlaying);
  EXPECT_EQ(transport.PlayPauseButton()->toolTip(), "Pause");
  EXPECT_TRUE(transport.Slider()->isEnabled());
  EXPECT_EQ(player.m_pfnFrameCallback, nullptr);
  ASSERT_TRUE(WaitUntil([&] { return !player.Picture().isNull(); })) << "no frame painted";

  // The one-second timer shows the player's clock and moves the slider.
  ASSERT_TRUE(WaitUntil([&] { return transport.TimeLabel()->text() == "0:00:01"; }, 5000));
  EXPECT_GE(transport.Slider()->value(), 30);

  QTest::mouseClick(transport.PlayPauseButton(), Qt::LeftButton);  // pause
  EXPECT_EQ(transport.PlayPauseButton()->toolTip(), "Play");
  EXPECT_FALSE(transport.Timer()->isActive());
  EXPECT_TRUE(player.m_bPaused);
  QTest::mouseClick(transport.PlayPauseButton(), Qt::LeftButton);  // resume
  EXPECT_EQ(transport.PlayPauseButton()->toolTip(), "Pause");
  EXPECT_TRUE(transport.Timer()->isActive());

  QTest::mouseClick(transport.StopButton(), Qt::LeftButton);
  EXPECT_FALSE(player.m_bPlaying);
  EXPECT_EQ(transport.TimeLabel()->text(), "0:00:00");
  EXPECT_EQ(transport.Slider()->value(), 0);
  EXPECT_EQ(transport.PlayPauseButton()->toolTip(), "Play");

  // Played again to its end, the timer returns everything to the stopped look.
  QTest::mouseClick(transport.PlayPauseButton(), Qt::LeftButton);
  EXPECT_TRUE(player.m_bPlaying);
  ASSERT_TRUE(WaitUntil([&] { return !transport.Timer()->isActive(); }, 8000));
  EXPECT_FALSE(player.m_bPlaying);
  EXPECT_EQ(transport.TimeLabel()->text(), "0:00:00");
  EXPECT_EQ(transport.Slider()->value(), 0);
  EXPECT_EQ(transport.PlayPauseButton()->toolTip(), "Play");

  preview.reject();  // closing stops the player
  EXPECT_FALSE(player.m_bPlaying);
}

TEST(PreviewWindowTest, TheSliderHandleFollowsTheMouseWhileItIsDragged) {
  PreviewWindow preview(test::EditorClip());
  preview.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&preview));
  TransportControls& transport = *preview.Transport();
  QSlider& slider = *transport.Slider();
  ASSERT_TRUE(WaitUntil([&] { return slider.value() >= 10; }, 5000));
  EXPECT_GE(test::LowestPositionWhileDragged(slider, 85), 75);
  preview.reject();
}

TEST(PreviewWindowTest, AFileThatCannotPlayEndsInTheStoppedLook) {
  const std::string broken = test::MakeTempDir("broken") + "/broken.mp4";
  test::WriteFile(broken, "not a video");
  PreviewWindow preview(broken);
  preview.show();
  TransportControls& transport = *preview.Transport();
  ASSERT_TRUE(WaitUntil([&] { return !transport.Timer()->isActive(); }, 5000));
  EXPECT_EQ(transport.TimeLabel()->text(), "0:00:00");
  EXPECT_EQ(transport.PlayPauseButton()->toolTip(), "Play");
  // Not a black window without a word: it says why.
  ASSERT_TRUE(WaitUntil([&] { return !preview.Problem().isEmpty(); }, 5000));
  EXPECT_EQ(preview.Problem().toStdString(), PreviewProblemMessage(FailureKind::kSourceDamaged));
  preview.reject();
}

TEST(PreviewWindowTest, SaysWhyAFileGoneOrWithoutAPictureDoesNotShow) {
  PreviewWindow gone(test::MakeTempDir("gone") + "/deleted.mp4");
  gone.show();
  EXPECT_EQ(gone.Problem().toStdString(), PreviewProblemMessage(FailureKind::kSourceMissing));
  EXPECT_FALSE(gone.Player()->m_bPlaying);  // nothing is started for it
  gone.reject();

  PreviewWindow playing(test::EditorClip());
  playing.show();
  EXPECT_TRUE(playing.Problem().isEmpty());
  playing.reject();

  PreviewWindow soundOnly(test::EditorClip(), nullptr, /*hasPicture=*/false);
  soundOnly.show();
  EXPECT_EQ(soundOnly.Problem().toStdString(), PreviewProblemMessage(FailureKind::kNoPicture));
  soundOnly.reject();
}

}  // namespace
}  // namespace mivora
