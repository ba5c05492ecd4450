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

namespace mivora {
namespace {

constexpr int kMinContextSide = 16;  // smaller crop regions keep the old context

// Copies DrawYuv420's bottom-up BGR rows into a top-down image.
void PaintInto(void* user, const GlimraBitmapInfo* info, const uint8_t* bits) {
  auto* image = static_cast<QImage*>(user);
  const int rowBytes = info->width * 3;
  for (int row = 0; row < info->height; ++row)
    std::memcpy(image->scanLine(row), bits + static_cast<size_t>(info->height - 1 - row) * info->stride, rowBytes);
}

// 0x00BBGGRR as a colour.
QColor FromWindowsColour(uint32_t value) {
  return QColor(value & 0xFF, (value >> 8) & 0xFF, (value >> 16) & 0xFF);
}

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
  if (e.stereoEnabled) frame = &effects_.Stereo(*frame, e.stereoMode, e.stereoDepth);
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
  const double scaleX = static_cast<double>(picture_.width()) / region.width;
  const double scaleY = static_cast<double>(picture_.height()) / region.height;
  QPainter painter(&picture_);
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
  const int paneWidth = picture_.width(), paneHeight = picture_.height();
  // Moved back inside the region, as the engine places it.
  const int left = PlaceInsideRegion(e.pictureLeft - region.left, region.width, e.pictureWidth);
  const int top = PlaceInsideRegion(e.pictureTop - region.top, region.height, e.pictureHeight);
  const int x = left * paneWidth / region.width, y = top * paneHeight / region.height;
  const int width = e.pictureWidth * paneWidth / region.width;
  const int height = e.pictureHeight * paneHeight / region.height;
  QPainter painter(&picture_);
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

  PrepareContext(InFrame(region), pane);
  if (scaled_.width() != pane.width() || scaled_.height() != pane.height())
    scaled_ = YuvFrame(pane.width(), pane.height());
  YuvPlanes destination{scaled_.Y(), scaled_.U(), scaled_.V()};
  GLIMRA_ResizeFrame(source_.Y(), source_.U(), source_.V(), &destination, context_);

  const YuvFrame& edited = ApplyEffects(edits);
  if (picture_.size() != pane) picture_ = QImage(pane, QImage::Format_BGR888);
  GlimraDrawTarget target{&PaintInto, &picture_};
  DrawYuv420Colour(edited.Y(), edited.U(), edited.V(), edited.width(), edited.height(), colour_, &target);

  // Positions map through the region the pane shows (the whole frame, or
  // the crop rectangle, which is what the output holds).
  if (region.width <= 0 || region.height <= 0) return;
  if (edits.textEnabled && !edits.watermarkText.empty()) DrawText(edits, region);
  if (edits.pictureEnabled) DrawPicture(edits, region);
}

}  // namespace mivora
