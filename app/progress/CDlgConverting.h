#pragma once
// The progress window of one batch run: a row per job with its progress,
// elapsed and remaining time and a Delete button, "Conversions at once"
// (how many rows convert side by side), the two options (shut down when
// finished, delete unfinished files), Cancel, the caption buttons, and the
// tray icon that animates while the batch runs.
//
// The batch itself (worker, progress arithmetic, deleting, cancelling) is
// the core's BatchRunner; this window is its BatchView and drives it on the
// window's thread: a socket notifier on the runner's descriptor wakes it
// and it pulls (the runner's changes, a question of the worker, then a
// snapshot for the launcher's progress); a one-second timer is its clock.
//
// Threads: everything here runs on the window's thread. The runner calls
// this view only from inside the window's own calls into it, with no lock
// held; the worker never calls the window. The desktop's buses (sleep
// inhibitor, launcher, notices) do their talking on a thread of their own.
//
// The window deletes itself when it closes. Before it closes it emits
// restoreMainWindow (the main window shows itself again); after a batch
// that ended by itself it also emits batchCompleted with the files it
// converted.

#include <QPoint>
#include <QPointer>
#include <QStringList>

#include <functional>
#include <memory>

#include "pipeline/BatchRunner.h"
#include "pipeline/BatchView.h"
#include "ui/CImgDialogBase.h"

class QSocketNotifier;
class QTimer;

namespace mivora {

namespace ui {
class CGPComboBox;
class CGPImageButton;
class CImageCheckBox;
class CProgressListCtrl;
}  // namespace ui
class CConvertingTray;
class SleepInhibitor;

class CDlgConverting : public ui::CImgDialogBase, public BatchView {
  Q_OBJECT

 public:
  static constexpr int kWidth = 719;
  static constexpr int kHeight = 469;
  // Columns of the job list.
  enum Column { kFile, kTargetFormat, kEstimatedSize, kElapsed, kRemaining, kProgress, kDelete };

  // Style flags of the questions and notices.
  static constexpr unsigned kWorkerQuestionStyle = 0x24;  // Yes/No, question picture
  static constexpr unsigned kCancelQuestionStyle = 0x44;  // Yes/No, information picture
  static constexpr unsigned kSuccessStyle = 0x40;         // OK, information picture
  static constexpr unsigned kFailureStyle = 0x10;         // OK, error picture

  explicit CDlgConverting(QWidget* parent = nullptr);
  ~CDlgConverting() override;

  // Before Start: one row per job, in order.
  void AddJob(const ConversionJob& job);
  // Shows the window, adds the tray icon and starts the worker; showing the
  // window the first time starts it too. False when the batch could not
  // start (the user has been told and the window closes) or had started.
  bool Start();

  // The About caption button calls this with the window as parent.
  void SetAboutHandler(std::function<void(QWidget*)> handler) { aboutHandler_ = std::move(handler); }

  // Cancel, Close and the desktop's close command: asks while the batch
  // runs; on Yes stops it, waits for the worker and closes the window.
  void Cancel();
  // Minimize: hides the window behind its tray icon (minimises it where the
  // desktop shows no tray icons).
  void MinimizeToTray();
  // The tray icon's click: the window comes back where it was.
  void RestoreFromTray();

  // "Conversions at once": shown in the window and handed to the batch; may
  // change while it runs. The user's choice is sent as
  // conversionsAtOnceChosen.
  void SetConversionsAtOnce(int count);
  int ConversionsAtOnce() const { return runner_->ConversionsAtOnce(); }

  bool AutoShutdown() const;
  bool DeleteUnfinished() const;

