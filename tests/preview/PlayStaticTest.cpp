// The preview window on Qt's offscreen platform, playing real clips through
// the real player.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <QApplication>
#include <QMenu>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <chrono>
#include <thread>

#include "platform/ChildProcess.h"
#include "preview/PlayStatic.h"
#include "tests/platform/ProcessTable.h"
#include "tests/player/PlayerHarness.h"
#include "tests/support/TestEnvironment.h"
#include "tests/support/TestMedia.h"

namespace mivora {
namespace {

using namespace std::chrono;

class QtEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("SDL_AUDIODRIVER", "dummy");
    static int argc = 1;
    static char name[] = "preview_widget_tests";
    static char* argv[] = {name, nullptr};
    app_ = new QApplication(argc, argv);
  }
  void TearDown() override { delete app_; }

 private:
  QApplication* app_ = nullptr;
};
const auto* const kQt = ::testing::AddGlobalTestEnvironment(new QtEnvironment);

std::string Clip(const std::string& name, const test::ClipSpec& shape) {
  static std::string folder = test::MakeTempDir("clips");
  std::string path = folder + "/" + name;
  if (test::ReadFile(path).empty()) test::GenerateClip(path, shape);
  return path;
}

std::string LongClip() {
  return Clip("long.mp4", {.seconds = 20, .width = 64, .height = 48, .frameRate = 10, .audio = false});
}

std::vector<test::ProcessEntry> Players() {
  std::vector<test::ProcessEntry> players;
  for (const test::ProcessEntry& p : test::ChildrenOf(::getpid()))
    if (p.name == "playrun") players.push_back(p);
  return players;
}

bool IsBlack(const QImage& image) {
  for (int y = 0; y < image.height(); y += 4)
    for (int x = 0; x < image.width(); x += 4)
      if (qGray(image.pixel(x, y)) > 20) return false;
  return true;
}

// What the frame callback saw; it runs on the window's thread.
struct CallbackLog {
  std::thread::id thread;
  std::vector<std::string> md5s;
  int width = 0, height = 0;
  int calls = 0;
};
CallbackLog g_log;

int RecordFrame(int reserved, YuvPlanes* planes, int width, int height) {
  EXPECT_EQ(reserved, 0);
  g_log.thread = std::this_thread::get_id();
  g_log.width = width;
  g_log.height = height;
  ++g_log.calls;
  // The three planes lie one after the other in the block.
  EXPECT_EQ(planes->u, planes->y + width * height);
  EXPECT_EQ(planes->v, planes->u + width * height / 4);
  g_log.md5s.push_back(test::Md5Hex(planes->y, size_t(width) * height * 3 / 2));
  return 0;
}

class PlayStaticTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_log = {};
    window_.resize(320, 240);
    window_.show();
  }
  void TearDown() override {
    window_.Stop();
    EXPECT_TRUE(QTest::qWaitFor([] { return Players().empty(); }, 2000));
  }
  bool WaitForCalls(int calls, int timeoutMs = 5000) {
    return QTest::qWaitFor([&] { return g_log.calls >= calls; }, timeoutMs);
  }
  CPlayStatic window_;
};

TEST_F(PlayStaticTest, PlaysAClipAndPaintsEveryFrameOnTheWindowsThread) {
  const std::string clip = Clip("clip.mp4", {.seconds = 1.6, .width = 160, .height = 120, .frameRate = 25});
  const std::vector<std::string> expected = test::FfmpegFrameMd5s(clip);
  QSignalSpy ended(&window_, &CPlayStatic::playingEnded);
  QSignalSpy drawn(&window_, &CPlayStatic::frameDrawn);
  window_.m_pfnFrameCallback = &RecordFrame;
  window_.Play(clip.c_str());
  EXPECT_EQ(window_.m_bPlaying, 1);
  ASSERT_NE(window_.m_pszStatus, nullptr);
  ASSERT_TRUE(WaitForCalls(3));
  EXPECT_NE(std::string(window_.m_pszStatus).find("<160x120>"), std::string::npos);
  ASSERT_TRUE(ended.wait(10000));

  EXPECT_EQ(ended.at(0).at(0).toInt(), CPlayStatic::kPlayerEnded);
  EXPECT_EQ(g_log.thread, std::this_thread::get_id());
  EXPECT_EQ(g_log.width, 160);
  EXPECT_EQ(g_log.height, 120);
  EXPECT_EQ(g_log.md5s, expected);
  EXPECT_EQ(drawn.count(), int(expected.size()));
  // The last picture, scaled to the window.
  EXPECT_EQ(window_.Picture().size(), QSize(320, 240));
  EXPECT_FALSE(IsBlack(window_.Picture()));
  EXPECT_EQ(window_.m_bPlaying, 0);
  EXPECT_EQ(window_.m_pszStatus, nullptr);
  EXPECT_TRUE(Players().empty());
}

