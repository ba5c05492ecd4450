#include "preview/PlayStatic.h"

#include <time.h>

#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QSocketNotifier>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "common/Log.h"
#include "platform/CopyDataEndpoint.h"
#include "platform/PlayerSharedBlock.h"
#include "platform/SharedMemoryBlock.h"
#include "preview/FullScreenView.h"
#include "preview/PlayerRun.h"

namespace mivora {
namespace {

// Block names are tried from the tick count on until a free one is found.
constexpr int kBlockNameAttempts = 64;

long TickCountMs() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<long>(static_cast<int32_t>(now.tv_sec * 1000 + now.tv_nsec / 1000000));
}

QImage BlackImage(QSize size) {
  QImage image(size.expandedTo(QSize(1, 1)), QImage::Format_RGB32);
  image.fill(Qt::black);
  return image;
}

}  // namespace

static_assert(playerblock::kFullRange == GLIMRA_YUV_FULL_RANGE && playerblock::kTvBt601 == GLIMRA_YUV_TV_BT601 &&
              playerblock::kTvBt709 == GLIMRA_YUV_TV_BT709 && playerblock::kTvBt2020 == GLIMRA_YUV_TV_BT2020);

// Scaling of announced frames to the picture's size, kept between frames.
struct CPlayStatic::ScalerCache {
  int sourceWidth = 0, sourceHeight = 0, width = 0, height = 0;
  ResizeContext* context = nullptr;
  std::vector<uint8_t> planes;  // the scaled frame, Y then U then V
  ~ScalerCache() { GLIMRA_ReleaseResize(context); }
};

CPlayStatic::CPlayStatic(QWidget* parent)
    : QWidget(parent), m_scaler(std::make_unique<ScalerCache>()) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  m_stillFrame = BlackImage(size());
  std::string error;
  m_endpoint = CopyDataEndpoint::Open(&error);
  if (m_endpoint) {
    m_notifier = new QSocketNotifier(m_endpoint->Fd(), QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &CPlayStatic::ReadEndpoint);
  } else {
    MLOG("CPlayStatic::CPlayStatic, no endpoint: %s", error.c_str());
  }
}

CPlayStatic::~CPlayStatic() {
  Stop();
  delete m_fullScreen;
}

uint32_t CPlayStatic::EndpointNumber() const { return m_endpoint ? m_endpoint->Number() : 0; }

QWidget* CPlayStatic::FullScreenWindow() const { return m_fullScreen; }

void CPlayStatic::Play(const char* path) {
  MLOG("Enter: CPlayStatic::Play");
  if (m_run) Stop();  // a playback, or the first frame still coming
  m_strFile = path ? path : "";
  m_bPaused = 0;
  if (!StartRun(0)) {
    MLOG("Leave: CPlayStatic::Play, no endpoint for the player");
    return;
  }
  m_bPlaying = 1;
  MLOG("Leave: CPlayStatic::Play, block %s", m_blockName.c_str());
}

void CPlayStatic::ShowFirstFrame(const char* path) {
  if (m_bPlaying) return;
  if (m_run) Stop();
  m_strFile = path ? path : "";
  if (m_strFile.empty()) return;
  m_bShowingFirstFrame = true;
  if (!StartRun(1)) m_bShowingFirstFrame = false;
}

bool CPlayStatic::StartRun(int frameLimit) {
  m_picture = QImage();
  m_frameNumber = m_pictureFrameNumber = m_drawnFrameNumber = 0;
  if (!m_endpoint) return false;
  // Announcements a previous player left unread mean nothing now.
  while (m_endpoint->Receive(0)) {
  }
  // A block name that another playback (of this or another program) holds
  // is not shared: the next tick is tried.
  const long tick = TickCountMs();
  std::string error;
  for (int attempt = 0; attempt < kBlockNameAttempts && !m_block; ++attempt) {
    m_blockName = playerblock::BlockName(tick + attempt);
    m_block = SharedMemoryBlock::Create(m_blockName, playerblock::kBlockBytes, &error);
  }
  if (m_block) {
    uint8_t* block = m_block->Data();
    std::memset(block, 0, playerblock::kZeroedBytes);
    m_pSeek = playerblock::Field(block, playerblock::kSeekOffset);
    m_pReserved0 = playerblock::Field(block, playerblock::kReserved0Offset);
    m_pPause = playerblock::Field(block, playerblock::kPauseOffset);
    m_pWidth = playerblock::Field(block, playerblock::kWidthOffset);
    m_pHeight = playerblock::Field(block, playerblock::kHeightOffset);
    m_pReserved[0] = playerblock::Field(block, playerblock::kReserved1Offset);
    m_pReserved[1] = playerblock::Field(block, playerblock::kReserved2Offset);
    m_pReserved[2] = playerblock::Field(block, playerblock::kReserved3Offset);
    m_pFullScreen = playerblock::Field(block, playerblock::kFullScreenOffset);
    m_pszStatus = reinterpret_cast<const char*>(block + playerblock::kStatusOffset);
    m_pFrame = block + playerblock::kFrameOffset;
    playerblock::StoreField(m_pWidth, width());
    playerblock::StoreField(m_pHeight, height());
  } else {
    // The player is started all the same; it reports the missing block.
    MLOG("CPlayStatic::Play, %s", error.c_str());
  }
  auto run = std::make_shared<PlayerRun>();
  run->playerPath = PlayerPath();
  run->mediaPath = m_strFile;
  run->blockName = m_blockName;
  run->endpoint = m_endpoint->Number();
  run->width = width();
  run->height = height();
  run->frameLimit = frameLimit;
  run->window = this;
  m_run = run;
  run->thread = std::thread([run] { PlayContext(run); });
  return true;
}

