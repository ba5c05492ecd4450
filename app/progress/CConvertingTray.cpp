#include "app/progress/CConvertingTray.h"

namespace mivora {
namespace {

int g_animationIndex = 0;  // user-interface thread only
std::optional<bool> g_assumedAvailable;

}  // namespace

CConvertingTray::CConvertingTray(QObject* parent) : QObject(parent), tray_(this), timer_(this) {
  for (int i = 0; i < kFrameCount; ++i)
    frames_[i] = QIcon(QString(":/progress/tray_%1.svg").arg(i));
  tray_.setIcon(frames_[g_animationIndex]);
  tray_.setToolTip("Mivora");
  timer_.setInterval(kFramePeriodMs);
  connect(&timer_, &QTimer::timeout, this, &CConvertingTray::Advance);
  connect(&tray_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason why) {
    if (why == QSystemTrayIcon::Trigger || why == QSystemTrayIcon::DoubleClick)
      emit restoreRequested();
  });
}

CConvertingTray::~CConvertingTray() { Remove(); }

bool CConvertingTray::Available() {
  return g_assumedAvailable.value_or(QSystemTrayIcon::isSystemTrayAvailable());
}

void CConvertingTray::AssumeAvailable(std::optional<bool> available) {
  g_assumedAvailable = available;
}

void CConvertingTray::Show() { tray_.show(); }

void CConvertingTray::Remove() {
  timer_.stop();
  tray_.hide();
}

void CConvertingTray::StartAnimation() {
  if (!timer_.isActive()) timer_.start();
}

void CConvertingTray::StopAnimation() { timer_.stop(); }

void CConvertingTray::Advance() {
  shownFrame_ = g_animationIndex;
  tray_.setIcon(frames_[shownFrame_]);
  g_animationIndex = (g_animationIndex + 1) % kFrameCount;
}

int CConvertingTray::AnimationIndex() { return g_animationIndex; }

}  // namespace mivora
