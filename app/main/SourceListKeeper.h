#pragma once
// The window's side of the saved list: the source session
// (sources/SourceSession.h) decides which rows are saved, when, and what is
// restored; this class brings the window's signals and two timers to it, and
// asks the user what only the user can answer (restore? a list refused).
// The "x" button's exit marks the list clean; any other end leaves it
// unclean, and the next start offers its files back.
//
// Threads: the window's thread only.

#include <QObject>
#include <QStringList>
#include <string>

#include "sources/SourceSession.h"

class QTimer;

namespace mivora {

class CMainDlg;

inline constexpr const char* kRestoreQuestion = "Mivora did not close normally. Restore the %1 files of its list?";

class SourceListKeeper : public QObject {
  Q_OBJECT

 public:
  SourceListKeeper(CMainDlg& window, std::string path);
  ~SourceListKeeper() override;

  static std::string PathIn(const std::string& userFolder) { return SourceSession::SavedListIn(userFolder); }

  // After an abnormal end: asks whether to restore the saved files and, on
  // Yes, brings them back as rows. Saving starts once that is settled.
  void OfferRestore();
  // The list is written from now on as it changes.
  void StartSaving();
  // Writes now if the list changed.
  void SaveIfChanged();
  // The program ends by the user's choice: nothing will be offered back.
  void MarkCleanExit();
  bool Restoring() const;
  // Files written since this keeper began.
  int Saves() const;

 signals:
  void restoreFinished();

 private:
  void OnRestoreEnded(const std::vector<std::string>& notRestored);
  void TellRefused(const SavedListOffer& offer);

  CMainDlg& window_;
  SourceSession& session_;
  std::string path_;
  QTimer* debounce_ = nullptr;
  QTimer* poll_ = nullptr;
};

}  // namespace mivora