void CPlayStatic::Pause() {
  if (!m_bPlaying || m_pPause == nullptr) return;
  playerblock::StoreField(m_pPause, 1);
  m_bPaused = !m_bPaused;
  CaputeFrame(m_bPaused);
}

void CPlayStatic::Stop() {
  if (!m_run) return;
  MLOG("Enter: CPlayStatic::Stop");
  std::shared_ptr<PlayerRun> run = m_run;
  run->stopRequest = 1;
  int result = kPlayerStopped;
  bool ended;
  {
    std::unique_lock<std::mutex> lock(run->mutex);
    ended = run->ended.wait_for(lock, std::chrono::milliseconds(kStopWaitMs), [&] { return run->done; });
    if (ended)
      result = run->result;
    else
      run->window = nullptr;  // the thread winds down on its own
  }
  if (ended)
    run->thread.join();
  else
    run->thread.detach();
  FinishPlayback(result);
  MLOG("Leave: CPlayStatic::Stop, %s", ended ? "ended" : "gave up waiting");
}

void CPlayStatic::OnRunEnded(const std::shared_ptr<PlayerRun>& run) {
  if (run != m_run) return;  // a run that Stop has already dealt with
  run->thread.join();
  FinishPlayback(run->result);
}

void CPlayStatic::FinishPlayback(int result) {
  const bool playback = !m_bShowingFirstFrame;
  m_bShowingFirstFrame = false;
  m_run.reset();
  m_bPlaying = 0;
  ReleaseBlock();
  // The last frame stays on the window (a short clip's only frame too).
  if (!m_picture.isNull()) m_stillFrame = ComposedPicture(size().expandedTo(QSize(1, 1)));
  if (m_fullScreen) m_fullScreen->close();
  update();
  if (playback) emit playingEnded(result);
}

void CPlayStatic::ReleaseBlock() {
  m_pSeek = m_pReserved0 = m_pPause = m_pWidth = m_pHeight = m_pFullScreen = nullptr;
  m_pReserved[0] = m_pReserved[1] = m_pReserved[2] = nullptr;
  m_pszStatus = nullptr;
  m_pFrame = nullptr;
  if (m_block) SharedMemoryBlock::Unlink(m_blockName);
  m_block.reset();
}

void CPlayStatic::Seek(int percent) {
  if (!m_bPlaying || m_pSeek == nullptr) return;
  playerblock::StoreField(m_pSeek, percent);
}

void CPlayStatic::FullScreen() {
  if (!m_bPlaying || m_pFullScreen == nullptr) return;
  playerblock::StoreField(m_pFullScreen, 1);
  if (!m_fullScreen) m_fullScreen = new FullScreenView(this);
  m_fullScreen->showFullScreen();
  m_fullScreen->activateWindow();
  m_fullScreen->setFocus();
}

void CPlayStatic::CaputeFrame(int capture) {
  const QSize captured = size().expandedTo(QSize(1, 1));
  if (capture != 0 && m_bPlaying && !m_picture.isNull())
    m_stillFrame = ComposedPicture(captured);
  else if (capture == 0 || m_stillFrame.size() != captured)
    m_stillFrame = BlackImage(captured);
  update();
  if (m_fullScreen) m_fullScreen->update();
}

void CPlayStatic::MoveWindow(int x, int y, int width, int height) {
  m_rcRequested = {x, y, x + width, y + height};
  if (m_bFitVideo && m_nVideoWidth > 0 && m_nVideoHeight > 0 && m_nVideoWidth < width &&
      m_nVideoHeight < height)
    setGeometry(x + (width - m_nVideoWidth) / 2, y + (height - m_nVideoHeight) / 2, m_nVideoWidth,
                m_nVideoHeight);
  else
    setGeometry(x, y, width, height);
  update();
}

