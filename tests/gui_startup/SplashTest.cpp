// The splash: its frames in order, held on the last one, and never gone
// before 3.1 seconds even when the main window is ready at once.

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QTest>

#include "app/startup/CSplashWnd.h"

namespace mivora {
namespace {

TEST(Splash, PlaysItsFramesAndStaysAtLeastThreePointOneSeconds) {
  CSplashWnd splash;
  EXPECT_EQ(splash.size(), QSize(600, 132));
  EXPECT_EQ(splash.windowTitle(), QStringLiteral("Mivora"));
  EXPECT_TRUE(splash.testAttribute(Qt::WA_TranslucentBackground));
  EXPECT_TRUE(splash.windowFlags() & Qt::WindowStaysOnTopHint);

  QList<int> frames;
  QTimer watch;
  QObject::connect(&watch, &QTimer::timeout, [&] {
    if (frames.isEmpty() || frames.last() != splash.CurrentFrame()) frames << splash.CurrentFrame();
  });
  watch.start(5);
  QElapsedTimer clock;
  clock.start();
  splash.Start();
  EXPECT_FALSE(splash.Ready());
  splash.CloseSplash();  // the main window was ready at once
  EXPECT_GE(clock.elapsed(), CSplashWnd::kMinimumShownMs);
  EXPECT_LT(clock.elapsed(), CSplashWnd::kMinimumShownMs + 1500);
  EXPECT_TRUE(splash.Ready());
  EXPECT_FALSE(splash.isVisible());
  EXPECT_EQ(frames, (QList<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
}

}  // namespace
}  // namespace mivora
