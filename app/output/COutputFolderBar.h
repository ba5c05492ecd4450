#pragma once
// The main window's output folder: the drop-down of recently used folders
// (with "Clear List" at the end), "Browse" (the folder picker) and "Open"
// (the folder in the desktop's file manager). What each action does to the
// list and to config.xml is the window-less OutputFolderList's; this class
// shows its items and hands it the user's picks.

#include <QComboBox>
#include <QAbstractButton>
#include <QString>
#include <QWidget>
#include <functional>
#include <string>

#include "settings/OutputFolderList.h"

namespace mivora {

class COutputFolderBar : public QWidget {
  Q_OBJECT

 public:
  // Asks the user for a folder; empty when cancelled.
  using FolderPicker = std::function<QString(QWidget* owner)>;
  // Shows a folder in the file manager; false when that failed.
  using FolderOpener = std::function<bool(const QString& folder)>;

  // `list`: the main window's folder list, filled from config.xml.
  COutputFolderBar(QWidget* parent, OutputFolderList& list);

  // The folder conversions go to: the drop-down's text (empty when none).
  std::string CurrentFolder() const { return list_.CurrentFolder(); }

  // Seams for tests; the defaults are the desktop's folder dialog and file manager.
  void SetFolderPicker(FolderPicker picker) { picker_ = std::move(picker); }
  void SetFolderOpener(FolderOpener opener) { opener_ = std::move(opener); }

  QComboBox* Folders() const { return folders_; }
  QAbstractButton* BrowseButton() const { return browse_; }
  QAbstractButton* OpenButton() const { return open_; }

 public slots:
  // Shows the list again (after it was filled from config.xml).
  void Refresh();
  void OnBrowse();
  void OnOpen();
  // The user picked item `index` of the drop-down.
  void OnChosen(int index);

 private:
  OutputFolderList& list_;
  FolderPicker picker_;
  FolderOpener opener_;

  QComboBox* folders_;
  QAbstractButton* browse_;
  QAbstractButton* open_;
};

}  // namespace mivora
