// The saved list: which rows, when, who may write it, and restoring it.
#include "common/Folders.h"
#include "common/Log.h"
#include "sources/SourceSession.h"

namespace mivora {

void SourceSession::KeepListAt(std::string path) { savedPath_ = std::move(path); }

bool SourceSession::TakeList() {
  if (savedPath_.empty()) return false;
  if (lock_.Held() || lock_.Take(savedPath_)) return true;
  if (!toldNotOwner_)
    MLOG("SourceSession, the saved list %s is held by another running Mivora; this one keeps none",
         savedPath_.c_str());
  toldNotOwner_ = true;
  return false;
}

void SourceSession::RefuseSavedList(SavedListOffer* offer) {
  offer->kind = SavedListOffer::Kind::kRefused;
  offer->keptAs = SetAsideSourceListFile(savedPath_);
  MLOG("SourceSession, refused the saved list %s: %s; kept as %s", savedPath_.c_str(), offer->why.c_str(),
       offer->keptAs.empty() ? "it was (cannot be moved)" : offer->keptAs.c_str());
  // Left where it is, it is never written over.
  listRefused_ = offer->keptAs.empty();
}

SavedListOffer SourceSession::OpenSavedList() {
  SavedListOffer offer;
  if (!TakeList()) {
    offer.kind = SavedListOffer::Kind::kNotOurs;
    return offer;
  }
  SavedListFile file = ReadSourceListFile(savedPath_);
  if (file.state == SavedListFile::State::kAbsent) return offer;  // nothing saved yet
  SavedListReading reading;
  if (file.state == SavedListFile::State::kRead) reading = ReadSavedSourceList(file.text);
  else reading.why = file.why;
  if (!reading.list) {
    offer.why = reading.why;
    RefuseSavedList(&offer);
    return offer;
  }
  if (reading.list->cleanExit || reading.list->entries.empty()) return offer;
  offered_ = std::move(reading.list->entries);
  offer.kind = SavedListOffer::Kind::kOffered;
  offer.files = offered_.size();
  MLOG("SourceSession, the last run ended abnormally with %zu files in its list", offer.files);
  return offer;
}

void SourceSession::Restore(std::function<void(const std::vector<std::string>&)> ended) {
  restoreEnded_ = std::move(ended);
  restoring_ = true;
  notRestored_.clear();
  restoreQueued_ = offered_.size();
  for (SavedSourceEntry& entry : offered_) {
    auto saved = std::make_shared<const SavedSourceEntry>(std::move(entry));
    toList_.push_back({saved->sourcePath, AddRoute::kDrop, nullptr, saved});
  }
  offered_.clear();
  ListSome();
}

void SourceSession::NoteNotRestored(const std::string& path, const std::string& why) {
  MLOG("SourceSession, cannot restore %s: %s", path.c_str(), why.c_str());
  notRestored_.push_back(path);
}

void SourceSession::EndRestoreWhenDone() {
  if (!restoring_ || restoreQueued_ > 0 || !restoreProbes_.empty()) return;
  restoring_ = false;
  MLOG("SourceSession, restored the list; %zu files are gone", notRestored_.size());
  SaveIfChanged();
  auto ended = std::move(restoreEnded_);
  restoreEnded_ = nullptr;
  if (ended) ended(notRestored_);
}

void SourceSession::StartSaving() {
  if (!TakeList()) return;
  saving_ = true;
  SaveIfChanged();
}

bool SourceSession::ListChanged() {
  // Not pushed back by later changes: a steady stream of added files still
  // writes twice a second, not never and not per file.
  if (!saving_ || savePending_) return false;
  savePending_ = true;
  return true;
}

SavedSourceList SourceSession::CurrentList() {
  SavedSourceList list;
  std::set<std::string> stillListed;
  for (const SourceItem& item : rows_.List().Items()) {
    if (converted_.count(item.sourcePath)) {
      stillListed.insert(item.sourcePath);
      continue;
    }
    list.entries.push_back(SavedSourceEntry::Of(item));
  }
  // A converted file whose row is gone is saved again when it is added again.
  converted_ = std::move(stillListed);
  return list;
}

void SourceSession::SaveIfChanged() {
  savePending_ = false;
  if (!saving_ || restoring_ || listRefused_ || !lock_.Held()) return;
  const SavedSourceList list = CurrentList();
  std::string text = WriteSavedSourceList(list);
  if (text == written_) return;
  if (!SaveSourceListFile(savedPath_, list)) {
    MLOG("SourceSession, cannot save the list to %s", savedPath_.c_str());
    return;
  }
  written_ = std::move(text);
  ++saves_;
}

void SourceSession::Converted(const std::vector<std::string>& paths) {
  converted_.insert(paths.begin(), paths.end());
  MLOG("SourceSession, %zu converted files leave the saved list", paths.size());
  // At once: a crash right after must not offer them back.
  SaveIfChanged();
}

void SourceSession::RunStarting() {
  converted_.clear();
  SaveIfChanged();
}

void SourceSession::MarkCleanExit() {
  saving_ = false;
  savePending_ = false;
  if (!lock_.Held() || listRefused_) return;
  if (!SaveSourceListFile(savedPath_, SavedSourceList{true, {}}))
    MLOG("SourceSession, cannot mark the list clean in %s", savedPath_.c_str());
  lock_.Release();  // the list is another program's to take from now on
}

}  // namespace mivora
