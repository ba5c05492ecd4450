// The editor's panes show what a screen shows, from the moment the editor
// opens: the first frame before Play, the last one after the end, the
// source with its shape, TV-range black and white as black and white, and
// a PQ clip that names no colours.
#include <gtest/gtest.h>

#include <QTest>

#include <cmath>
#include <cstdlib>

#include "app/editor/EditorPanes.h"
#include "app/editor/EditorWindow.h"
#include "app/editor/TransportControls.h"
#include "preview/PlayStatic.h"
#include "tests/gui_editor/EditorTestSupport.h"
#include "tests/support/GuiTestSupport.h"
#include "tests/support/Mp4Rotation.h"
#include "tests/support/RealSourceMedia.h"
#include "tests/support/TestEnvironment.h"
#include "tests/support/TestMedia.h"
#include "tools/colour/ColourRule.h"
#include "ui/CGPImageButton.h"

namespace mivora {
namespace {

using test::WaitUntil;

// What the left pane shows on the screen.
QImage LeftPane(EditorWindow& editor) { return editor.Player()->grab().toImage(); }

double MeanLevel(const QImage& image, const QRect& area) {
  double sum = 0;
  for (int y = area.top(); y <= area.bottom(); ++y)
    for (int x = area.left(); x <= area.right(); ++x) {
      const QRgb p = image.pixel(x, y);
      sum += (qRed(p) + qGreen(p) + qBlue(p)) / 3.0;
    }
  return sum / (area.width() * area.height());
}

std::unique_ptr<EditorWindow> OpenEditor(SourceList& list) {
  auto editor = std::make_unique<EditorWindow>(list, 0);
  editor->show();
  EXPECT_TRUE(QTest::qWaitForWindowExposed(editor.get()));
  return editor;
}

std::string MakeClip(const std::string& name, const std::vector<std::string>& args) {
  const std::string path = test::MakeTempDir("panes") + "/" + name;
  std::vector<std::string> argv = {"ffmpeg", "-v", "error", "-nostdin", "-y"};
  argv.insert(argv.end(), args.begin(), args.end());
  argv.push_back("file:" + path);
  test::CommandResult made = test::RunCommand(argv);
  EXPECT_EQ(made.exitCode, 0) << made.output;
  return path;
}

// Before Play the first frame is in both panes (the player still idle);
// after the end the last frame stays. A 0.1 s clip shows its picture too.
TEST(EditorPanes, ShowTheFirstFrameOnOpeningAndKeepTheLastAtTheEnd) {
  for (double seconds : {1.0, 0.1}) {
    SCOPED_TRACE(seconds);
    auto list = test::ListWithSource(test::EditorClip("short" + std::to_string(seconds), seconds));
    auto editor = OpenEditor(*list);
    ASSERT_TRUE(WaitUntil([&] { return editor->FramesRendered() >= 1; }, 10000)) << "no first frame";
    EXPECT_EQ(editor->Player()->m_bPlaying, 0) << "nothing plays";
    const QRect picture = editor->Player()->PictureRect();
    ASSERT_TRUE(WaitUntil([&] { return MeanLevel(LeftPane(*editor), picture) > 40; }, 5000))
        << "the left pane is black before Play";
    EXPECT_GT(MeanLevel(editor->RightPane()->Picture(), editor->RightPane()->Picture().rect()), 40);

    QTest::mouseClick(editor->Transport()->PlayPauseButton(), Qt::LeftButton);
    ASSERT_TRUE(WaitUntil([&] { return editor->Player()->m_bPlaying == 0 && editor->FramesRendered() >= 2; },
                          15000))
        << "the clip did not play to its end";
    QTest::qWait(50);
    EXPECT_GT(MeanLevel(LeftPane(*editor), picture), 40) << "the left pane went black at the end";
  }
}

// A portrait phone clip (1920x1080 turned a quarter, no sample aspect) lies
// in the landscape pane upright with its shape, black beside it; an
// anamorphic 720x576 clip shows 16:9.
TEST(EditorPanes, TheLeftPaneShowsTheSourceWithItsShape) {
  struct Case {
    const char* name;
    double aspect;  // shown width / height
  };
  const std::string portrait = test::MakeTempDir("portrait") + "/phone.mp4";
  test::GenerateRotatedClip(portrait, {.seconds = 0.5, .width = 1920, .height = 1080, .frameRate = 10}, 90);
  const std::string anamorphic =
      MakeClip("anamorphic.mp4", {"-f", "lavfi", "-i", "testsrc2=size=720x576:rate=10:duration=0.5", "-c:v",
                                  "libx264", "-aspect", "16:9"});
  for (auto [path, aspect] : {std::pair{portrait, 1080.0 / 1920}, std::pair{anamorphic, 16.0 / 9}}) {
    SCOPED_TRACE(path);
    auto list = test::ListWithSource(path);
    auto editor = OpenEditor(*list);
    ASSERT_TRUE(WaitUntil([&] { return editor->FramesRendered() >= 1; }, 20000)) << "no first frame";
    const QRect pane = editor->Player()->rect(), picture = editor->Player()->PictureRect();
    EXPECT_NEAR(double(picture.width()) / picture.height(), aspect, 0.02);
    EXPECT_TRUE(pane.contains(picture));
    EXPECT_TRUE(picture.width() == pane.width() || picture.height() == pane.height()) << "as large as it fits";
    EXPECT_NEAR(picture.center().x(), pane.center().x(), 1);
    const QImage shown = LeftPane(*editor);
    EXPECT_GT(MeanLevel(shown, picture.adjusted(2, 2, -2, -2)), 40);
    if (picture.left() > 2) {
      EXPECT_LT(MeanLevel(shown, QRect(0, 0, picture.left() - 1, pane.height())), 1) << "black beside it";
    }
  }
}

// TV-range black (16) and white (235) are black and white in both panes.
TEST(EditorPanes, TvRangeBlackAndWhiteAreBlackAndWhite) {
  const std::string clip = MakeClip(
      "levels.mp4", {"-f", "lavfi", "-i", "nullsrc=size=320x240:rate=10,geq=lum='if(lt(X,160),16,235)':cb=128:cr=128",
                     "-t", "0.5", "-c:v", "libx264", "-qp", "0", "-pix_fmt", "yuv420p"});
  auto list = test::ListWithSource(clip);
  auto editor = OpenEditor(*list);
  ASSERT_TRUE(WaitUntil([&] { return editor->FramesRendered() >= 1; }, 10000)) << "no first frame";
  const QRect picture = editor->Player()->PictureRect();
  QImage left;
  ASSERT_TRUE(WaitUntil([&] {
    left = LeftPane(*editor);
    return MeanLevel(left, QRect(picture.right() - 20, 10, 10, 10)) > 200;
  }, 5000));
  // The right pane draws the output's frame; the picture lies inside it.
  const QImage right = editor->RightPane()->Picture();
  const QRect output = editor->FrameHandler().PictureInPane();
  for (const auto& [image, area] : {std::pair{left, picture}, std::pair{right, output}}) {
    const QRect blackSide(area.left() + 10, area.top() + 10, area.width() / 2 - 20, area.height() - 20);
    const QRect whiteSide(area.center().x() + 10, area.top() + 10, area.width() / 2 - 20, area.height() - 20);
    for (int y = blackSide.top(); y <= blackSide.bottom(); y += 7)
      for (int x = blackSide.left(); x <= blackSide.right(); x += 7) ASSERT_LE(qGreen(image.pixel(x, y)), 4);
    for (int y = whiteSide.top(); y <= whiteSide.bottom(); y += 7)
      for (int x = whiteSide.left(); x <= whiteSide.right(); x += 7) ASSERT_GE(qGreen(image.pixel(x, y)), 250);
  }
}

// A PQ clip that names no primaries and no matrix shows in both panes, as
// the engine maps it (ffmpeg's own decode through the same chain).
TEST(EditorPanes, AnUntaggedPqClipShowsInBothPanesAsTheFileHoldsIt) {
  const std::string clip = test::MakeTempDir("pq") + "/untagged-pq.mp4";
  test::GenerateHdrClip(clip, test::HdrTransfer::kPq, 0.5, /*namesColours=*/false);
  auto list = test::ListWithSource(clip);
  auto editor = OpenEditor(*list);
  ASSERT_TRUE(WaitUntil([&] { return editor->FramesRendered() >= 1; }, 20000)) << "the panes stay empty";
  const QImage right = editor->RightPane()->Picture();
  // The right pane draws the output's frame; the picture lies inside it.
  const QRect picture = editor->FrameHandler().PictureInPane();
  ASSERT_TRUE(right.rect().contains(picture));
  ASSERT_GT(picture.width(), 100);
  // The engine's picture of the first frame, at the picture's size.
  const std::string reference = test::MakeTempDir("pq") + "/first.rgb";
  const std::string size = std::to_string(picture.width()) + ":" + std::to_string(picture.height());
  test::CommandResult decoded = test::RunCommand(
      {"ffmpeg", "-v", "error", "-nostdin", "-y", "-i", "file:" + clip, "-vf",
       colour::ToneMapChain(true, true) + ",scale=" + size + ":in_range=tv:in_color_matrix=bt709,format=rgb24",
       "-frames:v", "1", "-f", "rawvideo", "file:" + reference});
  ASSERT_EQ(decoded.exitCode, 0) << decoded.output;
  const std::string rgb = test::ReadFile(reference);
  ASSERT_EQ(rgb.size(), size_t(picture.width()) * picture.height() * 3);
  const QImage engine(reinterpret_cast<const uchar*>(rgb.data()), picture.width(), picture.height(),
                      picture.width() * 3, QImage::Format_RGB888);
  if (const char* dump = std::getenv("EDITOR_PANES_DUMP")) {
    right.save(QString("%1/pq-pane.png").arg(dump));
    engine.save(QString("%1/pq-engine.png").arg(dump));
  }
  // The colours of the six bars, below the moving parts (the scalers place
  // edges a pixel apart, so whole pictures are not compared).
  for (int bar = 0; bar < 6; ++bar) {
    const QRect patch((27 + 53 * bar) * picture.width() / 320 - 3, 175 * picture.height() / 200, 6, 8);
    for (int channel = 0; channel < 3; ++channel) {
      auto mean = [&](const QImage& image, QPoint offset) {
        double sum = 0;
        for (int y = patch.top(); y <= patch.bottom(); ++y)
          for (int x = patch.left(); x <= patch.right(); ++x) {
            const QRgb p = image.pixel(x + offset.x(), y + offset.y());
            sum += channel == 0 ? qRed(p) : channel == 1 ? qGreen(p) : qBlue(p);
          }
        return sum / (patch.width() * patch.height());
      };
      EXPECT_NEAR(mean(right, picture.topLeft()), mean(engine, QPoint()), 6) << "bar " << bar << " channel " << channel;
    }
  }
  EXPECT_GT(MeanLevel(LeftPane(*editor), editor->Player()->PictureRect()), 20) << "the left pane shows it too";
}

}  // namespace
}  // namespace mivora
