#include "app/main/CMainDlg.h"

#include <QCloseEvent>
#include <QDesktopServices>
#include <QFileDialog>
#include <QFileInfo>
#include <QItemSelectionModel>
#include <QTimer>
#include <QUrl>

#include "app/main/MainDlgLayout.h"
#include "app/main/SourceWindows.h"
#include "app/profile/CProfileBar.h"
#include "app/profile/CProfileMenuPopup.h"
#include "common/Folders.h"
#include "common/Log.h"
#include "ui/CDlgMessageBox.h"
#include "ui/CGPImageButton.h"
#include "ui/CRowButtonList.h"
#include "ui/Skin.h"

namespace mivora {

namespace {

constexpr int kProfileTimerMs = 5000;

}  // namespace

// The open-file dialog's filters: every media file the engine reads, then every file.
QString CMainDlg::ChooserFilter() {
  QStringList patterns;
  for (std::string_view extension : MediaFileExtensions())
    patterns << QStringLiteral("*.") + QString::fromLatin1(extension.data(), static_cast<qsizetype>(extension.size()));
  return QStringLiteral("All Media Files (%1);;All Files (*)").arg(patterns.join(QLatin1Char(' ')));
}

namespace {

QStringList ChooseWithDialog(QWidget* parent) {
  // Opens where the user last added files, else in their videos folder.
  static QString lastFolder;
  if (lastFolder.isEmpty()) lastFolder = QString::fromStdString(VideosFolder());
  QStringList chosen =
      QFileDialog::getOpenFileNames(parent, QStringLiteral("Add video file(s)"), lastFolder, CMainDlg::ChooserFilter());
  if (!chosen.isEmpty()) lastFolder = QFileInfo(chosen.first()).absolutePath();
  return chosen;
}

}  // namespace

CMainDlg::CMainDlg(std::string userFolder, std::string profilesFolder, QWidget* parent)
    : CImgDialogBase(QSize(layout::kMainWidth, layout::kMainHeight), QString::fromLatin1(ui::kProductName), parent),
      model_(std::move(userFolder), std::make_shared<CProfileMenuPopup>(this), CProfileBar::MenuPoster(),
             std::move(profilesFolder)),
      chooseFiles_(ChooseWithDialog) {
  MLOG("Enter: CMainDlg::OnInitDialog");
  session_ = std::make_unique<SourceSession>(static_cast<SourceRows&>(*this));
  setAcceptDrops(true);
  BuildControls();
  model_.LoadSettings();
  BuildProfileControls();
  OrderTabs();
  UpdateControls();
  // The profile menu is built one tick later so the window shows at once.
  QTimer::singleShot(kProfileTimerMs, this, [this] { EnsureProfilesReady(); });
  MLOG("Leave: CMainDlg::OnInitDialog");
}

CMainDlg::~CMainDlg() {
  session_.reset();  // running probes end at their next read
  model_.Menu().Release();
}

void CMainDlg::BuildControls() {
  close_ = AddCaptionButton(ui::CaptionButton::kClose);
  minimize_ = AddCaptionButton(ui::CaptionButton::kMinimize);
  help_ = AddCaptionButton(ui::CaptionButton::kHelp);
  about_button_ = AddCaptionButton(ui::CaptionButton::kAbout);
  connect(close_, &QAbstractButton::clicked, this, &CMainDlg::OnExit);
  connect(minimize_, &QAbstractButton::clicked, this, &QWidget::showMinimized);
  connect(help_, &QAbstractButton::clicked, this, &CMainDlg::OnHelp);
  connect(about_button_, &QAbstractButton::clicked, this, [this] {
    if (about_) about_(this);
  });

  add_ = new ui::CGPImageButton(QString(), QStringLiteral("Add video file(s)"), this);
  add_->setText(QStringLiteral("Add File(s)"));
  add_->setGeometry(layout::kAddFiles);
  connect(add_, &QAbstractButton::clicked, this, &CMainDlg::OnAddFiles);

  clear_ = new ui::CGPImageButton(QString(), QStringLiteral("Delete all video files"), this);
  clear_->setText(QStringLiteral("Clear List"));
  clear_->setGeometry(layout::kClearList);
  connect(clear_, &QAbstractButton::clicked, this, &CMainDlg::OnClearList);

  list_ = new ui::CRowButtonList(
      {QStringLiteral("File"), QStringLiteral("Info"), QStringLiteral("Size"), QStringLiteral("Target Format"),
       QStringLiteral("Estimated Size"), QStringLiteral(" ")},
      {109, 109, 99, 114, 114, 165},
      {{QStringLiteral("row_edit"), QStringLiteral("Edit the video"), QKeySequence(Qt::CTRL | Qt::Key_E)},
       {QStringLiteral("row_preview"), QStringLiteral("Preview"), QKeySequence(Qt::CTRL | Qt::Key_P)},
       {QStringLiteral("row_delete"), QStringLiteral("Delete"), QKeySequence(Qt::Key_Delete)},
       {QStringLiteral("row_down"), QStringLiteral("Move down"), QKeySequence(Qt::ALT | Qt::Key_Down)},
       {QStringLiteral("row_up"), QStringLiteral("Move up"), QKeySequence(Qt::ALT | Qt::Key_Up)}},
      this);
  list_->setObjectName("sourceList");
  list_->setAccessibleName(QStringLiteral("Files to convert"));
  list_->setGeometry(layout::kSourceList);
  list_->SetElideAtStart(0);
  connect(list_, &ui::CRowButtonList::RowButtonClicked, this, &CMainDlg::OnRowButton);
  connect(list_, &ui::CRowButtonList::DeletePressed, this, &CMainDlg::DeleteSelectedRows);
  connect(list_->selectionModel(), &QItemSelectionModel::selectionChanged, this, &CMainDlg::FollowSelection);
  connect(list_->selectionModel(), &QItemSelectionModel::currentRowChanged, this, &CMainDlg::FollowSelection);

  start_ = new ui::CGPImageButton(QString(), QStringLiteral("Start"), this);
  start_->setText(QStringLiteral("Start"));
  start_->setFont(ui::Skin::Font(16, true));
  start_->setGeometry(layout::kStart);
  connect(start_, &QAbstractButton::clicked, this, &CMainDlg::OnStart);

  add_->setFocus();
}

void CMainDlg::UpdateControls() {
  start_->setEnabled(model_.StartEnabled());
  emit ProfileControlsChanged(model_.ProfileControlsEnabled());
}

void CMainDlg::EnsureProfilesReady() {
  if (profilesReady_) return;
  profilesReady_ = true;
  model_.OnStartupTimer(static_cast<uint64_t>(winId()));
  profileBar_->Refresh();
}

void CMainDlg::OnExit() {
  if (ui::CDlgMessageBox::Show(QString::fromLatin1(kAskExit), ui::kMbYesNo | ui::kMbIconQuestion, this) !=
      ui::kIdFirst) {
    return;
  }
  exitConfirmed_ = true;
  MLOG("CMainDlg::OnExit, leaving");
  done(QDialog::Accepted);
}

void CMainDlg::closeEvent(QCloseEvent* event) {
  // Closing from the desktop asks the same question as the "x" button.
  if (exitConfirmed_) {
    event->accept();
    return;
  }
  event->ignore();
  OnExit();
}

void CMainDlg::OnHelp() {
  const QString help = QString::fromStdString(ProgramFolderSlash()) + QStringLiteral("Help.html");
  MLOG("CMainDlg::OnHelp, file: %s", help.toUtf8().constData());
  QDesktopServices::openUrl(QUrl::fromLocalFile(help));
}

void CMainDlg::HideForRun() { hide(); }

void CMainDlg::RestoreAfterRun() {
  showNormal();
  raise();
  activateWindow();
}

void CMainDlg::OnSourceConverted(const QString& sourcePath) { emit SourceConverted(sourcePath); }
void CMainDlg::OnJobFailed(const QString& source, const QString& reason) {
  model_.OnJobFailed(source.toStdString(), reason.toStdString());
  RefreshRows();
}

void CMainDlg::OnRunFinished(const QStringList& convertedSources) {
  model_.OnRunFinished();
  RefreshRows();
  emit SourcesConverted(convertedSources);
}

}  // namespace mivora
