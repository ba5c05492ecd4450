#include "sources/AddFiles.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <utility>

#include "pipeline/EnginePath.h"
#include "sources/SourceSession.h"

namespace mivora {

namespace {

// Rows in a plain list; the session's requests for visits wake the waiting thread.
class WaitingRows : public SourceRows {
 public:
  explicit WaitingRows(SourceList& list) : list_(list) {}
  SourceList& List() override { return list_; }
  void ListingWaiting() override { listing_ = true; }
  void AnswersWaiting() override {
    std::lock_guard<std::mutex> lock(mutex_);
    answers_ = true;
    wake_.notify_all();
  }
  bool TakeListingWanted() { return std::exchange(listing_, false); }
  // Until answers wait, or `limit` passes.
  void WaitForAnswers(std::chrono::milliseconds limit) {
    std::unique_lock<std::mutex> lock(mutex_);
    wake_.wait_for(lock, limit, [this] { return answers_; });
    answers_ = false;
  }

 private:
  SourceList& list_;
  bool listing_ = false;  // the owner's thread only
  std::mutex mutex_;
  std::condition_variable wake_;
  bool answers_ = false;  // guarded by mutex_
};

// Visits the session until nothing is pending; a probe stuck past every
// limit is given up, so adding always ends.
void WaitUntilListed(SourceSession& session, WaitingRows& rows) {
  constexpr std::chrono::milliseconds kGiveUpCheck{1000};
  while (true) {
    while (rows.TakeListingWanted()) session.ListSome();
    session.TakeAnswers();
    if (session.Pending() == 0) return;
    rows.WaitForAnswers(kGiveUpCheck);
    session.GiveUpOverdueProbes();
  }
}

}  // namespace

AddFilesResult AddFiles(SourceList& list, const std::vector<std::string>& paths, const TargetProfile& target,
                        AddRoute route) {
  AddFilesResult result;
  const size_t before = list.Count();
  {
    WaitingRows rows(list);
    SourceSession session(rows);
    if (!session.Add(paths, route, target, &result.error)) {
      result.profileFailed = true;
      return result;
    }
    WaitUntilListed(session, rows);
    for (SkippedFile& file : session.TakeSkipped()) {
      result.skipped.push_back(std::move(file.path));
      result.skipReasons.push_back(std::move(file.why));
    }
    result.engineError = session.EngineError();
  }
  for (size_t row = before; row < list.Count(); ++row) result.added.push_back(list.At(row)->sourcePath);
  // Probes no longer need the engine; the conversions will.
  if (result.engineError.empty() && !result.added.empty()) result.engineError = EngineProblem();
  return result;
}

}  // namespace mivora
