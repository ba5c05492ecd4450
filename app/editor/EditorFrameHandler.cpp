#include "app/editor/EditorFrameHandler.h"

#include <QFont>
#include <QPainter>

#include <algorithm>
#include <cstring>

#include "common/Log.h"

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

// 0x00BBGGRR as a colour; the alpha is the output's business.
QColor FromWindowsColour(uint32_t value) {
  return QColor(value & 0xFF, (value >> 8) & 0xFF, (value >> 16) & 0xFF);
}

}  // namespace

EditorFrameHandler::~EditorFrameHandler() { GLIMRA_ReleaseResize(context_); }

EditorFrameHandler::Region EditorFrameHandler::CropRegion(const EditSettings& e, int width, int height) {
  if (e.cropEnabled) return {e.cropLeft, e.cropTop, e.cropRight - e.cropLeft, e.cropBottom - e.cropTop};
  return {0, 0, width, height};
}

void EditorFrameHandler::PrepareContext(const EditSettings& e, const Region& region, QSize pane) {
  CropKey key{e.cropEnabled, e.cropLeft, e.cropTop, e.cropRight, e.cropBottom};
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
  const int paneWidth = picture_.width(), paneHeight = picture_.height();
  const int x = (e.textLeft - region.left) * paneWidth / region.width;
  const int y = (e.textTop - region.top) * paneHeight / region.height;
  // The pane shows the output scaled down, the text with it.
  const int pixelSize = std::max(1, e.fontSize * paneHeight / region.height);
  QFont font(QString::fromStdString(e.fontFace.empty() ? std::string("Arial") : e.fontFace));
  font.setPixelSize(pixelSize);
  QPainter painter(&picture_);
  painter.setFont(font);
  painter.setPen(FromWindowsColour(e.textColor));
  painter.drawText(QRect(QPoint(x, y), QPoint(paneWidth - 1, paneHeight - 1)), Qt::TextWordWrap,
                   QString::fromStdString(e.watermarkText));
}

void EditorFrameHandler::DrawPicture(const EditSettings& e, const Region& region) {
  if (watermarkPath_ != e.picturePath || watermark_.isNull()) {
    watermarkPath_ = e.picturePath;
    if (!watermark_.load(QString::fromStdString(e.picturePath)))
      MLOG("EditorFrameHandler::DrawPicture, cannot load: %s", e.picturePath.c_str());
  }
  if (watermark_.isNull()) return;
  const int paneWidth = picture_.width(), paneHeight = picture_.height();
  int x = (e.pictureLeft - region.left) * paneWidth / region.width;
  int y = (e.pictureTop - region.top) * paneHeight / region.height;
  const int width = e.pictureWidth * paneWidth / region.width;
  const int height = e.pictureHeight * paneHeight / region.height;
  if (x + width > paneWidth) x = paneWidth - width;
  if (y + height > paneHeight) y = paneHeight - height;
  QPainter painter(&picture_);
  painter.setRenderHint(QPainter::SmoothPixmapTransform);
  painter.drawImage(QRect(x, y, width, height), watermark_);
}

void EditorFrameHandler::Render(const EditSettings& edits, const YuvPlanes& planes, int width, int height,
                                QSize paneSize) {
  if (width <= 0 || height <= 0) return;
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
  const Region region = CropRegion(edits, width, height);

  PrepareContext(edits, region, pane);
  if (scaled_.width() != pane.width() || scaled_.height() != pane.height())
    scaled_ = YuvFrame(pane.width(), pane.height());
  YuvPlanes destination{scaled_.Y(), scaled_.U(), scaled_.V()};
  GLIMRA_ResizeFrame(source_.Y(), source_.U(), source_.V(), &destination, context_);

  const YuvFrame& edited = ApplyEffects(edits);
  if (picture_.size() != pane) picture_ = QImage(pane, QImage::Format_BGR888);
  GlimraDrawTarget target{&PaintInto, &picture_};
  DrawYuv420(edited.Y(), edited.U(), edited.V(), edited.width(), edited.height(), &target);

  // Positions map through the region the pane shows (the whole frame, or
  // the crop rectangle, which is what the output holds).
  if (region.width <= 0 || region.height <= 0) return;
  if (edits.textEnabled && !edits.watermarkText.empty()) DrawText(edits, region);
  if (edits.pictureEnabled) DrawPicture(edits, region);
}

}  // namespace mivora
