#include "app/main/SourceListKeeper.h"

#include <QTimer>
#include <fstream>
#include <sstream>

#include "app/main/CMainDlg.h"
#include "common/Folders.h"
#include "common/Log.h"
#include "ui/CDlgMessageBox.h"

namespace mivora {

namespace {

constexpr int kDebounceMs = 500;
constexpr int kPollMs = 2000;
// Missing files named in the message, at most.
constexpr int kMissingNamed = 20;

}  // namespace

SourceListKeeper::SourceListKeeper(CMainDlg& window, std::string path)
    : window_(window), path_(std::move(path)) {
  debounce_ = new QTimer(this);
  debounce_->setSingleShot(true);
  debounce_->setInterval(kDebounceMs);
  connect(debounce_, &QTimer::timeout, this, &SourceListKeeper::SaveIfChanged);
  poll_ = new QTimer(this);
  poll_->setInterval(kPollMs);
  connect(poll_, &QTimer::timeout, this, &SourceListKeeper::SaveIfChanged);
  // Not restarted by each change: a steady stream of added files still
  // writes twice a second, not never and not per file.
  connect(&window_, &CMainDlg::SourcesChanged, this, [this] {
    if (saving_ && !debounce_->isActive()) debounce_->start();
  });
  // A crash after a batch offers back only what is still to convert; a new
  // run converts every row again, so every row is worth restoring again.
  connect(&window_, &CMainDlg::SourcesConverted, this, &SourceListKeeper::LeaveOutConverted);
  connect(&window_, &CMainDlg::RunStarting, this, [this] {
    converted_.clear();
    SaveIfChanged();
  });
}

SourceListKeeper::~SourceListKeeper() {
  stop_ = true;
  if (worker_.joinable()) worker_.join();
}

SavedSourceList SourceListKeeper::CurrentList() {
  SavedSourceList list;
  std::set<std::string> stillListed;
  const SourceList& sources = window_.Model().Sources();
  for (size_t row = 0; row < sources.Count(); ++row) {
    std::optional<SourceItem> item = sources.At(row);
    if (!item) continue;
    if (converted_.count(item->sourcePath)) {
      stillListed.insert(item->sourcePath);
      continue;
    }
    list.entries.push_back(SavedSourceEntry::Of(*item));
  }
  converted_ = std::move(stillListed);
  return list;
}

void SourceListKeeper::LeaveOutConverted(const QStringList& paths) {
  for (const QString& path : paths) converted_.insert(path.toStdString());
  MLOG("SourceListKeeper, %lld converted files leave the saved list", static_cast<long long>(paths.size()));
  // At once: a crash right after the batch must not offer them back.
  SaveIfChanged();
}

void SourceListKeeper::StartSaving() {
  saving_ = true;
  poll_->start();
  SaveIfChanged();
}

void SourceListKeeper::SaveIfChanged() {
  if (!saving_ || restoring_) return;
  const SavedSourceList list = CurrentList();
  std::string text = WriteSavedSourceList(list);
  if (text == written_) return;
  if (!SaveSourceListFile(path_, list)) {
    MLOG("SourceListKeeper, cannot save the list to %s", path_.c_str());
    return;
  }
  written_ = std::move(text);
  ++saves_;
}

void SourceListKeeper::MarkCleanExit() {
  saving_ = false;
  poll_->stop();
  debounce_->stop();
  if (!SaveSourceListFile(path_, SavedSourceList{true, {}}))
    MLOG("SourceListKeeper, cannot mark the list clean in %s", path_.c_str());
}

void SourceListKeeper::OfferRestore() {
  std::ifstream file(path_, std::ios::binary);
  if (!file) return;  // nothing saved yet
  std::stringstream text;
  text << file.rdbuf();
  SavedListReading reading = ReadSavedSourceList(text.str());
  if (!reading.list) {
    MLOG("SourceListKeeper, ignored the saved list: %s", reading.why.c_str());
    return;
  }
  if (reading.list->cleanExit || reading.list->entries.empty()) return;
  const QString question = QString::fromLatin1(kRestoreQuestion).arg(reading.list->entries.size());
  MLOG("SourceListKeeper, the last run ended abnormally with %zu files in its list", reading.list->entries.size());
  if (ui::CDlgMessageBox::Show(question, ui::kMbYesNo | ui::kMbIconQuestion, &window_) != ui::kIdFirst) return;
  restoring_ = true;
  worker_ = std::thread(&SourceListKeeper::RestoreOnWorker, this, std::move(reading.list->entries));
}

void SourceListKeeper::RestoreOnWorker(std::vector<SavedSourceEntry> entries) {
  QStringList missing;
  for (const SavedSourceEntry& entry : entries) {
    if (stop_) return;
    if (!FileExists(entry.sourcePath)) {
      missing << QString::fromStdString(entry.sourcePath);
      continue;
    }
    SourceItem item;
    std::string error;
    if (!RestoreSourceItem(entry, &item, &error)) {
      MLOG("SourceListKeeper, cannot restore %s: %s", entry.sourcePath.c_str(), error.c_str());
      missing << QString::fromStdString(entry.sourcePath);
      continue;
    }
    QMetaObject::invokeMethod(
        &window_, [this, item = std::move(item)]() mutable { window_.AddRestoredItem(std::move(item)); },
        Qt::QueuedConnection);
  }
  QMetaObject::invokeMethod(this, [this, missing] { OnRestoreEnded(missing); }, Qt::QueuedConnection);
}

void SourceListKeeper::OnRestoreEnded(const QStringList& missing) {
  if (worker_.joinable()) worker_.join();
  restoring_ = false;
  MLOG("SourceListKeeper, restored the list; %lld files are gone", static_cast<long long>(missing.size()));
  SaveIfChanged();
  if (!missing.isEmpty()) {
    QStringList named = missing.mid(0, kMissingNamed);
    if (missing.size() > kMissingNamed) named << QStringLiteral("... (%1 more)").arg(missing.size() - kMissingNamed);
    ui::CDlgMessageBox::Show(QStringLiteral("These files could not be restored:\n") + named.join(QLatin1Char('\n')),
                             ui::kMbOk | ui::kMbIconInformation, &window_);
  }
  emit restoreFinished();
}

}  // namespace mivora
