#pragma once
// The main window: the source list with its row buttons, adding files by
// dialog and by dropping, clearing, the row actions, starting a run, and the
// caption buttons. What the window knows lives in MainWindowModel; this class
// turns the user's events into its calls and shows its state.
//
// Files become rows through the source session (sources/SourceSession.h);
// this window only brings the session's requests for visits to its thread
// and draws the rows it is told about.
//
// Threads: everything runs on the user-interface thread except the probing
// of added files, which runs on the session's probe workers; their answers
// come back to this thread in batches.

#include <QPointer>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "pipeline/ConversionJob.h"
#include "pipeline/TaskBuilder.h"
#include "sources/SourceSession.h"
#include "ui/CImgDialogBase.h"
#include "windowmodels/MainWindowModel.h"

namespace mivora {

namespace ui {
class CGPImageButton;
class CRowButtonList;
}  // namespace ui
class SourceWindows;
class CMainDlg;
class CProfileBar;
class COutputFolderBar;

// Row button actions, left to right.
enum RowAction { kRowEdit = 0, kRowPreview = 1, kRowDelete = 2, kRowMoveDown = 3, kRowMoveUp = 4 };

// Asks the user for files to add (the open-file dialog); empty: cancelled.
using FileChooser = std::function<QStringList(QWidget* parent)>;
// Opens the progress window for a run over `jobs`, owned by the main window;
// it calls RestoreAfterRun() when the run ends or is cancelled and
// OnRunFinished() with the files converted after a completed run.
using ProgressWindowFactory = std::function<QWidget*(CMainDlg* owner, std::vector<ConversionJob> jobs)>;

class CMainDlg : public ui::CImgDialogBase, private SourceRows {
  Q_OBJECT

 public:
  // `userFolder`: the per-user data folder; `profilesFolder` empty: the
  // program's own.
  explicit CMainDlg(std::string userFolder, std::string profilesFolder = {}, QWidget* parent = nullptr);
  ~CMainDlg() override;

  // What the window opens; each may be left unset (the control then does nothing).
  void SetSourceWindows(SourceWindows* windows) { sourceWindows_ = windows; }
  void SetAboutAction(std::function<void(QWidget*)> about) { about_ = std::move(about); }
  void SetFileChooser(FileChooser chooser) { chooseFiles_ = std::move(chooser); }
  void SetProgressWindowFactory(ProgressWindowFactory factory) { openProgress_ = std::move(factory); }

  MainWindowModel& Model() { return model_; }
  // How files become rows, are probed, saved and restored.
  SourceSession& Session() { return *session_; }
  ui::CRowButtonList* SourceListView() const { return list_; }
  ui::CGPImageButton* AddButton() const { return add_; }
  ui::CGPImageButton* ClearButton() const { return clear_; }
  ui::CGPImageButton* StartButton() const { return start_; }
  ui::CGPImageButton* CloseButton() const { return close_; }
  ui::CGPImageButton* MinimizeButton() const { return minimize_; }
  ui::CGPImageButton* HelpButton() const { return help_; }
  ui::CGPImageButton* AboutButton() const { return about_button_; }
  QWidget* ProgressWindow() const { return progress_; }
  CProfileBar* ProfileBar() const { return profileBar_; }
  COutputFolderBar* OutputFolderBar() const { return outputBar_; }
  // The selected rows of the source list, in order.
  std::vector<size_t> SelectedRows() const;

  // Adds files as the open-file dialog or a drop does: each file's row comes
  // at once (its "Info" empty), its facts when its probe answers.
  void AddPaths(const QStringList& paths, AddRoute route);
  // Files given whose rows or facts have not come yet.
  int PendingAdds() const;
  // Waits, with the busy cursor, until every file given has its row and its
  // facts (the window keeps drawing; the user's input waits).
  void FinishAdding();
  // Appends an item whose facts are known already (no probe).
  void AddRestoredItem(SourceItem item);
  // Prepares the profile menu now when the start-up tick has not come yet.
  void EnsureProfilesReady();

