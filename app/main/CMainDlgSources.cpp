// Adding files to the main window: the open-file dialog and dropping go to
// the source session; its rows are drawn here, and its requests for visits
// are brought to the window's thread.
#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QEventLoop>
#include <QMimeData>
#include <QTimer>
#include <QUrl>

#include "app/main/CMainDlg.h"
#include "common/Folders.h"
#include "common/Format.h"
#include "common/Log.h"
#include "ui/CRowButtonList.h"

namespace mivora {

namespace {

// Local files named by a drop (other addresses are not files here).
QStringList DroppedPaths(const QMimeData* data) {
  QStringList paths;
  if (!data || !data->hasUrls()) return paths;
  for (const QUrl& url : data->urls()) {
    if (url.isLocalFile()) paths << url.toLocalFile();
  }
  return paths;
}

}  // namespace

void CMainDlg::OnAddFiles() {
  if (!chooseFiles_) return;
  const QStringList paths = chooseFiles_(this);
  if (paths.isEmpty()) return;
  AddPaths(paths, AddRoute::kDialog);
}

void CMainDlg::dragEnterEvent(QDragEnterEvent* event) {
  if (!DroppedPaths(event->mimeData()).isEmpty()) event->acceptProposedAction();
}

void CMainDlg::dropEvent(QDropEvent* event) {
  const QStringList paths = DroppedPaths(event->mimeData());
  if (paths.isEmpty()) return;
  event->acceptProposedAction();
  AddPaths(paths, AddRoute::kDrop);
}

void CMainDlg::AddPaths(const QStringList& paths, AddRoute route) {
  EnsureProfilesReady();
  TargetProfile target;
  if (!model_.CurrentTarget(&target)) {
    MLOG("CMainDlg::AddPaths, no profile to add files with");
    return;
  }
  std::vector<std::string> files;
  for (const QString& path : paths) files.push_back(path.toStdString());
  std::string error;
  if (!session_->Add(files, route, target, &error)) MLOG("CMainDlg::AddPaths, adding stops: %s", error.c_str());
  session_->TakeSkipped();  // the session logged why
  CheckAddingFinished();
}

bool CMainDlg::AppendRow(SourceItem item) {
  const bool edited = item.editSettings != nullptr;
  if (!model_.AppendItem(std::move(item))) return false;
  const size_t row = model_.Sources().Count() - 1;
  list_->AppendRow(RowTexts(row));
  // An edited item's tooltip is its edit summary.
  if (edited) {
    model_.RefreshEditSummary(row);
    RefreshTips();
  }
  return true;
}

void CMainDlg::RowChanged(size_t row) { list_->SetRowTexts(static_cast<int>(row), RowTexts(row)); }

void CMainDlg::RowsSettled() {
  UpdateControls();
  emit SourcesChanged();
}

void CMainDlg::ListingWaiting() {
  // The rest of the files on the next turn of the event loop, so the window
  // keeps drawing while a folder of a thousand files is listed.
  if (listingScheduled_) return;
  listingScheduled_ = true;
  QTimer::singleShot(0, this, [this] {
    listingScheduled_ = false;
    session_->ListSome();
    CheckAddingFinished();
  });
}

void CMainDlg::AnswersWaiting() {
  // On a probe worker: only the visit is scheduled, on the window's thread.
  QMetaObject::invokeMethod(
      this,
      [this] {
        if (answersScheduled_) return;
        answersScheduled_ = true;
        const int batchMs = static_cast<int>(SourceSession::kAnswerBatch.count());
        QTimer::singleShot(batchMs, this, [this] { TakeProbeAnswers(); });
      },
      Qt::QueuedConnection);
}

void CMainDlg::TakeProbeAnswers() {
  answersScheduled_ = false;
  session_->TakeAnswers();
  CheckAddingFinished();
}

int CMainDlg::PendingAdds() const { return static_cast<int>(session_ ? session_->Pending() : 0); }

void CMainDlg::CheckAddingFinished() {
  if (PendingAdds() == 0) emit AddingFinished();
}

void CMainDlg::FinishAdding() {
  constexpr int kGiveUpCheckMs = 1000;
  if (PendingAdds() == 0) return;
  MLOG("CMainDlg::FinishAdding, waiting for %d files", PendingAdds());
  QApplication::setOverrideCursor(Qt::WaitCursor);
  QEventLoop wait;
  connect(this, &CMainDlg::AddingFinished, &wait, &QEventLoop::quit);
  // A probe stuck beyond every limit is given up, so Start always goes on.
  QTimer giveUp;
  connect(&giveUp, &QTimer::timeout, this, [this] { session_->GiveUpOverdueProbes(); });
  giveUp.start(kGiveUpCheckMs);
  // Rows, answers and drawing go on; clicks and keys wait until it is done.
  wait.exec(QEventLoop::ExcludeUserInputEvents);
  QApplication::restoreOverrideCursor();
}

void CMainDlg::ForgetPendingFiles() { session_->ForgetPending(); }

QStringList CMainDlg::RowTexts(size_t row) const {
  std::optional<SourceItem> item = model_.Sources().At(row);
  if (!item) return {};
  const std::string failure = model_.RowFailure(row);
  return {QString::fromStdString(item->sourcePath),
          QString::fromStdString(failure.empty() ? item->InfoText() : failure),
          QString::fromStdString(FormatByteSize(FileSize(item->sourcePath))),
          QString::fromStdString(item->targetExtension), QString::fromStdString(item->estimatedSize)};
}

}  // namespace mivora