bool CPlayStatic::DestroyWindow() {
  Stop();
  hide();
  return true;
}

void CPlayStatic::OnPlayMenu(int command) {
  if (command != kFitForWindowCommand && command != kFitForVideoCommand) return;
  m_bFitVideo = command == kFitForVideoCommand ? 1 : 0;
  MoveWindow(m_rcRequested.left, m_rcRequested.top, m_rcRequested.right - m_rcRequested.left,
             m_rcRequested.bottom - m_rcRequested.top);
}

bool CPlayStatic::ParseVideoSize() {
  if (m_nVideoWidth > 0 && m_nVideoHeight > 0) return true;
  if (m_pszStatus == nullptr) return false;
  std::string status(m_pszStatus, strnlen(m_pszStatus, playerblock::kStatusBytes));
  size_t open = status.find('<');
  size_t cross = open == std::string::npos ? open : status.find('x', open);
  size_t close = cross == std::string::npos ? cross : status.find('>', cross);
  if (close == std::string::npos) return false;
  long width = std::strtol(status.c_str() + open + 1, nullptr, 10);
  long height = std::strtol(status.c_str() + cross + 1, nullptr, 10);
  if (width <= 0 || height <= 0 || width > 65535 || height > 65535) return false;
  m_nVideoWidth = static_cast<int>(width);
  m_nVideoHeight = static_cast<int>(height);
  return true;
}

void CPlayStatic::OnRButtonDown(const QPoint& position) {
  if (!ParseVideoSize()) return;
  QMenu menu(this);
  QAction* fitWindow = menu.addAction("Fit for window");
  QAction* fitVideo = menu.addAction("Fit for video");
  fitWindow->setCheckable(true);
  fitVideo->setCheckable(true);
  fitWindow->setChecked(!m_bFitVideo);
  fitVideo->setChecked(m_bFitVideo);
  QAction* chosen = menu.exec(mapToGlobal(position));
  if (chosen == fitWindow) OnPlayMenu(kFitForWindowCommand);
  if (chosen == fitVideo) OnPlayMenu(kFitForVideoCommand);
}

void CPlayStatic::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::RightButton) OnRButtonDown(event->position().toPoint());
  QWidget::mousePressEvent(event);
}

void CPlayStatic::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  if (m_bPlaying && m_pWidth && m_pHeight) {
    playerblock::StoreField(m_pWidth, width());
    playerblock::StoreField(m_pHeight, height());
  }
  update();
}

QSize CPlayStatic::PictureSize() const {
  QSize area = m_fullScreen && m_fullScreen->isVisible() ? m_fullScreen->size() : size();
  QSize target = m_frameShape.isEmpty() ? area : m_frameShape.scaled(area, Qt::KeepAspectRatio);
  return QSize(std::max(2, target.width() & ~1), std::max(2, target.height() & ~1));
}

QRect CPlayStatic::PictureRect() const {
  if (m_frameShape.isEmpty()) return rect();
  const QSize shown = m_frameShape.scaled(size(), Qt::KeepAspectRatio);
  return QRect(QPoint((width() - shown.width()) / 2, (height() - shown.height()) / 2), shown);
}

QImage CPlayStatic::ComposedPicture(QSize size) const {
  QImage image = BlackImage(size);
  if (m_picture.isNull()) return image;
  QPainter painter(&image);
  painter.setRenderHint(QPainter::SmoothPixmapTransform);
  const QSize shown = m_frameShape.isEmpty() ? size : m_frameShape.scaled(size, Qt::KeepAspectRatio);
  painter.drawImage(QRect(QPoint((size.width() - shown.width()) / 2, (size.height() - shown.height()) / 2), shown),
                    m_picture);
  return image;
}

void CPlayStatic::ReadFrameFacts(int width, int height) {
  uint8_t* block = m_block->Data();
  m_nFrameColour = playerblock::LoadField(playerblock::Field(block, playerblock::kFrameColourOffset));
  const int32_t shapeWidth = playerblock::LoadField(playerblock::Field(block, playerblock::kShapeWidthOffset));
  const int32_t shapeHeight = playerblock::LoadField(playerblock::Field(block, playerblock::kShapeHeightOffset));
  // A shape the player does not tell (or a senseless one) is the frame's own.
  const bool told = shapeWidth > 0 && shapeHeight > 0 && shapeWidth <= 65535 && shapeHeight <= 65535;
  m_frameShape = told ? QSize(shapeWidth, shapeHeight) : QSize(width, height);
}

