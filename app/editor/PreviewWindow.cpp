#include "app/editor/PreviewWindow.h"

#include <QLabel>

#include "app/editor/TransportControls.h"
#include "common/Log.h"
#include "preview/PlayStatic.h"
#include "ui/CGPImageButton.h"
#include "ui/Skin.h"

namespace mivora {

PreviewWindow::PreviewWindow(const std::string& sourcePath, QWidget* parent, bool hasPicture)
    : CImgDialogBase(QSize(438, 299), QStringLiteral("Preview"), parent),
      sourcePath_(sourcePath),
      hasPicture_(hasPicture) {
  MLOG("Enter: PreviewWindow::PreviewWindow");
  player_ = new CPlayStatic(this);
  player_->setObjectName("videoControl");
  player_->MoveWindow(9, 28, 419, 232);

  TransportControls::Layout layout{QRect(8, 270, 274, 21), QRect(291, 269, 60, 23), QRect(357, 266, 28, 28),
                                   QRect(397, 266, 28, 28)};
  transport_ = new TransportControls(this, *player_, sourcePath, layout, nullptr, /*resetSliderOnStop=*/true);

  // Over the picture: why the file does not play, when it does not.
  problem_ = new QLabel(this);
  problem_->setObjectName("previewProblem");
  problem_->setGeometry(29, 48, 379, 192);
  problem_->setAlignment(Qt::AlignCenter);
  problem_->setWordWrap(true);
  problem_->setFont(ui::Skin::Font(12));
  problem_->setStyleSheet(QStringLiteral("color: white; background: transparent;"));
  problem_->hide();
  connect(player_, &CPlayStatic::frameDrawn, this, [this] { framesDrawn_ = true; });
  connect(player_, &CPlayStatic::playingEnded, this, &PreviewWindow::OnPlayingEnded);

  ui::CGPImageButton* close = AddCaptionButton(ui::CaptionButton::kClose);
  close->setGeometry(420, 3, 15, 15);
  connect(close, &QAbstractButton::clicked, this, &QDialog::reject);
}

PreviewWindow::~PreviewWindow() = default;

void PreviewWindow::showEvent(QShowEvent* event) {
  CImgDialogBase::showEvent(event);
  if (started_) return;
  started_ = true;
  // A file that is gone or locked is said to be so, not played as black.
  if (FailureKind source = CheckSource(sourcePath_); source != FailureKind::kNone) {
    ShowProblem(source);
    return;
  }
  if (!hasPicture_) ShowProblem(FailureKind::kNoPicture);
  transport_->OnPlayPause();  // plays at once
}

QString PreviewWindow::Problem() const { return problem_->isVisible() ? problem_->text() : QString(); }

void PreviewWindow::ShowProblem(FailureKind kind) {
  const std::string text = PreviewProblemMessage(kind);
  MLOG("PreviewWindow, %s: %s", sourcePath_.c_str(), text.c_str());
  problem_->setText(QString::fromStdString(text));
  problem_->setAccessibleName(problem_->text());
  problem_->show();
  problem_->raise();
}

void PreviewWindow::OnPlayingEnded(int result) {
  // A player that ends by itself without a single picture could not play
  // the file (sound-only files are told apart when the window opens).
  if (result == CPlayStatic::kPlayerNotStarted) ShowProblem(FailureKind::kEngineCannotStart);
  else if (result == CPlayStatic::kPlayerEnded && !framesDrawn_ && hasPicture_)
    ShowProblem(FailureKind::kSourceDamaged);
}

void PreviewWindow::done(int result) {
  player_->DestroyWindow();  // stops the player
  CImgDialogBase::done(result);
}

}  // namespace mivora
