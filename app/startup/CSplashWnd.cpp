#include "app/startup/CSplashWnd.h"

#include <QEventLoop>
#include <QGuiApplication>
#include <QPainter>
#include <QScreen>

#include "common/Log.h"
#include "ui/Skin.h"

namespace mivora {

CSplashWnd::CSplashWnd()
    : QWidget(nullptr, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint) {
  setWindowTitle(QStringLiteral("Mivora"));
  setAttribute(Qt::WA_TranslucentBackground);
  setFixedSize(kWidth, kHeight);
  // Per-pixel alpha, and the whole window at 254/255 as the splash always was.
  setWindowOpacity(254.0 / 255.0);
  for (int i = 0; i + 1 < kFrameCount; ++i) frames_[i] = QStringLiteral("splash_%1").arg(i, 2, 10, QLatin1Char('0'));
  timer_.setSingleShot(true);
  timer_.setTimerType(Qt::PreciseTimer);  // a coarse timer may end the hold early
  connect(&timer_, &QTimer::timeout, this, &CSplashWnd::NextFrame);
}

void CSplashWnd::Start() {
  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    move(screen->geometry().center() - QPoint(kWidth / 2, kHeight / 2));
  }
  show();
  raise();
  shown_.start();
  ready_ = false;
  NextFrame();
}

void CSplashWnd::NextFrame() {
  if (counter_ == kFrameCount - 1 && !ready_) {
    // The last picture has been held: a waiting close happens now, before
    // the clear frame would be drawn.
    ready_ = true;
    emit becameReady();
    if (closing_) return;
  }
  current_ = counter_;
  update();
  ++counter_;
  if (counter_ == kFrameCount) {
    counter_ = 0;
    timer_.start(kFramePeriodMs);
  } else if (counter_ == kFrameCount - 1) {
    timer_.start(std::max<qint64>(kHoldMs, kMinimumShownMs - ShownMs()));
  } else {
    timer_.start(kFramePeriodMs);
  }
}

void CSplashWnd::CloseSplash() {
  MLOG("Enter: CSplashWnd::CloseSplash");
  closing_ = true;
  if (!ready_) {
    QEventLoop loop;
    connect(this, &CSplashWnd::becameReady, &loop, &QEventLoop::quit);
    loop.exec();
  }
  timer_.stop();
  close();
  MLOG("Leave: CSplashWnd::CloseSplash, shown: %lld ms", static_cast<long long>(ShownMs()));
}

void CSplashWnd::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setCompositionMode(QPainter::CompositionMode_Source);
  painter.fillRect(rect(), Qt::transparent);
  painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
  if (current_ < 0 || frames_[current_].isEmpty()) return;
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setRenderHint(QPainter::TextAntialiasing);
  ui::Skin::PaintArt(painter, frames_[current_], QString(), QRectF(rect()));
  // The name fades in with the frames.
  painter.setOpacity(std::min(1.0, 0.35 + 0.325 * current_));
  painter.setPen(ui::colors::kText);
  painter.setFont(ui::Skin::Font(42, true));
  painter.drawText(QRect(124, 22, 300, 56), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Mivora"));
  painter.setPen(ui::colors::kTitleText);
  painter.setFont(ui::Skin::Font(16));
  painter.drawText(QRect(126, 76, 300, 24), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Video Converter"));
}

}  // namespace mivora
