#pragma once
// Keeps the main window's source list in the per-user folder while the
// program runs, so that it survives a crash, a kill or a power cut:
// "SourceList.txt" (windowmodels/SavedSourceList.h), replaced atomically,
// written at most twice a second however fast the list changes, and checked
// every two seconds for changes no signal announces (edits, profiles).
// The "x" button's exit marks it clean; any other end leaves it unclean, and
// the next start offers its files back. Files a completed run converted are
// left out while their rows stay, until the next run takes them again.
//
// Threads: the window's thread, except the restoring worker, which probes
// the files and hands each rebuilt item to the window's thread.

#include <QObject>
#include <QStringList>
#include <atomic>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "windowmodels/SavedSourceList.h"

class QTimer;

namespace mivora {

class CMainDlg;

inline constexpr const char* kRestoreQuestion = "Mivora did not close normally. Restore the %1 files of its list?";

class SourceListKeeper : public QObject {
  Q_OBJECT

 public:
  SourceListKeeper(CMainDlg& window, std::string path);
  ~SourceListKeeper() override;

  static std::string PathIn(const std::string& userFolder) { return userFolder + "/SourceList.txt"; }

  // After an abnormal end: asks whether to restore the saved files and, on
  // Yes, rebuilds them on a worker. Saving starts once that is settled.
  void OfferRestore();
  // The list is written from now on as it changes.
  void StartSaving();
  // Writes now if the list changed (the window's thread).
  void SaveIfChanged();
  // The program ends by the user's choice: nothing will be offered back.
  void MarkCleanExit();
  bool Restoring() const { return restoring_; }
  // Files written since this keeper began.
  int Saves() const { return saves_; }

 signals:
  void restoreFinished();

 private:
  void RestoreOnWorker(std::vector<SavedSourceEntry> entries);
  void OnRestoreEnded(const QStringList& missing);
  // The list as saved: without the converted files, which are forgotten once
  // their rows are gone (a file added again is saved again).
  SavedSourceList CurrentList();
  void LeaveOutConverted(const QStringList& paths);

  CMainDlg& window_;
  std::string path_;
  std::string written_;  // what the file holds now, as far as this process knows
  std::set<std::string> converted_;  // by the last completed run, not saved
  bool saving_ = false;
  bool restoring_ = false;
  int saves_ = 0;
  QTimer* debounce_ = nullptr;
  QTimer* poll_ = nullptr;
  // Takes the list for this program; false (once logged) when another holds it.
  bool TakeList();
  // A saved list that is not read: moved aside, the user told; when it
  // cannot be moved, nothing is written over it.
  void RefuseSavedList(const std::string& why);

  SavedListLock lock_;
  bool toldNotOwner_ = false;
  bool listRefused_ = false;  // the refused list stayed where it was: write nothing
  std::thread worker_;
  std::atomic<bool> stop_{false};
};

}  // namespace mivora
