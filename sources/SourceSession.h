#pragma once
// The one way a file becomes a row, whatever brought it: the open-file
// dialog, a drop, a later start's hand-over, the command line, or the saved
// list after an abnormal end. Each file is checked (AddRoute's rules), gets
// its row at once with the profile's settings (or its saved ones), and is
// probed on the probe pool; its facts fill the row when the answer is taken,
// wherever the row has moved meanwhile (an answer for a row that is gone is
// dropped).
//
// The session also keeps the list on disk while the program runs
// ("SourceList.txt", sources/SavedSourceList.h), so a crash, a kill or a
// power cut can offer it back: which rows are saved (not those converted
// since the last run began), when (a change within kSaveDelay, however fast
// changes come; converted files and a new run at once), who may (the program
// holding the list's lock), and what a list that cannot be read becomes
// (kept aside, never overwritten).
//
// Threads: everything on the owner's thread (the window's, or the command
// line's), except SourceRows::AnswersWaiting, which a probe worker calls. The
// owner schedules the visits its SourceRows is asked for; timers and signals
// of a front end only bring those calls to the owner's thread.

#include <chrono>
#include <cstddef>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "pipeline/ProbePool.h"
#include "pipeline/SourceList.h"
#include "pipeline/TaskBuilder.h"
#include "sources/SavedSourceList.h"

namespace mivora {

// Where a session's rows live, and how it asks its owner for visits.
class SourceRows {
 public:
  virtual ~SourceRows() = default;
  virtual SourceList& List() = 0;
  // Appends `item` as the last row; false when its file is listed already.
  virtual bool AppendRow(SourceItem item) { return List().Append(std::move(item)); }
  // The item at `row` changed (its facts came).
  virtual void RowChanged(size_t /*row*/) {}
  // A visit appended or changed rows (redraw, announce the change once).
  virtual void RowsSettled() {}
  // Files wait for their rows: call ListSome() soon, on the owner's thread.
  virtual void ListingWaiting() {}
  // Called on a probe worker: answers wait; call TakeAnswers() on the
  // owner's thread soon (within kAnswerBatch, so a burst costs one visit).
  // It must only schedule that visit.
  virtual void AnswersWaiting() {}
};

// A file that did not become a row, and why ("a folder", "already in the list").
struct SkippedFile {
  std::string path;
  std::string why;
};

// What the saved list holds at start-up.
struct SavedListOffer {
  enum class Kind { kNothing, kNotOurs, kRefused, kOffered };
  Kind kind = Kind::kNothing;
  size_t files = 0;     // kOffered: how many files it offers back
  std::string why;      // kRefused: why it was not read
  std::string keptAs;   // kRefused: where it was moved ("" when it stayed, and nothing is written over it)
};

class SourceSession {
 public:
  // Rows listed per visit, so a folder of a thousand files does not stop a window.
  static constexpr size_t kRowsPerVisit = 50;
  static constexpr std::chrono::milliseconds kAnswerBatch{40};
  // A change is written this long after it, not later however fast changes
  // come; and the list is compared every kSaveCheckEvery for changes nobody
  // announces (edits, profiles).
  static constexpr std::chrono::milliseconds kSaveDelay{500};
  static constexpr std::chrono::milliseconds kSaveCheckEvery{2000};

  // `probeWorkers` 0: one per core; `probe` empty: ProbeMedia.
  explicit SourceSession(SourceRows& rows, size_t probeWorkers = 0, ProbePool::ProbeFunction probe = {});
  ~SourceSession();
  SourceSession(const SourceSession&) = delete;
  SourceSession& operator=(const SourceSession&) = delete;

  static std::string SavedListIn(const std::string& userFolder) { return userFolder + "/SourceList.txt"; }

