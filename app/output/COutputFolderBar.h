#pragma once
// The main window's output folder: the drop-down of recently used folders
// (with "Clear List" at the end), "Browse" (the folder picker) and "Open"
// (the folder in the desktop's file manager). What each action does to the
// list and to config.xml is the window-less OutputFolderList's; this class
// shows its items and hands it the user's picks. A folder can also be typed
// into the drop-down; it is checked, made and remembered on "Start".

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
  // The folder to convert into when "Start" is pressed: the typed text when
  // the user typed one, else the picked item; made when missing. Empty when
  // there is none, or, with `problem` set to what the user can do, when it is
  // not a full path, cannot be made or cannot be written to. A typed folder
  // that passes becomes the list's first item.
  std::string FolderToWrite(QString* problem);

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

  bool typed_ = false;  // the drop-down's text was typed since the last Refresh
  QComboBox* folders_;
  QAbstractButton* browse_;
  QAbstractButton* open_;
};

}  // namespace mivora
