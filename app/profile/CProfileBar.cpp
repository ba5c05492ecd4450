#include "app/profile/CProfileBar.h"

#include <QDialog>
#include <QEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>

#include "app/profile/CDlgAdjustProfiles.h"
#include "app/profile/CProfileMenuPopup.h"
#include "app/profile/ListControlMirror.h"
#include "ui/CGPComboBox.h"
#include "ui/CGPImageButton.h"
#include "ui/Skin.h"

namespace mivora {
namespace {

constexpr int kRowHeight = 26;
constexpr int kRowGap = 6;

uint64_t WindowNumber(CProfileBar* bar) { return reinterpret_cast<uintptr_t>(bar); }

}  // namespace

MessagePoster CProfileBar::MenuPoster() {
  // Called by ProfileMenu::Show while the bar that called it is alive; a bar
  // destroyed before the queued call drops it.
  return [](uint64_t window, unsigned message) {
    if (message != kProfileChosenMessage || window == 0) return;
    auto* bar = reinterpret_cast<CProfileBar*>(static_cast<uintptr_t>(window));
    QMetaObject::invokeMethod(bar, &CProfileBar::OnProfileChosen, Qt::QueuedConnection);
  };
}

CProfileBar::CProfileBar(QWidget* parent, ProfileMenu& menu, ProfilePanel& panel,
                         SelectedRows selectedRows)
    : QWidget(parent), menu_(menu), panel_(panel), selectedRows_(std::move(selectedRows)) {
  CreateControls();
  LayOutControls();
  connect(target_, &QAbstractButton::clicked, this, &CProfileBar::ShowProfileMenu);
  connect(edit_, &QAbstractButton::clicked, this, &CProfileBar::OnEditProfile);
  connect(video_, &QComboBox::activated, this,
          [this](int position) { OnBitratePicked(video_, panel_.VideoBitrates(), position); });
  connect(audio_, &QComboBox::activated, this,
          [this](int position) { OnBitratePicked(audio_, panel_.AudioBitrates(), position); });
  Refresh();
}

void CProfileBar::CreateControls() {
  target_ = new ui::CGPImageButton(this);
  target_->setText(tr("Target"));
  target_->setObjectName("targetButton");
  target_->setToolTip(tr("Choose the profile"));
  name_ = new QLineEdit(this);
  name_->setObjectName("profileName");
  name_->setAccessibleName(tr("Profile"));
  name_->setFont(ui::Skin::Font(12));
  name_->setReadOnly(true);
  name_->setFocusPolicy(Qt::NoFocus);
  name_->setCursor(Qt::PointingHandCursor);
  name_->installEventFilter(this);
  QPalette field = name_->palette();
  field.setColor(QPalette::Disabled, QPalette::Base, ui::colors::kListAlternate);
  name_->setPalette(field);
  edit_ = new ui::CGPImageButton(this);
  edit_->setObjectName("editProfileButton");
  edit_->setToolTip(tr("Adjust profiles"));
  // Its caption is the profile's file extension; its name says what it does.
  edit_->setAccessibleName(tr("Adjust profiles"));
  video_ = new ui::CGPComboBox(tr("Set the video quality"), this);
  video_->setObjectName("videoBitrate");
  audio_ = new ui::CGPComboBox(tr("Set the audio quality"), this);
  audio_->setObjectName("audioBitrate");
  for (QWidget* control : {static_cast<QWidget*>(target_), static_cast<QWidget*>(name_),
                           static_cast<QWidget*>(edit_), static_cast<QWidget*>(video_),
                           static_cast<QWidget*>(audio_)})
    control->setFixedHeight(kRowHeight);
  target_->setFixedWidth(92);
  edit_->setMinimumWidth(72);
}

void CProfileBar::LayOutControls() {
  auto* grid = new QGridLayout(this);
  grid->setContentsMargins(0, 0, 0, 0);
  grid->setHorizontalSpacing(8);
  grid->setVerticalSpacing(kRowGap);
  auto* profileRow = new QHBoxLayout;
  profileRow->setSpacing(8);
  profileRow->addWidget(name_, 1);
  profileRow->addWidget(edit_);
  grid->addWidget(target_, 0, 0);
  grid->addLayout(profileRow, 0, 1);
  auto* qualityRow = new QHBoxLayout;
  qualityRow->setSpacing(8);
  bool first = true;
  for (auto [caption, box] : {std::pair{tr("Video"), video_}, std::pair{tr("Audio"), audio_}}) {
    auto* label = new QLabel(caption, this);
    label->setFont(ui::Skin::Font(12));
    label->setBuddy(box);
    if (!first) qualityRow->addSpacing(16);
    qualityRow->addWidget(label);
    qualityRow->addWidget(box, 1);
    first = false;
  }
  grid->addLayout(qualityRow, 1, 1);
}

void CProfileBar::Refresh() {
  name_->setText(QString::fromStdString(panel_.NameText()));
  name_->setCursorPosition(0);
  edit_->setText(QString::fromStdString(panel_.EditCaption()));
  ShowListControl(panel_.VideoBitrates(), *video_, enabled_);
  ShowListControl(panel_.AudioBitrates(), *audio_, enabled_);
  for (QWidget* control : {static_cast<QWidget*>(name_), static_cast<QWidget*>(target_),
                           static_cast<QWidget*>(edit_)})
    control->setEnabled(enabled_);
  // A bit-rate list's caption looks like its list.
  for (QLabel* label : findChildren<QLabel*>())
    if (label->buddy()) label->setEnabled(label->buddy()->isEnabled());
}

void CProfileBar::OnSourceClicked(int) {
  enabled_ = panel_.ControlsEnabled();
  Refresh();
}

void CProfileBar::SetControlsEnabled(bool enabled) {
  enabled_ = enabled;
  Refresh();
}

void CProfileBar::ShowProfileMenu() {
  if (!enabled_) return;
  QPoint fieldTopLeft = name_->mapToGlobal(QPoint(0, 0));
  menu_.Show(WindowNumber(this), fieldTopLeft.x(), fieldTopLeft.y() - kProfileMenuBoxHeight,
             kProfileChosenMessage);
}

void CProfileBar::OnProfileChosen() {
  bool rowsChanged = panel_.OnProfileChosen(selectedRows_());
  Refresh();
  if (rowsChanged) emit this->rowsChanged();
}

void CProfileBar::OnBitratePicked(QComboBox* box, ListControl& list, int position) {
  if (!list.Select(position)) {
    ShowListControl(list, *box, enabled_);
    return;
  }
  bool rowsChanged = panel_.OnBitrateChanged(selectedRows_());
  Refresh();
  if (rowsChanged) emit this->rowsChanged();
}

void CProfileBar::OnEditProfile() {
  std::vector<size_t> rows = selectedRows_();
  EditProfileTarget target = panel_.OnEditProfile(rows);
  CDlgAdjustProfiles dialog(window(), target.path, target.preselection);
  if (dialog.exec() != QDialog::Accepted) return;
  bool rowsChanged = panel_.OnEditProfileAccepted(rows);
  Refresh();
  if (rowsChanged) emit this->rowsChanged();
}

bool CProfileBar::eventFilter(QObject* watched, QEvent* event) {
  if (watched == name_ && event->type() == QEvent::MouseButtonPress && name_->isEnabled()) {
    ShowProfileMenu();
    return true;
  }
  return QWidget::eventFilter(watched, event);
}

}  // namespace mivora