void CPlayStatic::ReadEndpoint() {
  // A frame callback that runs a nested event loop must not see the next
  // frame inside this one; the notifier fires again for what is left.
  if (m_readingEndpoint || !m_endpoint) return;
  m_readingEndpoint = true;
  while (auto message = m_endpoint->Receive(0)) OnCopyData(*message);
  m_readingEndpoint = false;
}

void CPlayStatic::OnCopyData(const CopyDataMessage& message) {
  const uint32_t width = copydata::FrameWidth(message.dataWord);
  const uint32_t height = copydata::FrameHeight(message.dataWord);
  const bool frame = m_run && m_block && m_pFrame != nullptr && width > 0 && height > 0 &&
                     playerblock::FrameFits(width, height);
  if (frame) {
    ++m_frameNumber;
    ReadFrameFacts(static_cast<int>(width), static_cast<int>(height));
    TakeFrame(m_pFrame, static_cast<int>(width), static_cast<int>(height));
    if (!m_bPlaying) m_stillFrame = ComposedPicture(size().expandedTo(QSize(1, 1)));
    if (m_pfnFrameCallback) {
      const size_t luma = size_t(width) * height;
      YuvPlanes planes{m_pFrame, m_pFrame + luma, m_pFrame + luma + luma / 4};
      m_pfnFrameCallback(0, &planes, static_cast<int>(width), static_cast<int>(height));
    }
  }
  // Answered in every case, so that no player waits in vain.
  m_endpoint->Answer(message);
  // Painted at once, from the window's own copy, while the player already
  // writes the next frame: no announced frame goes unpainted.
  if (frame) {
    if (isVisible()) repaint();
    if (m_fullScreen) m_fullScreen->update();
  }
}

void CPlayStatic::TakeFrame(const uint8_t* frame, int width, int height) {
  const QSize target = PictureSize();
  const size_t luma = size_t(width) * height;
  const uint8_t* y = frame;
  const uint8_t* u = frame + luma;
  const uint8_t* v = u + luma / 4;
  ScalerCache& scaler = *m_scaler;
  if (target != QSize(width, height)) {
    if (!scaler.context || scaler.sourceWidth != width || scaler.sourceHeight != height ||
        scaler.width != target.width() || scaler.height != target.height()) {
      GLIMRA_ReleaseResize(scaler.context);
      scaler = {};
      scaler.context =
          GLIMRA_InitResize(width, height, target.width(), target.height(), 0, 0, width, height);
      scaler.sourceWidth = width;
      scaler.sourceHeight = height;
      scaler.width = target.width();
      scaler.height = target.height();
      const size_t scaledLuma = size_t(target.width()) * target.height();
      scaler.planes.resize(scaledLuma + 2 * (scaledLuma / 4));
    }
    const size_t scaledLuma = size_t(scaler.width) * scaler.height;
    YuvPlanes scaled{scaler.planes.data(), scaler.planes.data() + scaledLuma,
                     scaler.planes.data() + scaledLuma + scaledLuma / 4};
    GLIMRA_ResizeFrame(y, u, v, &scaled, scaler.context);
    y = scaled.y;
    u = scaled.u;
    v = scaled.v;
    width = scaler.width;
    height = scaler.height;
  }
  // The converter writes bottom-up rows with the padded stride that a 24-bit
  // QImage has too; one flip in place turns them round.
  if (m_picture.width() != width || m_picture.height() != height ||
      m_picture.format() != QImage::Format_BGR888)
    m_picture = QImage(width, height, QImage::Format_BGR888);
  if (m_picture.isNull() || m_picture.bytesPerLine() != GLIMRA_BitmapStride(width)) return;
  GLIMRA_ConvertYuv420Colour(y, u, v, width, height, m_picture.bits(), m_nFrameColour);
  m_picture.mirror(false, true);
  m_pictureFrameNumber = m_frameNumber;
}

void CPlayStatic::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  if (m_bPlaying && !m_bPaused && !m_picture.isNull()) {
    painter.fillRect(rect(), Qt::black);
    painter.drawImage(PictureRect(), m_picture);
  } else {
    // Idle, paused, or playing before the first frame: the still frame.
    painter.drawImage(rect(), m_stillFrame);
  }
  painter.end();
  if (m_bPlaying && !m_bPaused && m_pictureFrameNumber > m_drawnFrameNumber) {
    m_drawnFrameNumber = m_pictureFrameNumber;
    emit frameDrawn(m_drawnFrameNumber);
  }
}

}  // namespace mivora
