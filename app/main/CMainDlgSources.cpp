// Adding files to the main window: the open-file dialog and dropping.
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
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
  ReapWorkers();
  std::vector<std::string> files;
  for (const QString& path : paths) files.push_back(path.toStdString());

  // Probing takes a while per file, so it runs on a worker; the finished
  // items come back to this thread, which alone changes the list and rows.
  auto done = std::make_shared<std::atomic<bool>>(false);
  auto stop = stopWorkers_;
  const SourceList* listed = &model_.Sources();
  ++pendingAdds_;
  workers_.push_back({std::thread([this, files, target, route, done, stop, listed] {
                        for (const std::string& file : files) {
                          if (stop->load()) break;
                          if (listed->Contains(file)) continue;  // saves a probe; the append checks again
                          SourceList built;
                          AddFilesResult result = AddFiles(built, {file}, target, route);
                          if (result.profileFailed) {
                            MLOG("CMainDlg::AddPaths, adding stops at %s: %s", file.c_str(),
                                 result.error.c_str());
                            break;
                          }
                          std::optional<SourceItem> item = built.At(0);
                          if (!item || stop->load()) continue;
                          QMetaObject::invokeMethod(
                              this, [this, item = std::move(*item)]() mutable { OnItemBuilt(std::move(item)); },
                              Qt::QueuedConnection);
                        }
                        done->store(true);
                        if (!stop->load()) QMetaObject::invokeMethod(this, [this] { OnWorkerEnded(); }, Qt::QueuedConnection);
                      }),
                      done});
}

void CMainDlg::OnItemBuilt(SourceItem item) {
  if (!model_.AppendItem(std::move(item))) return;
  const size_t row = model_.Sources().Count() - 1;
  list_->AppendRow(RowTexts(row));
  UpdateControls();
  emit SourcesChanged();
}

void CMainDlg::OnWorkerEnded() {
  --pendingAdds_;
  ReapWorkers();
  emit AddingFinished();
}

void CMainDlg::ReapWorkers() {
  for (auto it = workers_.begin(); it != workers_.end();) {
    if (it->done->load()) {
      it->thread.join();
      it = workers_.erase(it);
    } else {
      ++it;
    }
  }
}

QStringList CMainDlg::RowTexts(size_t row) const {
  std::optional<SourceItem> item = model_.Sources().At(row);
  if (!item) return {};
  return {QString::fromStdString(item->sourcePath), QString::fromStdString(item->InfoText()),
          QString::fromStdString(FormatByteSize(FileSize(item->sourcePath))),
          QString::fromStdString(item->targetExtension), QString::fromStdString(item->estimatedSize)};
}

}  // namespace mivora
