#include "app/editor/TransportControls.h"

#include <QEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QSignalBlocker>
#include <QSlider>
#include <QTimer>

#include "ui/CGPImageButton.h"
#include "ui/Skin.h"

namespace mivora {
namespace {
constexpr int kTimerPeriodMs = 1000;
}

TransportControls::TransportControls(QWidget* window, CPlayStatic& player, const std::string& path,
                                     const Layout& layout, FrameCallback frameCallback, bool resetSliderOnStop)
    : QObject(window),
      player_(player),
      adapter_(player),
      transport_(std::make_unique<PlayerTransport>(adapter_, path, resetSliderOnStop)),
      frameCallback_(frameCallback) {
  slider_ = new QSlider(Qt::Horizontal, window);
  slider_->setObjectName("positionSlider");
  slider_->setRange(0, 100);
  slider_->setGeometry(layout.slider);
  slider_->installEventFilter(this);
  connect(slider_, &QSlider::sliderMoved, this, [this](int position) { transport_->OnSliderMoved(position); });

  timeLabel_ = new QLabel(window);
  timeLabel_->setObjectName("timeLabel");
  timeLabel_->setGeometry(layout.timeLabel);
  timeLabel_->setAlignment(Qt::AlignCenter);
  timeLabel_->setFont(ui::Skin::Font(12));
  timeLabel_->setStyleSheet(QStringLiteral("color: white;"));

  playPause_ = new ui::CGPImageButton(QStringLiteral("transport_play"), QStringLiteral("Play"), window);
  playPause_->setObjectName("playPauseButton");
  playPause_->setGeometry(layout.playPause);
  connect(playPause_, &QAbstractButton::clicked, this, &TransportControls::OnPlayPause);

  stop_ = new ui::CGPImageButton(QStringLiteral("transport_stop"), QStringLiteral("Stop"), window);
  stop_->setObjectName("stopButton");
  stop_->setGeometry(layout.stop);
  connect(stop_, &QAbstractButton::clicked, this, &TransportControls::OnStop);

  timer_ = new QTimer(this);
  timer_->setInterval(kTimerPeriodMs);
  connect(timer_, &QTimer::timeout, this, &TransportControls::OnTimer);
  Show();
}

TransportControls::~TransportControls() = default;

void TransportControls::OnPlayPause() {
  if (!adapter_.IsPlaying()) player_.m_pfnFrameCallback = frameCallback_;
  transport_->OnPlayPause();
  Show();
}

void TransportControls::OnStop() {
  transport_->OnStop();
  Show();
}

void TransportControls::OnTimer() {
  transport_->OnTimer();
  Show();
}

bool TransportControls::eventFilter(QObject* watched, QEvent* event) {
  if (watched == slider_) {
    auto* mouse = dynamic_cast<QMouseEvent*>(event);
    if (mouse && mouse->button() == Qt::LeftButton) {
      if (event->type() == QEvent::MouseButtonPress) transport_->OnSliderPressed();
      if (event->type() == QEvent::MouseButtonRelease) transport_->OnSliderReleased();
    }
  }
  return QObject::eventFilter(watched, event);
}

void TransportControls::Show() {
  const TransportView& view = transport_->View();
  playPause_->SetArt(view.buttonShowsPause ? QStringLiteral("transport_pause") : QStringLiteral("transport_play"));
  playPause_->setToolTip(view.buttonShowsPause ? QStringLiteral("Pause") : QStringLiteral("Play"));
  playPause_->setAccessibleName(playPause_->toolTip());
  if (view.timerRunning && !timer_->isActive()) timer_->start();
  if (!view.timerRunning) timer_->stop();
  slider_->setEnabled(view.sliderEnabled);
  if (!transport_->Dragging()) {
    QSignalBlocker quiet(slider_);
    slider_->setValue(view.slider);
  }
  timeLabel_->setText(QString::fromStdString(view.timeLabel));
}

}  // namespace mivora