TEST_F(PlayStaticTest, PauseKeepsAStillFrameAndStopLeavesNoProcess) {
  window_.m_pfnFrameCallback = &RecordFrame;
  window_.Play(LongClip().c_str());
  ASSERT_TRUE(WaitForCalls(3));
  ASSERT_EQ(Players().size(), 1u);

  window_.Pause();
  EXPECT_EQ(window_.m_bPaused, 1);
  EXPECT_EQ(window_.StillFrame().size(), window_.size());
  EXPECT_FALSE(IsBlack(window_.StillFrame()));
  EXPECT_EQ(window_.grab().toImage().convertToFormat(QImage::Format_RGB32),
            window_.StillFrame().convertToFormat(QImage::Format_RGB32));
  QTest::qWait(200);  // a frame already on its way may still come
  const int callsWhilePaused = g_log.calls;
  QTest::qWait(400);
  EXPECT_EQ(g_log.calls, callsWhilePaused);

  window_.Pause();  // resume: frames again, the still frame is black
  EXPECT_EQ(window_.m_bPaused, 0);
  EXPECT_TRUE(IsBlack(window_.StillFrame()));
  EXPECT_TRUE(WaitForCalls(callsWhilePaused + 2));

  window_.Pause();
  const QImage still = window_.StillFrame();
  auto start = steady_clock::now();
  window_.Stop();
  EXPECT_LT(steady_clock::now() - start, milliseconds(CPlayStatic::kStopWaitMs));
  EXPECT_EQ(window_.m_bPlaying, 0);
  EXPECT_EQ(window_.m_pszStatus, nullptr);
  EXPECT_TRUE(Players().empty());
  // A pause followed by Stop keeps the paused picture.
  EXPECT_EQ(window_.StillFrame(), still);
  // Requests while idle write nothing and do nothing.
  window_.Seek(50);
  window_.Pause();
  window_.FullScreen();
  EXPECT_EQ(window_.m_bPaused, 1);
  EXPECT_EQ(window_.FullScreenWindow(), nullptr);
}

TEST_F(PlayStaticTest, PlayWhilePlayingReplacesThePlayer) {
  window_.m_pfnFrameCallback = &RecordFrame;
  window_.Play(LongClip().c_str());
  ASSERT_TRUE(WaitForCalls(1));
  ASSERT_EQ(Players().size(), 1u);
  const pid_t first = Players()[0].pid;
  const std::string other = Clip("other.mp4", {.seconds = 5, .width = 96, .height = 64, .frameRate = 10, .audio = false});
  window_.Play(other.c_str());
  EXPECT_TRUE(QTest::qWaitFor([&] { return g_log.width == 96; }, 5000));
  std::vector<test::ProcessEntry> players = Players();
  ASSERT_EQ(players.size(), 1u);
  EXPECT_NE(players[0].pid, first);
}

TEST_F(PlayStaticTest, SeekMovesThePlayer) {
  window_.m_pfnFrameCallback = &RecordFrame;
  window_.Play(LongClip().c_str());
  ASSERT_TRUE(WaitForCalls(1));
  window_.Seek(50);
  EXPECT_TRUE(QTest::qWaitFor([&] {
    return test::ParseStatus(window_.m_pszStatus ? window_.m_pszStatus : "").position >= 10000;
  }, 3000));
}

// Runs `body` and meanwhile, once, picks `choice` in whatever pop-up menu
// opens (none: closes it). Returns the menu's entries, empty when none opened.
QStringList WithPopupChoice(const QString& choice, const std::function<void()>& body) {
  QStringList entries;
  QTimer timer;
  timer.setInterval(20);
  QObject::connect(&timer, &QTimer::timeout, [&] {
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    if (!menu) return;
    timer.stop();
    for (QAction* action : menu->actions())
      entries << action->text() + (action->isChecked() ? " [x]" : "");
    for (QAction* action : menu->actions())
      if (action->text() == choice) {
        menu->setActiveAction(action);
        QTest::keyClick(menu, Qt::Key_Return);
        return;
      }
    menu->close();
  });
  timer.start();
  body();
  QTest::qWait(100);
  timer.stop();
  return entries;
}

