#include "app/editor/PreviewWindow.h"

#include "app/editor/TransportControls.h"
#include "common/Log.h"
#include "preview/PlayStatic.h"
#include "ui/CGPImageButton.h"

namespace mivora {

PreviewWindow::PreviewWindow(const std::string& sourcePath, QWidget* parent)
    : CImgDialogBase(QSize(438, 299), QStringLiteral("Preview"), parent) {
  MLOG("Enter: PreviewWindow::PreviewWindow");
  player_ = new CPlayStatic(this);
  player_->setObjectName("videoControl");
  player_->MoveWindow(9, 28, 419, 232);

  TransportControls::Layout layout{QRect(8, 270, 274, 21), QRect(291, 269, 60, 23), QRect(357, 266, 28, 28),
                                   QRect(397, 266, 28, 28)};
  transport_ = new TransportControls(this, *player_, sourcePath, layout, nullptr, /*resetSliderOnStop=*/true);

  ui::CGPImageButton* close = AddCaptionButton(ui::CaptionButton::kClose);
  close->setGeometry(420, 3, 15, 15);
  connect(close, &QAbstractButton::clicked, this, &QDialog::reject);
}

PreviewWindow::~PreviewWindow() = default;

void PreviewWindow::showEvent(QShowEvent* event) {
  CImgDialogBase::showEvent(event);
  if (started_) return;
  started_ = true;
  transport_->OnPlayPause();  // plays at once
}

void PreviewWindow::done(int result) {
  player_->DestroyWindow();  // stops the player
  CImgDialogBase::done(result);
}

}  // namespace mivora
