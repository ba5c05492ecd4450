#include "app/progress/CDlgConverting.h"

#include <QCloseEvent>
#include <QLabel>
#include <QSocketNotifier>
#include <QTimer>

#include "app/progress/CConvertingTray.h"
#include "app/progress/DoneNotification.h"
#include "app/progress/SleepInhibitor.h"
#include "common/Log.h"
#include "common/SystemQueries.h"
#include "ui/CDlgMessageBox.h"
#include "ui/CGPComboBox.h"
#include "ui/CGPImageButton.h"
#include "ui/CImageCheckBox.h"
#include "ui/CProgressListCtrl.h"
#include "ui/Skin.h"

namespace mivora {
namespace {

const QRect kListPlace(6, 46, 707, 374);
const QRect kCancelPlace(625, 429, 81, 31);
// Option boxes: the box's top-left corner, the label 27 or 25 pixels further.
const QPoint kAutoShutdownPlace(11, 440);
const QPoint kDeleteUnfinishedPlace(365, 440);
// "Conversions at once" in the title band, left of the caption buttons.
const QRect kAtOnceLabelPlace(420, 11, 148, 22);
const QRect kAtOncePlace(572, 11, 56, 22);

QString Text(const std::string& text) { return QString::fromStdString(text); }

}  // namespace

CDlgConverting::CDlgConverting(QWidget* parent)
    : CImgDialogBase(QSize(kWidth, kHeight), "Converting", parent),
      runner_(std::make_unique<BatchRunner>(*this)) {
  setAttribute(Qt::WA_DeleteOnClose);
  setWindowTitle("Converting...");
  BuildControls();
}

CDlgConverting::~CDlgConverting() {
  // The runner withdraws a question still open (the worker takes No), stops
  // the engines and waits for the worker; it calls this view no more.
  delete engineText_;  // before the runner closes the endpoint it watches
  runner_.reset();
  TaskbarRelease();
}

void CDlgConverting::BuildControls() {
  BuildCaptionButtons();
  BuildJobList();
  BuildOptionBoxes();
  BuildConversionsAtOnce();
  BuildCancelTrayAndClock();
  list_->setFocus();
}

void CDlgConverting::BuildCaptionButtons() {
  closeButton_ = AddCaptionButton(ui::CaptionButton::kClose);
  minimizeButton_ = AddCaptionButton(ui::CaptionButton::kMinimize);
  helpButton_ = AddCaptionButton(ui::CaptionButton::kHelp);
  aboutButton_ = AddCaptionButton(ui::CaptionButton::kAbout);
  // Keys stay with the job list: Enter must not press a focused button.
  for (ui::CGPImageButton* button : {closeButton_, minimizeButton_, helpButton_, aboutButton_})
    button->setFocusPolicy(Qt::NoFocus);
  connect(closeButton_, &QAbstractButton::clicked, this, &CDlgConverting::Cancel);
  connect(minimizeButton_, &QAbstractButton::clicked, this, &CDlgConverting::MinimizeToTray);
  connect(aboutButton_, &QAbstractButton::clicked, this, [this] {
    if (aboutHandler_) aboutHandler_(this);
  });
}

void CDlgConverting::BuildJobList() {
  list_ = new ui::CProgressListCtrl(this);
  list_->setGeometry(kListPlace);
  list_->SetColumns({"File", "Target Format", "Estimated Size", "Elapsed Time", "Remaining Time",
                     "Progress", " "},
                    {100, 100, 100, 100, 100, 140, 80}, kProgress, kDelete, "Delete");
  connect(list_, &ui::CProgressListCtrl::rowButtonClicked, this,
          [this](int row) { runner_->DeleteJob(row); });
}

void CDlgConverting::BuildOptionBoxes() {
  autoShutdownBox_ =
      new ui::CImageCheckBox("Shut down the computer when the conversion is finished", 27, this);
  autoShutdownBox_->move(kAutoShutdownPlace.x(),
                         kAutoShutdownPlace.y() - (autoShutdownBox_->height() - 17) / 2);
  autoShutdownBox_->setChecked(false);
  connect(autoShutdownBox_, &QAbstractButton::toggled, this,
          [this](bool on) { runner_->SetAutoShutdown(on); });

  deleteUnfinishedBox_ = new ui::CImageCheckBox("Delete unfinished files", 25, this);
  deleteUnfinishedBox_->move(kDeleteUnfinishedPlace.x(),
                             kDeleteUnfinishedPlace.y() - (deleteUnfinishedBox_->height() - 17) / 2);
  deleteUnfinishedBox_->setChecked(true);
  runner_->SetDeleteUnfinished(true);
  connect(deleteUnfinishedBox_, &QAbstractButton::toggled, this,
          [this](bool on) { runner_->SetDeleteUnfinished(on); });
}

void CDlgConverting::BuildConversionsAtOnce() {
  auto* atOnceLabel = new QLabel("Conversions at once", this);
  atOnceLabel->setFont(ui::Skin::Font(12));
  atOnceLabel->setGeometry(kAtOnceLabelPlace);
  atOnceLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  atOnceBox_ = new ui::CGPComboBox("How many files convert at the same time", this);
  atOnceBox_->setGeometry(kAtOncePlace);
  atOnceBox_->setFocusPolicy(Qt::NoFocus);
  atOnceLabel->setBuddy(atOnceBox_);
  for (int count = 1; count <= BatchRunner::kMaxConversionsAtOnce; ++count)
    atOnceBox_->addItem(QString::number(count), count);
  atOnceBox_->setCurrentIndex(runner_->ConversionsAtOnce() - 1);
  connect(atOnceBox_, &QComboBox::activated, this, [this](int position) {
    int count = atOnceBox_->itemData(position).toInt();
    runner_->SetConversionsAtOnce(count);
    emit conversionsAtOnceChosen(count);
  });
}

void CDlgConverting::BuildCancelTrayAndClock() {
  cancelButton_ = new ui::CGPImageButton(this);
  cancelButton_->setText("Cancel");
  cancelButton_->setGeometry(kCancelPlace);
  cancelButton_->setFocusPolicy(Qt::NoFocus);
  connect(cancelButton_, &QAbstractButton::clicked, this, &CDlgConverting::Cancel);

  tray_ = new CConvertingTray(this);
  connect(tray_, &CConvertingTray::restoreRequested, this, &CDlgConverting::RestoreFromTray);

  secondTimer_ = new QTimer(this);
  secondTimer_->setInterval(1000);
  connect(secondTimer_, &QTimer::timeout, this, [this] { runner_->OnSecondTimer(); });
}

void CDlgConverting::SetConversionsAtOnce(int count) {
  runner_->SetConversionsAtOnce(count);
  atOnceBox_->setCurrentIndex(runner_->ConversionsAtOnce() - 1);
}

bool CDlgConverting::AutoShutdown() const { return autoShutdownBox_->isChecked(); }
bool CDlgConverting::DeleteUnfinished() const { return deleteUnfinishedBox_->isChecked(); }

void CDlgConverting::AddJob(const ConversionJob& job) {
  runner_->AddJob(job);
  list_->AddRow({Text(job.sourcePath), Text(job.targetExtension), Text(job.estimatedSize),
                 "00:00:00", "00:00:00"});
}

void CDlgConverting::showEvent(QShowEvent* event) {
  CImgDialogBase::showEvent(event);
  // The batch starts once the window is up and its rows are drawn.
  if (phase_ == Phase::kWaiting) QTimer::singleShot(0, this, &CDlgConverting::Start);
}

bool CDlgConverting::Start() {
  if (phase_ != Phase::kWaiting) return false;
  phase_ = Phase::kRunning;
  show();
  raise();
  activateWindow();
  list_->setFocus();
  TaskbarCreate();
  TaskbarSetState(0, kTaskbarNormal);
  tray_->Show();
  tray_->StartAnimation();

  std::string error;
  if (!runner_->Start(&error)) {
    MLOG("CDlgConverting::Start, the batch could not start: %s", error.c_str());
    Ask("The conversion could not be started: " + error, kFailureStyle);
    Finish();
    return false;
  }
  awake_ = std::make_unique<SleepInhibitor>(SleepInhibitor::ReasonFor(list_->rowCount()));
  engineText_ = new QSocketNotifier(runner_->EngineFd(), QSocketNotifier::Read, this);
  connect(engineText_, &QSocketNotifier::activated, this, &CDlgConverting::OnRunnerWake);
  secondTimer_->start();
  return true;
}

void CDlgConverting::OnRunnerWake() {
  QPointer<CDlgConverting> alive(this);
  runner_->OnEngineTextReady();  // the changes, then a question of the worker
  if (!alive || phase_ == Phase::kClosing) return;
  int lowest = runner_->Snapshot().LowestRunningPercent();
  if (lowest >= 0) TaskbarSetValue(0, static_cast<uint64_t>(lowest), 100);
}

int CDlgConverting::Ask(const std::string& text, unsigned style) {
  return ui::CDlgMessageBox::Show(Text(text), style, this);
}

bool CDlgConverting::AskYesNo(const std::string& question) {
  if (isHidden() || isMinimized()) RestoreFromTray();  // the question needs its window
  return Ask(question, kWorkerQuestionStyle) == ui::kIdFirst;
}

void CDlgConverting::JobStarted(int row) {
  if (row < list_->rowCount()) list_->scrollToItem(list_->item(row, kFile));
}

void CDlgConverting::RowProgress(int row, int percent) { list_->SetProgress(row, percent); }

void CDlgConverting::RowElapsed(int row, const std::string& text) {
  list_->SetCellText(row, kElapsed, Text(text));
}

void CDlgConverting::RowRemaining(int row, const std::string& text) {
  list_->SetCellText(row, kRemaining, Text(text));
}

void CDlgConverting::RowDeleteEnabled(int row, bool enabled) {
  list_->SetButtonEnabled(row, enabled);
}

void CDlgConverting::RowRemoved(int row) { list_->RemoveRow(row); }

void CDlgConverting::JobFinished(int row, const JobResult& result) {
  if (result.outcome == JobOutcome::kSucceeded) {
    list_->SetProgress(row, 100);
    emit sourceConverted(QString::fromStdString(result.sourcePath));
    if (!result.note.empty()) list_->SetOutcome(row, {}, Text(result.sourcePath + "\n" + result.note));
  } else if (result.outcome == JobOutcome::kFailed) {
    list_->SetOutcome(row, kFailedWord, Text(result.sourcePath + "\n" + kFailedWord + ": " + result.reason));
    emit jobFailed(Text(result.sourcePath), Text(result.reason));
  } else if (QTableWidgetItem* file = list_->item(row, kFile); file && !result.reason.empty()) {
    file->setToolTip(Text(result.sourcePath + "\n" + result.reason));
  }
}

void CDlgConverting::ControlsEnabled(bool enabled) {
  cancelButton_->setEnabled(enabled);
  autoShutdownBox_->setEnabled(enabled);
}

void CDlgConverting::BatchCompleted(const BatchSummary& summary) {
  if (phase_ == Phase::kAskingCancel) {
    endedWhileAsking_ = summary;  // handled once the user has answered
    phase_ = Phase::kEndedWhileAsking;
    return;
  }
  OnBatchCompleted(summary);
}

void CDlgConverting::WorkerFault(const std::string& report) {
  tray_->StopAnimation();
  secondTimer_->stop();
  Ask("The conversion stopped after a fault:\n" + report, kFailureStyle);
}

void CDlgConverting::OnBatchCompleted(const BatchSummary& summary) {
  if (phase_ == Phase::kClosing || phase_ == Phase::kReporting) return;
  // A close or cancel while the notice is open waits for it.
  phase_ = Phase::kReporting;
  secondTimer_->stop();
  tray_->StopAnimation();
  awake_.reset();
  // Nobody watches a window in the tray or minimised: the desktop says it.
  if ((isHidden() || isMinimized()) && !summary.shuttingDown) NotifyBatchDone(summary.Text());
  RestoreFromTray();
  TaskbarSetValue(0, 0, 100);
  // With the computer shutting down nobody is there to answer a notice.
  if (!summary.shuttingDown)
    Ask(summary.Text(), summary.AllSucceeded() ? kSuccessStyle : kFailureStyle);
  emit restoreMainWindow();
  QStringList converted;
  for (const JobResult& job : summary.jobs) {
    if (job.outcome == JobOutcome::kSucceeded) converted << QString::fromStdString(job.sourcePath);
  }
  emit batchCompleted(converted);
  phase_ = Phase::kClosing;  // restoreMainWindow is sent
  tray_->Remove();
  close();
}

void CDlgConverting::Cancel() {
  if (phase_ != Phase::kWaiting && phase_ != Phase::kRunning) return;
  if (runner_->IsRunning()) {
    phase_ = Phase::kAskingCancel;
    int answer =
        Ask("Are you sure you want to cancel the task and then close this window?", kCancelQuestionStyle);
    if (phase_ == Phase::kEndedWhileAsking) {
      // The batch ended while the question was open: report it as ended.
      phase_ = Phase::kRunning;
      OnBatchCompleted(endedWhileAsking_);
      return;
    }
    phase_ = Phase::kRunning;
    if (answer != ui::kIdFirst) return;
    secondTimer_->stop();
    tray_->StopAnimation();
    runner_->Cancel(false);  // withdraws a question, stops the engines, waits for the worker
  }
  Finish();
}

void CDlgConverting::Finish() {
  if (phase_ == Phase::kClosing) return;
  phase_ = Phase::kClosing;
  cancelButton_->setEnabled(false);
  autoShutdownBox_->setEnabled(false);
  secondTimer_->stop();
  awake_.reset();
  tray_->Remove();
  // The main window comes back however the batch ended, so the program is
  // never left without a visible window.
  emit restoreMainWindow();
  close();
}

void CDlgConverting::closeEvent(QCloseEvent* event) {
  if (phase_ != Phase::kClosing) {
    // The desktop's close command cancels like the Close button.
    event->ignore();
    QTimer::singleShot(0, this, &CDlgConverting::Cancel);
    return;
  }
  tray_->Remove();
  CImgDialogBase::closeEvent(event);
}

void CDlgConverting::MinimizeToTray() {
  placeBeforeTray_ = pos();
  if (CConvertingTray::Available()) {
    hide();
  } else {
    showMinimized();
  }
}

void CDlgConverting::RestoreFromTray() {
  bool wasHidden = isHidden();
  showNormal();
  if (wasHidden && !placeBeforeTray_.isNull()) move(placeBeforeTray_);
  raise();
  activateWindow();
}

}  // namespace mivora