TEST_F(PlayStaticTest, RightButtonMenuSwitchesBetweenTheFitModes) {
  QWidget parent;
  parent.resize(400, 300);
  CPlayStatic& window = *new CPlayStatic(&parent);
  parent.show();
  window.MoveWindow(10, 20, 300, 200);
  EXPECT_EQ(window.geometry(), QRect(10, 20, 300, 200));
  // No status text yet: no menu.
  QStringList entries = WithPopupChoice("", [&] { QTest::mouseClick(&window, Qt::RightButton); });
  EXPECT_TRUE(entries.isEmpty());
  EXPECT_EQ(window.m_nVideoWidth, 0);

  window.Play(LongClip().c_str());
  ASSERT_TRUE(QTest::qWaitFor([&] { return !window.Picture().isNull(); }, 5000));
  entries = WithPopupChoice("Fit for video", [&] { QTest::mouseClick(&window, Qt::RightButton); });
  EXPECT_EQ(entries, QStringList({"Fit for window [x]", "Fit for video"}));
  EXPECT_EQ(window.m_nVideoWidth, 64);
  EXPECT_EQ(window.m_nVideoHeight, 48);
  EXPECT_EQ(window.m_bFitVideo, 1);
  EXPECT_EQ(window.geometry(), QRect(10 + (300 - 64) / 2, 20 + (200 - 48) / 2, 64, 48));

  // A rectangle smaller than the video in one side is filled.
  struct Case {
    int width, height;
    QRect expected;
  };
  for (Case c : {Case{60, 200, QRect(0, 0, 60, 200)}, Case{300, 48, QRect(0, 0, 300, 48)},
                 Case{65, 49, QRect(0, 0, 64, 48)}}) {
    window.MoveWindow(0, 0, c.width, c.height);
    EXPECT_EQ(window.geometry(), c.expected);
  }
  window.MoveWindow(10, 20, 300, 200);
  entries = WithPopupChoice("Fit for window", [&] { QTest::mouseClick(&window, Qt::RightButton); });
  EXPECT_EQ(entries, QStringList({"Fit for window", "Fit for video [x]"}));
  EXPECT_EQ(window.m_bFitVideo, 0);
  EXPECT_EQ(window.geometry(), QRect(10, 20, 300, 200));
  window.Stop();
}

TEST_F(PlayStaticTest, FullScreenShowsThePictureUntilEscOrADoubleClick) {
  window_.Play(LongClip().c_str());
  ASSERT_TRUE(QTest::qWaitFor([&] { return !window_.Picture().isNull(); }, 5000));
  for (bool byKey : {true, false}) {
    window_.FullScreen();
    QWidget* view = window_.FullScreenWindow();
    ASSERT_NE(view, nullptr);
    EXPECT_TRUE(view->isFullScreen());
    // The frames are taken at the full-screen size while it is open, with
    // the clip's shape: as large as fits the view.
    EXPECT_TRUE(QTest::qWaitFor([&] {
      const QSize picture = window_.Picture().size();
      const bool fills = picture.width() == (view->width() & ~1) || picture.height() == (view->height() & ~1);
      return fills && std::abs(picture.width() * 3 - picture.height() * 4) <= 8;
    }, 3000)) << window_.Picture().width() << "x" << window_.Picture().height();
    if (byKey)
      QTest::keyClick(view, Qt::Key_Escape);
    else
      QTest::mouseDClick(view, Qt::LeftButton);
    EXPECT_TRUE(QTest::qWaitFor([&] { return window_.FullScreenWindow() == nullptr; }, 2000));
  }
  EXPECT_EQ(window_.m_bPlaying, 1);
}

TEST(PlayStaticLaunch, PtsOffsetAndAPlayerThatCannotStart) {
  struct Case {
    const char* path;
    int offset;
  };
  for (Case c : {Case{"/v/a.flv", 1000}, Case{"/v/A.FLV", 1000}, Case{"/v/a.Flv", 1000},
                 Case{"/v/a.flv.mp4", 0}, Case{"flv", 0}, Case{"/v/aflv", 0}, Case{"", 0}})
    EXPECT_EQ(CPlayStatic::PtsOffsetFor(c.path), c.offset) << c.path;

  std::atomic<int> stop{0};
  testing::internal::CaptureStdout();
  int result = CPlayStatic::PlayerLaunch("/nonexistent/playrun", "/v/a.mp4", stop, 5, 320, 240,
                                         "_scshare1");
  EXPECT_EQ(result, CPlayStatic::kPlayerNotStarted);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Lanuch process failed error=2\n");
  EXPECT_EQ(CPlayStatic::PlayerPath(), std::string(MIVORA_PROGRAM_DIR) + "/playrun");
}

TEST(PlayStaticHost, KillingTheHostLeavesNoPlayer) {
  const std::string host = std::string(MIVORA_TEST_BINARY_DIR) + "/preview/player_host";
  int fds[2];
  ASSERT_EQ(::pipe2(fds, O_CLOEXEC), 0);
  ChildOptions options;
  options.stdio.output = fds[1];
  options.environment = {"SDL_AUDIODRIVER=dummy"};
  auto child = ChildProcess::Start({host, LongClip()}, options);
  ::close(fds[1]);
  ASSERT_TRUE(child);
  char buffer[16] = {};
  ASSERT_GT(::read(fds[0], buffer, sizeof buffer - 1), 0);  // "playing"
  ::close(fds[0]);
  std::vector<test::ProcessEntry> players;
  for (const test::ProcessEntry& p : test::ChildrenOf(child->Pid()))
    if (p.name == "playrun") players.push_back(p);
  ASSERT_EQ(players.size(), 1u);
  // Killed without a chance to stop anything: the player must notice alone.
  child->Signal(SIGKILL);
  child->Wait();
  EXPECT_TRUE(QTest::qWaitFor([&] { return ::kill(players[0].pid, 0) != 0; }, 3000));
}

}  // namespace
}  // namespace mivora
