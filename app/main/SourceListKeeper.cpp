#include "app/main/SourceListKeeper.h"

#include <QTimer>

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
  // Each file as soon as it is converted: a kill mid-batch offers back only
  // what is still to convert.
  connect(&window_, &CMainDlg::SourceConverted, this, [this](const QString& path) { LeaveOutConverted({path}); });
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
  // At once: a crash right after must not offer them back.
  SaveIfChanged();
}

bool SourceListKeeper::TakeList() {
  if (lock_.Held()) return true;
  if (lock_.Take(path_)) return true;
  if (!toldNotOwner_)
    MLOG("SourceListKeeper, the saved list %s is held by another running Mivora; this one keeps none", path_.c_str());
  toldNotOwner_ = true;
  return false;
}

void SourceListKeeper::RefuseSavedList(const std::string& why) {
  const std::string aside = SetAsideSourceListFile(path_);
  MLOG("SourceListKeeper, refused the saved list %s: %s; kept as %s", path_.c_str(), why.c_str(),
       aside.empty() ? "it was (cannot be moved)" : aside.c_str());
  listRefused_ = aside.empty();
  const QString kept = aside.empty()
                           ? QStringLiteral("It was left where it is, and the list is not kept during this run.")
                           : QStringLiteral("It was kept as %1.").arg(QString::fromStdString(aside));
  ui::CDlgMessageBox::Show(QStringLiteral("Mivora could not read its saved list of files %1 (%2), so it cannot "
                                          "offer those files back; add them again if you need them. %3")
                               .arg(QString::fromStdString(path_), QString::fromStdString(why), kept),
                           ui::kMbOk | ui::kMbIconInformation, &window_);
}

void SourceListKeeper::StartSaving() {
  if (!TakeList()) return;
  saving_ = true;
  poll_->start();
  SaveIfChanged();
}

void SourceListKeeper::SaveIfChanged() {
  if (!saving_ || restoring_ || listRefused_ || !lock_.Held()) return;
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
  if (!lock_.Held() || listRefused_) return;
  if (!SaveSourceListFile(path_, SavedSourceList{true, {}}))
    MLOG("SourceListKeeper, cannot mark the list clean in %s", path_.c_str());
  lock_.Release();  // the list is another program's to take from now on
}

void SourceListKeeper::OfferRestore() {
  if (!TakeList()) return;
  SavedListFile file = ReadSourceListFile(path_);
  if (file.state == SavedListFile::State::kAbsent) return;  // nothing saved yet
  SavedListReading reading;
  if (file.state == SavedListFile::State::kRead) reading = ReadSavedSourceList(file.text);
  else reading.why = file.why;
  if (!reading.list) {
    RefuseSavedList(reading.why);
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
    // The program's end stops the probe (a pipe would keep it to its limit).
    ProbeLimits limits;
    limits.cancel = &stop_;
    if (!RestoreSourceItem(entry, &item, &error, limits)) {
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
