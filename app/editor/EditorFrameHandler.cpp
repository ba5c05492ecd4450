#include "app/editor/EditorFrameHandler.h"

#include <QFileInfo>
#include <QFont>
#include <QFontMetrics>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "common/Log.h"
#include "editing/WatermarkPlacement.h"
#include "editing/TextColour.h"

namespace mivora {
namespace {

constexpr int kMinContextSide = 16;  // smaller crop regions keep the old context

constexpr uint8_t kBlackLuma = 16, kNeutralChroma = 128;  // the engine's black bars

// Where DrawYuv420 paints: an image and the place of the drawn frame in it.
struct PaintTarget {
  QImage* image;
  QPoint at;
};

// Copies DrawYuv420's bottom-up BGR rows into a top-down image.
void PaintInto(void* user, const GlimraBitmapInfo* info, const uint8_t* bits) {
  auto* target = static_cast<PaintTarget*>(user);
  const int rowBytes = info->width * 3;
  for (int row = 0; row < info->height; ++row)
    std::memcpy(target->image->scanLine(target->at.y() + row) + target->at.x() * 3,
                bits + static_cast<size_t>(info->height - 1 - row) * info->stride, rowBytes);
}

int NearestEven(double value) { return static_cast<int>(std::lround(value / 2)) * 2; }

// 0x00BBGGRR as a colour.
QColor FromWindowsColour(uint32_t value) { return QColor::fromRgb(RgbOfTextColour(value)); }

}  // namespace

EditorFrameHandler::~EditorFrameHandler() { GLIMRA_ReleaseResize(context_); }

EditorFrameHandler::Region EditorFrameHandler::CropRegion(const EditSettings& e, int width, int height) {
  if (e.cropEnabled) return {e.cropLeft, e.cropTop, e.cropRight - e.cropLeft, e.cropBottom - e.cropTop};
  return {0, 0, width, height};
}

EditorFrameHandler::Region EditorFrameHandler::InFrame(const Region& r) const {
  // Edges beyond the frame (a record made for another size) are kept inside it.
  const QSize source = SourceSize();
  auto scale = [](int value, int to, int from) {
    return std::clamp(static_cast<int>(std::lround(double(value) * to / from)), 0, to);
  };
  const int left = scale(r.left, frameWidth_, source.width()), top = scale(r.top, frameHeight_, source.height());
  const int right = scale(r.left + r.width, frameWidth_, source.width());
  const int bottom = scale(r.top + r.height, frameHeight_, source.height());
  return {left, top, right - left, bottom - top};
}

void EditorFrameHandler::PrepareContext(const Region& region, QSize pane) {
  CropKey key{1, region.left, region.top, region.left + region.width, region.top + region.height};
  if (!(key == cropKey_)) {
    cropKey_ = key;
    madeOnce_ = false;
  }
  // A context made for other frame or pane sizes would read and write
  // outside the planes, so a size change always makes a new one.
  const QSize frame(frameWidth_, frameHeight_);
  const bool sizesChanged = context_ && (frame != contextFrame_ || pane != contextPane_);
  const bool regionUsable = region.width > kMinContextSide && region.height > kMinContextSide;
  if (!((!madeOnce_ && regionUsable) || !context_ || sizesChanged)) return;

  Region used = region;
  if (!regionUsable) used = {0, 0, frameWidth_, frameHeight_};
  GLIMRA_ReleaseResize(context_);
  context_ = GLIMRA_InitResize(frameWidth_, frameHeight_, pane.width(), pane.height(), used.left, used.top,
                               used.left + used.width, used.top + used.height);
  contextFrame_ = frame;
  contextPane_ = pane;
  madeOnce_ = true;
  ++contextsMade_;
}

void EditorFrameHandler::SetOutputFormat(const FrameFormat& format, int sampleAspectNum, int sampleAspectDen) {
  format_ = format;
  const bool known = sampleAspectNum > 0 && sampleAspectDen > 0;
  sampleAspectNum_ = known ? sampleAspectNum : 1;
  sampleAspectDen_ = known ? sampleAspectDen : 1;
}

void EditorFrameHandler::PlaceInPane(const Region& region, QSize pane) {
  output_ = FitOutputFrame(format_, {region.width, region.height, sampleAspectNum_, sampleAspectDen_});
  // The frame goes into the pane as a picture into a frame of the pane's
  // size and square pixels: as large as fits, centred, with its shape.
  FrameFormat paneFrame{pane.width(), pane.height(), pane.width(), pane.height(), true, 2};
  const OutputFrame inPane = FitOutputFrame(paneFrame, {output_.aspectNum, output_.aspectDen, 1, 1});
  frameInPane_ = QRect(inPane.pictureLeft, inPane.pictureTop, inPane.pictureWidth, inPane.pictureHeight);
  if (!output_.HasBars() || output_.width <= 0 || output_.height <= 0) {
    pictureInPane_ = frameInPane_;
    return;
  }
  const double scaleX = static_cast<double>(frameInPane_.width()) / output_.width;
  const double scaleY = static_cast<double>(frameInPane_.height()) / output_.height;
  // Even sides (4:2:0), placed to the nearest pixel: the bars' edges are
  // where the file's frame, drawn at this size, has them.
  const double exactWidth = output_.pictureWidth * scaleX, exactHeight = output_.pictureHeight * scaleY;
  const int width = std::clamp(NearestEven(exactWidth), 2, frameInPane_.width());
  const int height = std::clamp(NearestEven(exactHeight), 2, frameInPane_.height());
  const double exactLeft = output_.pictureLeft * scaleX + (exactWidth - width) / 2;
  const double exactTop = output_.pictureTop * scaleY + (exactHeight - height) / 2;
  const int left = std::clamp(static_cast<int>(std::lround(exactLeft)), 0, frameInPane_.width() - width);
  const int top = std::clamp(static_cast<int>(std::lround(exactTop)), 0, frameInPane_.height() - height);
  pictureInPane_ = QRect(frameInPane_.x() + left, frameInPane_.y() + top, width, height);
}

const YuvFrame& EditorFrameHandler::ComposeFrame(const YuvFrame& picture) {
  if (pictureInPane_ == frameInPane_) return picture;
  if (composed_.width() != frameInPane_.width() || composed_.height() != frameInPane_.height())
    composed_ = YuvFrame(frameInPane_.width(), frameInPane_.height());
  std::memset(composed_.Y(), kBlackLuma, composed_.lumaBytes());
  std::memset(composed_.U(), kNeutralChroma, composed_.chromaBytes());
  std::memset(composed_.V(), kNeutralChroma, composed_.chromaBytes());
  const int left = pictureInPane_.x() - frameInPane_.x(), top = pictureInPane_.y() - frameInPane_.y();
  for (int row = 0; row < picture.height(); ++row)
    std::memcpy(composed_.Y() + (top + row) * composed_.width() + left, picture.Y() + row * picture.width(),
                picture.width());
  const int chromaWidth = composed_.width() / 2, pictureChroma = picture.width() / 2;
  // Chroma goes to the nearest chroma sample of an odd place.
  for (int row = 0; row < picture.height() / 2; ++row) {
    const int at = (top / 2 + row) * chromaWidth + left / 2;
    std::memcpy(composed_.U() + at, picture.U() + row * pictureChroma, pictureChroma);
    std::memcpy(composed_.V() + at, picture.V() + row * pictureChroma, pictureChroma);
  }
  return composed_;
}

const YuvFrame& EditorFrameHandler::ApplyEffects(const EditSettings& e) {
  const YuvFrame* frame = &scaled_;
  if (e.effectsEnabled) {
    // In the engine's order: the colour values first, and only with effects
    // 0 to 2 (the colour effects are tables of their own and replace them).
    const bool neutral = e.brightness == 0 && e.contrast == 100 && e.saturation == 100;
    if (!neutral && e.effect < kEffectInvert)
      frame = &effects_.Colour(*frame, e.brightness, e.contrast, e.saturation);
    if (e.flipVertical) frame = &effects_.FlipVertical(*frame);
    if (e.flipHorizontal) frame = &effects_.FlipHorizontal(*frame);
    switch (e.effect) {
      case kEffectSharpen: frame = &effects_.Sharpen(*frame); break;
      case kEffectBlur: frame = &effects_.Blur(*frame); break;
      case kEffectInvert: frame = &effects_.Invert(*frame); break;
      case kEffectFlipColor: frame = &effects_.FlipColor(*frame); break;
      case kEffectGray: frame = &effects_.Gray(*frame); break;
      case kEffectAgedFilm: frame = &effects_.AgedFilm(*frame); break;
      default: break;
    }
  }
  return *frame;
}

void EditorFrameHandler::DrawText(const EditSettings& e, const Region& region) {
  // As the engine draws it: one line at the font size in source pixels, the
  // pen at textLeft, the top of the tallest glyph at textTop, in the colour
  // with its opacity; then scaled with the picture to the pane.
  QFont font(QString::fromStdString(e.fontFace.empty() ? std::string("Arial") : e.fontFace));
  font.setPixelSize(std::clamp(e.fontSize, 1, 4096));
  // The engine's text renderer hints glyphs fully; so does the pane.
  font.setHintingPreference(QFont::PreferFullHinting);
  const QString text = QString::fromStdString(e.watermarkText);
  const QFontMetrics metrics(font);
  const QRect bounds = metrics.boundingRect(text);  // around the pen at the baseline
  const int glyphAscent = -metrics.tightBoundingRect(text).top();
  constexpr int kMargin = 2;
  QImage line(bounds.width() + 2 * kMargin, bounds.height() + 2 * kMargin, QImage::Format_ARGB32_Premultiplied);
  if (line.isNull()) return;
  line.fill(Qt::transparent);
  const QPoint pen(kMargin - bounds.left(), kMargin - bounds.top());
  QColor colour = FromWindowsColour(e.textColor);
  colour.setAlpha(std::clamp(e.textAlpha, 0, 255));
  {
    QPainter painter(&line);
    painter.setFont(font);
    painter.setPen(colour);
    painter.drawText(pen, text);
  }
  // Where the text lies in the region (moved back inside it, as the engine
  // places it: the advance width and the glyphs' height), then the line's
  // image in source pixels, then in the pane.
  const int textLeft = PlaceInsideRegion(e.textLeft - region.left, region.width, metrics.horizontalAdvance(text));
  const int textTop =
      PlaceInsideRegion(e.textTop - region.top, region.height, metrics.tightBoundingRect(text).height());
  const double left = textLeft - pen.x();
  const double top = textTop + glyphAscent - pen.y();
  const double scaleX = static_cast<double>(pictureInPane_.width()) / region.width;
  const double scaleY = static_cast<double>(pictureInPane_.height()) / region.height;
  QPainter painter(&picture_);
  painter.setClipRect(pictureInPane_);  // the engine draws on the picture, not on its bars
  painter.translate(pictureInPane_.topLeft());
  painter.setRenderHint(QPainter::SmoothPixmapTransform);
  painter.drawImage(QRectF(left * scaleX, top * scaleY, line.width() * scaleX, line.height() * scaleY), line);
}

void EditorFrameHandler::DrawPicture(const EditSettings& e, const Region& region) {
  // Loaded once per path, and again only when the file changes: a picture
  // that has gone or cannot be read is not tried on every frame, and is
  // reported once.
  const QFileInfo file(QString::fromStdString(e.picturePath));
  const qint64 stamp = file.exists() ? file.lastModified().toMSecsSinceEpoch() : 0;
  if (watermarkPath_ != e.picturePath || watermarkStamp_ != stamp) {
    watermarkPath_ = e.picturePath;
    watermarkStamp_ = stamp;
    watermark_ = QImage();
    if (!watermark_.load(file.filePath()) && unreadable_.insert(e.picturePath).second)
      MLOG("EditorFrameHandler::DrawPicture, cannot load: %s", e.picturePath.c_str());
  }
  if (watermark_.isNull()) return;
  const int paneWidth = pictureInPane_.width(), paneHeight = pictureInPane_.height();
  // Moved back inside the region, as the engine places it.
  const int left = PlaceInsideRegion(e.pictureLeft - region.left, region.width, e.pictureWidth);
  const int top = PlaceInsideRegion(e.pictureTop - region.top, region.height, e.pictureHeight);
  const int x = left * paneWidth / region.width, y = top * paneHeight / region.height;
  const int width = e.pictureWidth * paneWidth / region.width;
  const int height = e.pictureHeight * paneHeight / region.height;
  QPainter painter(&picture_);
  painter.setClipRect(pictureInPane_);
  painter.translate(pictureInPane_.topLeft());
  painter.setRenderHint(QPainter::SmoothPixmapTransform);
  painter.drawImage(QRect(x, y, width, height), watermark_);
}

void EditorFrameHandler::Render(const EditSettings& edits, const YuvPlanes& planes, int width, int height,
                                QSize sourceSize, QSize paneSize, int colour) {
  if (width <= 0 || height <= 0) return;
  sourceSize_ = sourceSize;
  colour_ = colour;
  if (source_.width() != width || source_.height() != height) source_ = YuvFrame(width, height);
  std::memcpy(source_.Y(), planes.y, source_.lumaBytes());
  std::memcpy(source_.U(), planes.u, source_.chromaBytes());
  std::memcpy(source_.V(), planes.v, source_.chromaBytes());
  Rerender(edits, paneSize);
}

void EditorFrameHandler::Rerender(const EditSettings& edits, QSize paneSize) {
  const int width = source_.width(), height = source_.height();
  const QSize pane(paneSize.width() / 8 * 8, paneSize.height() / 8 * 8);
  if (pane.isEmpty() || width <= 0 || height <= 0) return;
  frameWidth_ = width;
  frameHeight_ = height;
  // The crop edges and the positions are source pixels; the scaler reads
  // the handed-over frame, which may be the source scaled down.
  const QSize source = SourceSize();
  const Region region = CropRegion(edits, source.width(), source.height());
  const bool regionShown = region.width > 0 && region.height > 0;
  // A region too small for a context of its own keeps the old one, and the
  // picture keeps its place with it.
  const bool regionUsable = region.width > kMinContextSide && region.height > kMinContextSide;
  if (regionUsable || !context_ || pane != placedPane_) {
    PlaceInPane(regionShown ? region : Region{0, 0, source.width(), source.height()}, pane);
    placedPane_ = pane;
  }
  if (pictureInPane_.isEmpty()) return;

  // The picture at its place in the pane, edited as the engine edits it
  // before the fit; the bars around it; then the 3D mode over the frame.
  const QSize pictureSize = pictureInPane_.size();
  PrepareContext(InFrame(region), pictureSize);
  if (scaled_.width() != pictureSize.width() || scaled_.height() != pictureSize.height())
    scaled_ = YuvFrame(pictureSize.width(), pictureSize.height());
  YuvPlanes destination{scaled_.Y(), scaled_.U(), scaled_.V()};
  GLIMRA_ResizeFrame(source_.Y(), source_.U(), source_.V(), &destination, context_);

  const YuvFrame* frame = &ComposeFrame(ApplyEffects(edits));
  if (edits.stereoEnabled) frame = &effects_.Stereo(*frame, edits.stereoMode, edits.stereoDepth);
  if (picture_.size() != pane) picture_ = QImage(pane, QImage::Format_BGR888);
  picture_.fill(Qt::black);
  PaintTarget paint{&picture_, frameInPane_.topLeft()};
  GlimraDrawTarget target{&PaintInto, &paint};
  DrawYuv420Colour(frame->Y(), frame->U(), frame->V(), frame->width(), frame->height(), colour_, &target);

  // Positions map through the region the picture shows (the whole frame,
  // or the crop rectangle, which is what the output holds).
  if (!regionShown) return;
  if (edits.textEnabled && !edits.watermarkText.empty()) DrawText(edits, region);
  if (edits.pictureEnabled) DrawPicture(edits, region);
}

}  // namespace mivora