  // --- Adding ---
  // Queues the files in order; each gets `target`'s settings (read once).
  // False (with `error`, nothing queued) when the profile cannot be read.
  bool Add(const std::vector<std::string>& paths, AddRoute route, const TargetProfile& target, std::string* error);
  // Lists up to kRowsPerVisit queued files; asks for another visit while some wait.
  void ListSome();
  // Puts the probes' answers into their rows.
  void TakeAnswers();
  // Appends an item that needs no probe (its facts are known); false when listed already.
  bool AddWholeItem(SourceItem item);
  // Files given whose rows or facts have not come yet.
  size_t Pending() const;
  // Drops the files not listed yet and the probes not begun ("Clear List").
  void ForgetPending();
  // Gives up probes stuck long past their limit (they answer without facts).
  size_t GiveUpOverdueProbes() { return probes_->GiveUpOverdueProbes(); }
  // The files not added since the last call, with why.
  std::vector<SkippedFile> TakeSkipped();
  // Why a probe could not run the engine at all ("" while every probe could).
  const std::string& EngineError() const { return engineError_; }

  // --- The saved list ---
  // The list is kept at `path` (SavedListIn) from StartSaving on.
  void KeepListAt(std::string path);
  // Reads the saved list at start-up, without waiting on what lies there.
  // A refused list is moved aside; an unclean one with files is offered.
  SavedListOffer OpenSavedList();
  // Brings the offered files back as rows (probed again, in order, with
  // their saved settings); `ended` gets the files that could not come back,
  // once every restored row has its facts. Nothing is saved meanwhile.
  void Restore(std::function<void(const std::vector<std::string>& notRestored)> ended);
  bool Restoring() const { return restoring_; }
  // The restore's end is told to nobody (its listener is gone).
  void ForgetRestoreListener() { restoreEnded_ = nullptr; }
  // The list is written from now on.
  void StartSaving();
  // The rows changed: true when the owner is to call SaveIfChanged() after
  // kSaveDelay (none is pending yet).
  bool ListChanged();
  // Writes now if what would be saved changed.
  void SaveIfChanged();
  // These files' outputs are verified: they leave the saved list at once
  // (their rows stay) until the next run begins.
  void Converted(const std::vector<std::string>& paths);
  // A run begins: it converts every row again, so every row is saved again.
  void RunStarting();
  // The program ends by the user's choice: nothing will be offered back,
  // and the list is free for another program.
  void MarkCleanExit();
  int Saves() const { return saves_; }

 private:
  struct FileToList {
    std::string path;
    AddRoute route = AddRoute::kDrop;
    std::shared_ptr<const SourceItem> blank;        // the profile's settings
    std::shared_ptr<const SavedSourceEntry> saved;  // restoring: the saved entry instead
  };
  // The queued file's item, or why it gets no row ("" with no item: skipped silently).
  bool ItemFor(const FileToList& file, SourceItem* item, std::string* why);
  bool ListOne(FileToList file);
  // False when the answer's row is gone.
  bool ApplyAnswer(ProbePool::Answer& answer);
  void NoteNotRestored(const std::string& path, const std::string& why);
  void EndRestoreWhenDone();
  bool TakeList();
  SavedSourceList CurrentList();
  void RefuseSavedList(SavedListOffer* offer);

  SourceRows& rows_;
  std::deque<FileToList> toList_;
  std::vector<SkippedFile> skipped_;
  std::string engineError_;

  // Restoring
  bool restoring_ = false;
  std::vector<SavedSourceEntry> offered_;
  size_t restoreQueued_ = 0;                          // restore entries not listed yet
  std::map<std::string, std::string> restoreProbes_;  // restored rows awaiting facts -> saved estimate
  std::vector<std::string> notRestored_;
  std::function<void(const std::vector<std::string>&)> restoreEnded_;

  // Saving
  std::string savedPath_;
  SavedListLock lock_;
  std::string written_;              // what the file holds, as far as this process knows
  std::set<std::string> converted_;  // since the last run began: not saved
  bool saving_ = false;
  bool savePending_ = false;
  bool toldNotOwner_ = false;
  bool listRefused_ = false;  // the refused list stayed where it was: write nothing
  int saves_ = 0;

  std::unique_ptr<ProbePool> probes_;  // last member: its workers end first
};

}  // namespace mivora