  // The open-file dialog's filters in the file chooser's notation.
  static QString ChooserFilter();

  // The file list's texts for a row: File, Info, Size, Target Format,
  // Estimated Size.
  QStringList RowTexts(size_t row) const;
  // Redraws every row from the source list (after a profile change or edit).
  void RefreshRows();

 public slots:
  void OnAddFiles();
  void OnClearList();
  void OnStart();
  void OnRowButton(int row, int action);
  void OnExit();
  void OnHelp();
  // Converting has begun (hide) or ended (restore).
  void HideForRun();
  void RestoreAfterRun();
  // The last run has finished: every item's edits are dropped;
  // `convertedSources` are announced as SourcesConverted.
  void OnRunFinished(const QStringList& convertedSources = {});
  // One file of the running batch is converted: announced as SourceConverted.
  void OnSourceConverted(const QString& sourcePath);
  // A job of the run failed: its row says so, with the reason, until the next run.
  void OnJobFailed(const QString& source, const QString& reason);

 signals:
  // The list's rows or their items changed (added, moved, deleted, cleared).
  void SourcesChanged();
  // The profile controls followed the selection to `row` (-1: nothing selected).
  void SourceClicked(int row);
  // The profile controls' enabled state may have changed.
  void ProfileControlsChanged(bool enabled);
  // Every file given has its row and its facts.
  void AddingFinished();
  // A run over the list's items begins.
  void RunStarting();
  // A completed run converted these files (their rows stay).
  void SourcesConverted(const QStringList& paths);
  // The running batch has converted this file (its output is checked).
  void SourceConverted(const QString& path);

 protected:
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  // The session's rows are the model's, drawn in the list.
  SourceList& List() override { return model_.Sources(); }
  bool AppendRow(SourceItem item) override;
  void RowChanged(size_t row) override;
  void RowsSettled() override;
  void ListingWaiting() override;
  void AnswersWaiting() override;

  void BuildControls();
  // The profile, bit-rate and output-folder rows (after the settings are loaded).
  void BuildProfileControls();
  void OrderTabs();
  void TakeProbeAnswers();
  // "Clear List": the files not listed yet and their probes are dropped.
  void ForgetPendingFiles();
  void CheckAddingFinished();
  void UpdateControls();
  void RefreshTips();
  // The user changed the selection (ignored while rows are being deleted or moved).
  void FollowSelection();
  void DeleteRow(int row);
  void DeleteSelectedRows();
  void MoveRow(int row, bool down);
  void EditRow(int row);

  MainWindowModel model_;
  SourceWindows* sourceWindows_ = nullptr;
  std::function<void(QWidget*)> about_;
  FileChooser chooseFiles_;
  ProgressWindowFactory openProgress_;
  QPointer<QWidget> progress_;
  bool profilesReady_ = false;
  bool exitConfirmed_ = false;
  // Set while the window itself removes or moves rows: the list then moves
  // its selection with row numbers that no longer match the source list.
  bool rowsChanging_ = false;

  ui::CGPImageButton* add_ = nullptr;
  ui::CGPImageButton* clear_ = nullptr;
  ui::CGPImageButton* start_ = nullptr;
  ui::CGPImageButton* close_ = nullptr;
  ui::CGPImageButton* minimize_ = nullptr;
  ui::CGPImageButton* help_ = nullptr;
  ui::CGPImageButton* about_button_ = nullptr;
  ui::CRowButtonList* list_ = nullptr;
  CProfileBar* profileBar_ = nullptr;
  COutputFolderBar* outputBar_ = nullptr;

  bool listingScheduled_ = false;
  bool answersScheduled_ = false;
  std::unique_ptr<SourceSession> session_;  // made with the window, ends first
};

}  // namespace mivora
