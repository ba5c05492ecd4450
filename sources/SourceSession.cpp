// Adding files and taking their probes' answers (the saved list is in
// SourceSessionSaving.cpp).
#include "sources/SourceSession.h"

#include "common/Log.h"

namespace mivora {

SourceSession::SourceSession(SourceRows& rows, size_t probeWorkers, ProbePool::ProbeFunction probe) : rows_(rows) {
  probes_ = std::make_unique<ProbePool>([this] { rows_.AnswersWaiting(); }, probeWorkers, ProbeLimits{},
                                        std::move(probe));
}

SourceSession::~SourceSession() {
  probes_.reset();  // running probes end at their next read
}

bool SourceSession::Add(const std::vector<std::string>& paths, AddRoute route, const TargetProfile& target,
                        std::string* error) {
  if (paths.empty()) return true;
  // Every file of one add gets the same profile: read it once.
  auto blank = std::make_shared<SourceItem>();
  if (!BuildItemFromProfile(target, blank.get(), error)) return false;
  for (const std::string& path : paths) toList_.push_back({path, route, blank, nullptr});
  ListSome();
  return true;
}

bool SourceSession::ItemFor(const FileToList& file, SourceItem* item, std::string* why) {
  *why = WhyNotAdded(file.path, file.route, rows_.List());
  if (!why->empty()) return false;
  if (!file.saved) {
    *item = *file.blank;
    item->sourcePath = file.path;
    return true;
  }
  std::string error;
  if (ItemOfSavedEntry(*file.saved, item, &error)) return true;
  *why = error;
  return false;
}

// One queued file becomes a row and goes to the probes; false when it did not.
bool SourceSession::ListOne(FileToList file) {
  const bool restored = file.saved != nullptr;
  if (restored) --restoreQueued_;
  SourceItem item;
  std::string why;
  const bool made = ItemFor(file, &item, &why);
  const std::string savedEstimate = item.estimatedSize;
  if (made && !rows_.AppendRow(std::move(item))) {
    why = "already in the list";
  } else if (made) {
    if (restored) restoreProbes_[file.path] = savedEstimate;
    return true;
  }
  // A file restored while it was added again is simply there already.
  if (restored && why != "already in the list") NoteNotRestored(file.path, why);
  if (!restored) {
    MLOG("SourceSession, %s not added: %s", file.path.c_str(), why.c_str());
    skipped_.push_back({file.path, why});
  }
  return false;
}

void SourceSession::ListSome() {
  std::vector<std::string> toProbe;
  // The files keep the order they were given in.
  for (size_t n = 0; n < kRowsPerVisit && !toList_.empty(); ++n) {
    FileToList file = std::move(toList_.front());
    toList_.pop_front();
    std::string path = file.path;
    if (ListOne(std::move(file))) toProbe.push_back(std::move(path));
  }
  probes_->Add(toProbe);
  if (!toProbe.empty()) rows_.RowsSettled();
  if (!toList_.empty()) rows_.ListingWaiting();
  EndRestoreWhenDone();
}

bool SourceSession::ApplyAnswer(ProbePool::Answer& answer) {
  if (engineError_.empty()) engineError_ = answer.outcome.engineError;
  std::string savedEstimate;
  auto restore = restoreProbes_.find(answer.path);
  if (restore != restoreProbes_.end()) {
    savedEstimate = std::move(restore->second);
    restoreProbes_.erase(restore);
  }
  // The row may have moved, or gone (deleted, cleared) meanwhile.
  std::optional<size_t> row = rows_.List().IndexOf(answer.path);
  if (!row) return false;
  rows_.List().Update(*row, [&](SourceItem& item) {
    ApplyProbedFacts(answer.facts, &item);
    // A restored row keeps the estimate it was saved with.
    if (!savedEstimate.empty()) item.estimatedSize = savedEstimate;
  });
  rows_.RowChanged(*row);
  return true;
}

void SourceSession::TakeAnswers() {
  std::vector<ProbePool::Answer> answers = probes_->TakeAnswers();
  bool changed = false;
  for (ProbePool::Answer& answer : answers) changed = ApplyAnswer(answer) || changed;
  if (changed) rows_.RowsSettled();
  EndRestoreWhenDone();
}

bool SourceSession::AddWholeItem(SourceItem item) {
  if (!rows_.AppendRow(std::move(item))) return false;
  rows_.RowsSettled();
  return true;
}

size_t SourceSession::Pending() const { return toList_.size() + probes_->Outstanding(); }

void SourceSession::ForgetPending() {
  toList_.clear();
  probes_->DropQueued();
  // The restore ends with the rows it has; answers still running land or find no row.
  restoreQueued_ = 0;
  restoreProbes_.clear();
  EndRestoreWhenDone();
}

std::vector<SkippedFile> SourceSession::TakeSkipped() {
  std::vector<SkippedFile> taken;
  taken.swap(skipped_);
  return taken;
}

}  // namespace mivora
