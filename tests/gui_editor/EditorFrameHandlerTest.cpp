#include <gtest/gtest.h>

#include <QColor>
#include <QImage>

#include <cstring>

#include "app/editor/EditorFrameHandler.h"
#include "common/Log.h"
#include "tests/support/TestEnvironment.h"

namespace mivora {
namespace {

// A frame whose top `whiteRows` rows are white and the rest black; chroma neutral.
YuvFrame Bands(int width, int height, int whiteRows, int whiteColumns) {
  YuvFrame frame(width, height);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      frame.Y()[y * width + x] = (y < whiteRows && x < whiteColumns) ? 235 : 16;
  std::memset(frame.U(), 128, frame.chromaBytes());
  std::memset(frame.V(), 128, frame.chromaBytes());
  return frame;
}

void Render(EditorFrameHandler& handler, const EditSettings& edits, YuvFrame& frame, QSize pane) {
  YuvPlanes planes{frame.Y(), frame.U(), frame.V()};
  handler.Render(edits, planes, frame.width(), frame.height(), pane);
}

int Luma(const QImage& image, int x, int y) { return qGray(image.pixel(x, y)); }

TEST(EditorFrameHandlerTest, PaneSidesAreCutToMultiplesOfEight) {
  EditorFrameHandler handler;
  YuvFrame frame = Bands(720, 480, 240, 720);
  Render(handler, EditSettings{}, frame, QSize(327, 205));
  EXPECT_EQ(handler.Picture().size(), QSize(320, 200));
  EXPECT_EQ(handler.FrameWidth(), 720);
  EXPECT_EQ(handler.FrameHeight(), 480);
  EXPECT_GT(Luma(handler.Picture(), 160, 10), 200);   // top half white
  EXPECT_LT(Luma(handler.Picture(), 160, 190), 40);   // bottom half black
  Render(handler, EditSettings{}, frame, QSize(7, 200));  // no width left: nothing drawn
  EXPECT_EQ(handler.Picture().size(), QSize(320, 200));
}

TEST(EditorFrameHandlerTest, ScalingContextIsRebuiltForCropAndSizeChangesOnly) {
  EditorFrameHandler handler;
  YuvFrame frame = Bands(320, 240, 120, 160);
  EditSettings edits;
  const QSize pane(320, 200);
  Render(handler, edits, frame, pane);
  EXPECT_EQ(handler.ContextsMade(), 1);

  edits.effectsEnabled = 1;
  edits.effect = kEffectInvert;
  edits.contrast = edits.saturation = 100;
  Render(handler, edits, frame, pane);
  EXPECT_EQ(handler.ContextsMade(), 1) << "an effect does not touch the scaling";

  edits.cropEnabled = 1;
  edits.cropLeft = 0, edits.cropTop = 0, edits.cropRight = 160, edits.cropBottom = 120;
  Render(handler, edits, frame, pane);
  EXPECT_EQ(handler.ContextsMade(), 2);
  Render(handler, edits, frame, pane);
  EXPECT_EQ(handler.ContextsMade(), 2);
  // The crop shows the white quadrant over the whole pane, inverted to black.
  EXPECT_LT(Luma(handler.Picture(), 160, 100), 40);

  edits.cropRight = 10;  // a region of 16 pixels or less keeps the context
  Render(handler, edits, frame, pane);
  EXPECT_EQ(handler.ContextsMade(), 2);

  YuvFrame larger = Bands(640, 480, 240, 320);  // the source's size changed
  Render(handler, edits, larger, pane);
  EXPECT_EQ(handler.ContextsMade(), 3);
  EXPECT_EQ(handler.FrameWidth(), 640);
}

TEST(EditorFrameHandlerTest, EffectsAndStereoApplyInOrder) {
  EditorFrameHandler handler;
  YuvFrame frame = Bands(320, 240, 120, 320);
  EditSettings edits;
  edits.effectsEnabled = 1;
  edits.flipVertical = 1;
  edits.contrast = edits.saturation = 100;
  Render(handler, edits, frame, QSize(320, 200));
  EXPECT_LT(Luma(handler.Picture(), 160, 10), 40) << "the vertical flip puts the white half at the bottom";
  EXPECT_GT(Luma(handler.Picture(), 160, 190), 200);

  edits.brightness = -100;  // colour after the flip: everything darkened
  Render(handler, edits, frame, QSize(320, 200));
  EXPECT_LT(Luma(handler.Picture(), 160, 190), 160);

  EditSettings stereo;
  stereo.stereoEnabled = 1;
  stereo.stereoMode = kStereoSideBySide;
  stereo.stereoDepth = 0;
  YuvFrame left = Bands(320, 240, 240, 160);  // white left half
  Render(handler, stereo, left, QSize(320, 200));
  // Side by side: each half holds the picture at half width.
  EXPECT_GT(Luma(handler.Picture(), 40, 100), 200);
  EXPECT_LT(Luma(handler.Picture(), 120, 100), 40);
  EXPECT_GT(Luma(handler.Picture(), 200, 100), 200);
}

// The pane shows the output's frame with its shape: a portrait picture in
// its turned box, a 4:3 picture in a 16:9 disc frame with bars beside it;
// the rest of the pane stays black.
TEST(EditorFrameHandlerTest, ThePaneShowsTheOutputFrameWithItsShape) {
  EditorFrameHandler handler;
  YuvFrame portrait = Bands(90, 160, 160, 90);  // white
  handler.SetOutputFormat(FrameFormat{640, 480, 0, 0, false, 2});
  Render(handler, EditSettings{}, portrait, QSize(320, 200));
  EXPECT_EQ(handler.Output().width, 360);
  EXPECT_EQ(handler.Output().height, 640);
  EXPECT_EQ(handler.FrameInPane(), QRect(104, 0, 112, 200));
  EXPECT_EQ(handler.PictureInPane(), handler.FrameInPane());
  EXPECT_EQ(Luma(handler.Picture(), 50, 100), 0);
  EXPECT_GT(Luma(handler.Picture(), 160, 100), 200);

  YuvFrame standard = Bands(160, 120, 120, 160);
  handler.SetOutputFormat(FrameFormat{720, 480, 16, 9, true, 2});
  Render(handler, EditSettings{}, standard, QSize(320, 200));
  EXPECT_EQ(handler.FrameInPane(), QRect(0, 10, 320, 180));
  EXPECT_EQ(handler.PictureInPane(), QRect(40, 10, 240, 180));
  EXPECT_EQ(Luma(handler.Picture(), 160, 5), 0) << "outside the frame";
  EXPECT_LE(Luma(handler.Picture(), 20, 100), 16) << "a bar: the engine's black";
  EXPECT_GT(Luma(handler.Picture(), 160, 100), 200);
}

// Rows of the picture holding a pixel close to `colour`.
int RowsWith(const QImage& image, QColor colour) {
  int rows = 0;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) {
      QColor c = image.pixelColor(x, y);
      if (std::abs(c.red() - colour.red()) + std::abs(c.green() - colour.green()) +
              std::abs(c.blue() - colour.blue()) < 60) {
        ++rows;
        break;
      }
    }
  return rows;
}

TEST(EditorFrameHandlerTest, TextIsScaledWithThePane) {
  EditorFrameHandler handler;
  YuvFrame frame = Bands(1920, 1080, 0, 0);  // black
  EditSettings edits;
  edits.textEnabled = 1;
  edits.watermarkText = "HELLO";
  edits.fontFace = "DejaVu Sans";
  edits.fontSize = 216;  // a fifth of the frame's height
  edits.textColor = 0x0000FF;  // red
  edits.textAlpha = 255;       // opaque (0 draws nothing, as in the output)
  edits.textLeft = 960, edits.textTop = 540;
  Render(handler, edits, frame, QSize(320, 200));
  const QImage& pane = handler.Picture();
  int rows = RowsWith(pane, Qt::red);
  EXPECT_GT(rows, 15);
  EXPECT_LT(rows, 60) << "a fifth of the frame is a fifth of the pane, not 216 rows";
  // It starts at the scaled position: nothing red left of x = 160 or above y = 100.
  for (int y = 0; y < 200; ++y)
    for (int x = 0; x < 150; ++x) ASSERT_NE(pane.pixelColor(x, y), QColor(Qt::red)) << x << "," << y;
}

TEST(EditorFrameHandlerTest, PictureIsScaledPlacedAndKeptInsideThePane) {
  const std::string path = test::MakeTempDir("picture") + "/logo.png";
  QImage logo(64, 32, QImage::Format_RGB32);
  logo.fill(QColor(0, 255, 0));
  ASSERT_TRUE(logo.save(QString::fromStdString(path)));

  EditorFrameHandler handler;
  YuvFrame frame = Bands(640, 400, 0, 0);  // black, pane = half size
  EditSettings edits;
  edits.pictureEnabled = 1;
  edits.picturePath = path;
  edits.pictureWidth = 64, edits.pictureHeight = 32;
  edits.pictureLeft = 100, edits.pictureTop = 40;
  Render(handler, edits, frame, QSize(320, 200));
  const QImage& pane = handler.Picture();
  EXPECT_EQ(pane.pixelColor(50 + 16, 20 + 8), QColor(0, 255, 0));
  EXPECT_NE(pane.pixelColor(48, 20), QColor(0, 255, 0));
  EXPECT_NE(pane.pixelColor(50 + 33, 20 + 8), QColor(0, 255, 0)) << "half width on a half-size pane";

  // At the frame's right and bottom edge it is moved in to touch the pane's edges.
  edits.pictureLeft = 639, edits.pictureTop = 399;
  Render(handler, edits, frame, QSize(320, 200));
  EXPECT_EQ(handler.Picture().pixelColor(319, 199), QColor(0, 255, 0));
  EXPECT_EQ(handler.Picture().pixelColor(288, 184), QColor(0, 255, 0));
  EXPECT_NE(handler.Picture().pixelColor(286, 182), QColor(0, 255, 0));

  // With a crop, positions and sizes map through the cropped region.
  edits.cropEnabled = 1;
  edits.cropLeft = 320, edits.cropTop = 200, edits.cropRight = 640, edits.cropBottom = 400;
  edits.pictureLeft = 320, edits.pictureTop = 200;
  Render(handler, edits, frame, QSize(320, 200));
  EXPECT_EQ(handler.Picture().pixelColor(60, 30), QColor(0, 255, 0));
  EXPECT_NE(handler.Picture().pixelColor(66, 34), QColor(0, 255, 0));
}

// A frame that reaches the pane scaled down (a 4K source through the
// player's block) shows the same as the full-size one: the crop edges and
// the positions are in source pixels, mapped onto the smaller frame.
TEST(EditorFrameHandlerTest, ScaledDownFramesShowTheSourcesCrop) {
  EditSettings edits;
  edits.cropEnabled = 1;
  edits.cropLeft = 320, edits.cropTop = 0, edits.cropRight = 640, edits.cropBottom = 240;  // top right quarter
  edits.textEnabled = 1;
  edits.watermarkText = "X";
  edits.fontSize = 40;
  edits.textColor = 0x0000FF;  // red
  edits.textAlpha = 255;
  edits.textLeft = 480, edits.textTop = 120;
  YuvFrame full = Bands(640, 480, 240, 480), half = Bands(320, 240, 120, 240);
  EditorFrameHandler atSource, scaled;
  Render(atSource, edits, full, QSize(320, 240));
  YuvPlanes planes{half.Y(), half.U(), half.V()};
  scaled.Render(edits, planes, 320, 240, QSize(640, 480), QSize(320, 240));
  EXPECT_EQ(scaled.FrameWidth(), 320);
  EXPECT_EQ(scaled.SourceSize(), QSize(640, 480));
  const QImage& a = atSource.Picture();
  const QImage& b = scaled.Picture();
  ASSERT_EQ(a.size(), b.size());
  // White up to the band's edge at source column 480 (pane column 160), black after it.
  for (QPoint at : {QPoint(40, 60), QPoint(150, 60), QPoint(200, 60), QPoint(300, 60)})
    EXPECT_NEAR(Luma(b, at.x(), at.y()), Luma(a, at.x(), at.y()), 24) << at.x();
  EXPECT_GT(Luma(b, 100, 60), 200);
  EXPECT_LT(Luma(b, 250, 60), 40);
  EXPECT_EQ(RowsWith(b, QColor(255, 0, 0)), RowsWith(a, QColor(255, 0, 0))) << "the text at the same place";
  EXPECT_GT(RowsWith(b, QColor(255, 0, 0)), 0);
}

size_t Occurrences(const std::string& text, const std::string& what) {
  size_t count = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++count;
  return count;
}

// A picture that has gone or cannot be read is reported once per path, not
// on every frame (the pane plays 25 to 60 frames a second); the pane goes
// on without it.
TEST(EditorFrameHandlerTest, UnreadablePictureIsReportedOncePerPath) {
  const std::string dir = test::MakeTempDir("gone");
  const std::string gone = dir + "/gone-logo.png", broken = dir + "/broken-logo.png";
  test::WriteFile(broken, "not a picture");
  EditorFrameHandler handler;
  YuvFrame frame = Bands(320, 240, 120, 320);
  EditSettings edits;
  edits.pictureEnabled = 1;
  edits.pictureWidth = 32, edits.pictureHeight = 32;
  for (const std::string& path : {gone, broken, gone}) {
    edits.picturePath = path;
    for (int i = 0; i < 30; ++i) Render(handler, edits, frame, QSize(320, 200));
  }
  EXPECT_GT(Luma(handler.Picture(), 160, 10), 200) << "the frame is still shown";
  const std::string log = test::ReadFile(LogFilePath());
  EXPECT_EQ(Occurrences(log, gone), 1u) << log.substr(0, 2000);
  EXPECT_EQ(Occurrences(log, broken), 1u);
}

}  // namespace
}  // namespace mivora
