// Adding files to the main window: the open-file dialog and dropping. Rows
// come at once; the files are probed on the probe pool's workers and their
// facts fill the rows as the answers come.
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
  // Every file of one add gets the same profile: read it once.
  auto blank = std::make_shared<SourceItem>();
  std::string error;
  if (!BuildItemFromProfile(target, blank.get(), &error)) {
    MLOG("CMainDlg::AddPaths, adding stops: %s", error.c_str());
    return;
  }
  for (const QString& path : paths) toList_.push_back({path.toStdString(), route, blank});
  ListSomeFiles();
}

void CMainDlg::ListSomeFiles() {
  listingScheduled_ = false;
  // A slice per turn of the event loop, so that a folder of a thousand files
  // does not stop the window; the files keep the order they were given in.
  constexpr size_t kRowsPerTurn = 50;
  std::vector<std::string> toProbe;
  for (size_t n = 0; n < kRowsPerTurn && !toList_.empty(); ++n) {
    FileToList file = std::move(toList_.front());
    toList_.pop_front();
    if (!WhyNotAdded(file.path, file.route, model_.Sources()).empty()) continue;
    SourceItem item = *file.blank;
    item.sourcePath = file.path;
    if (!model_.AppendItem(std::move(item))) continue;
    list_->AppendRow(RowTexts(model_.Sources().Count() - 1));
    toProbe.push_back(file.path);
  }
  probes_->Add(toProbe);
  if (!toProbe.empty()) {
    UpdateControls();
    emit SourcesChanged();
  }
  if (!toList_.empty() && !listingScheduled_) {
    listingScheduled_ = true;
    QTimer::singleShot(0, this, [this] { ListSomeFiles(); });
  }
  CheckAddingFinished();
}

void CMainDlg::ScheduleProbeAnswers() {
  // Answers are taken in batches: one visit shows every answer that came
  // meanwhile, so many quick probes cost the window a few redraws.
  constexpr int kAnswerBatchMs = 40;
  if (answersScheduled_) return;
  answersScheduled_ = true;
  QTimer::singleShot(kAnswerBatchMs, this, [this] { TakeProbeAnswers(); });
}

void CMainDlg::TakeProbeAnswers() {
  answersScheduled_ = false;
  bool changed = false;
  for (ProbePool::Answer& answer : probes_->TakeAnswers()) {
    // The row may have moved, or gone (deleted, cleared) meanwhile.
    std::optional<size_t> row = model_.Sources().IndexOf(answer.path);
    if (!row) continue;
    model_.Sources().Update(*row, [&](SourceItem& item) { ApplyProbedFacts(answer.facts, &item); });
    list_->SetRowTexts(static_cast<int>(*row), RowTexts(*row));
    changed = true;
  }
  if (changed) emit SourcesChanged();
  CheckAddingFinished();
}

int CMainDlg::PendingAdds() const {
  return static_cast<int>(toList_.size() + (probes_ ? probes_->Outstanding() : 0));
}

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
  connect(&giveUp, &QTimer::timeout, this, [this] { probes_->GiveUpOverdueProbes(); });
  giveUp.start(kGiveUpCheckMs);
  // Rows, answers and drawing go on; clicks and keys wait until it is done.
  wait.exec(QEventLoop::ExcludeUserInputEvents);
  QApplication::restoreOverrideCursor();
}

void CMainDlg::ForgetPendingFiles() {
  toList_.clear();
  probes_->DropQueued();
}

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
