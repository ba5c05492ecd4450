#pragma once
// The main window's profile controls, on two rows: the "Target" button and
// the profile name field (both open the profile menu) with the "Edit" button
// showing the current profile's format extension (it opens "Adjust
// profiles"); below them the video and audio bit-rate drop-downs. Every event
// goes to the window-less ProfilePanel; this class only shows its fields and
// hands it the user's picks.
//
// The main window owns the menu and the panel, supplies its selected rows,
// and learns through rowsChanged() when rows need redrawing.

#include <QAbstractButton>
#include <QComboBox>
#include <QLineEdit>
#include <QWidget>
#include <functional>
#include <vector>

#include "profiles/ProfileMenu.h"
#include "windowmodels/ProfilePanel.h"

namespace mivora {

class CProfileBar : public QWidget {
  Q_OBJECT

 public:
  using SelectedRows = std::function<std::vector<size_t>()>;

  // The bar starts disabled, as the main window's profile controls do
  // before any file is added.
  CProfileBar(QWidget* parent, ProfileMenu& menu, ProfilePanel& panel, SelectedRows selectedRows);

  // What the profile menu gets to report a pick: the bar shows the menu with
  // its own address as the window number, and the pick reaches that bar's
  // OnProfileChosen once the menu has closed.
  static MessagePoster MenuPoster();

  QLineEdit* NameField() const { return name_; }
  QAbstractButton* TargetButton() const { return target_; }
  QAbstractButton* EditButton() const { return edit_; }
  QComboBox* VideoBitrates() const { return video_; }
  QComboBox* AudioBitrates() const { return audio_; }

 signals:
  // Profile data went into selected source items; their rows need redrawing.
  void rowsChanged();

 public slots:
  // Shows the panel's fields again (after the start-up tick, or after the
  // panel followed a clicked source row).
  void Refresh();
  // A source row was clicked (-1: none) and the panel has followed it.
  void OnSourceClicked(int row);
  // The profile name field, both bit-rate lists, "Target" and "Edit".
  void SetControlsEnabled(bool enabled);
  // Opens the profile menu above the name field.
  void ShowProfileMenu();
  // The menu reported a pick.
  void OnProfileChosen();
  // Opens "Adjust profiles" for the current profile or the one selected row.
  void OnEditProfile();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // The five controls, named for the tests and sized for their rows.
  void CreateControls();
  // "Target" and the name field with "Edit" on the first row, the two
  // labelled bit-rate lists on the second.
  void LayOutControls();
  void OnBitratePicked(QComboBox* box, ListControl& list, int position);

  ProfileMenu& menu_;
  ProfilePanel& panel_;
  SelectedRows selectedRows_;
  bool enabled_ = false;

  QAbstractButton* target_;
  QLineEdit* name_;
  QAbstractButton* edit_;
  QComboBox* video_;
  QComboBox* audio_;
};

}  // namespace mivora