  // The controls, for the window's tests and screenshots.
  ui::CProgressListCtrl* JobList() const { return list_; }
  ui::CImageCheckBox* AutoShutdownBox() const { return autoShutdownBox_; }
  ui::CImageCheckBox* DeleteUnfinishedBox() const { return deleteUnfinishedBox_; }
  ui::CGPComboBox* ConversionsAtOnceBox() const { return atOnceBox_; }
  ui::CGPImageButton* CancelButton() const { return cancelButton_; }
  ui::CGPImageButton* MinimizeButton() const { return minimizeButton_; }
  ui::CGPImageButton* CloseButton() const { return closeButton_; }
  ui::CGPImageButton* AboutButton() const { return aboutButton_; }
  CConvertingTray* Tray() const { return tray_; }
  const BatchRunner& Runner() const { return *runner_; }

  // BatchView (on the window's thread).
  bool AskYesNo(const std::string& question) override;
  void JobStarted(int row) override;
  void RowProgress(int row, int percent) override;
  void RowElapsed(int row, const std::string& text) override;
  void RowRemaining(int row, const std::string& text) override;
  void RowDeleteEnabled(int row, bool enabled) override;
  void RowRemoved(int row) override;
  void JobFinished(int row, const JobResult& result) override;
  void ControlsEnabled(bool enabled) override;
  void BatchCompleted(const BatchSummary& summary) override;
  void WorkerFault(const std::string& report) override;

 signals:
  // The main window shows itself again (the batch ended or was cancelled).
  void restoreMainWindow();
  // The batch ended by itself; the main window drops every item's edit
  // settings and returns to its idle state. `convertedSources`: the source
  // paths of the jobs that succeeded.
  void batchCompleted(const QStringList& convertedSources);
  // One job's output is in place and checked: its source is converted.
  void sourceConverted(const QString& sourcePath);
  // A job failed: the main list shows `reason` on the row of `source`.
  void jobFailed(const QString& source, const QString& reason);
  // The user picked another number of conversions at once.
  void conversionsAtOnceChosen(int count);

 protected:
  void closeEvent(QCloseEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  // Where the window is in its life; one value instead of separate flags.
  enum class Phase {
    kWaiting,          // built, the batch not started
    kRunning,          // the batch runs
    kAskingCancel,     // the cancel question is open
    kEndedWhileAsking, // the batch ended while the cancel question was open
    kReporting,        // the completion notice is shown
    kClosing,          // closing for good: restoreMainWindow is sent
  };

  void BuildControls();
  void BuildCaptionButtons();
  void BuildJobList();
  void BuildOptionBoxes();
  void BuildConversionsAtOnce();
  void BuildCancelTrayAndClock();
  // The runner's descriptor is readable: pull what it has.
  void OnRunnerWake();
  int Ask(const std::string& text, unsigned style);
  void OnBatchCompleted(const BatchSummary& summary);
  // Closes the window for good: tray icon gone, main window told.
  void Finish();

  std::unique_ptr<BatchRunner> runner_;
  ui::CProgressListCtrl* list_ = nullptr;
  ui::CImageCheckBox* autoShutdownBox_ = nullptr;
  ui::CImageCheckBox* deleteUnfinishedBox_ = nullptr;
  ui::CGPComboBox* atOnceBox_ = nullptr;
  ui::CGPImageButton* cancelButton_ = nullptr;
  ui::CGPImageButton* closeButton_ = nullptr;
  ui::CGPImageButton* minimizeButton_ = nullptr;
  ui::CGPImageButton* helpButton_ = nullptr;
  ui::CGPImageButton* aboutButton_ = nullptr;
  CConvertingTray* tray_ = nullptr;
  QSocketNotifier* engineText_ = nullptr;
  QTimer* secondTimer_ = nullptr;
  std::function<void(QWidget*)> aboutHandler_;
  // Held from the start of the batch to its end; keeps the computer awake.
  std::unique_ptr<SleepInhibitor> awake_;

  QPoint placeBeforeTray_;
  Phase phase_ = Phase::kWaiting;
  BatchSummary endedWhileAsking_;  // the summary, in kEndedWhileAsking
};

}  // namespace mivora
