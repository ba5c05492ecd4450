#pragma once
// The main window's profile controls without the window: the profile name
// field, the caption of the "Edit" button, the two bit-rate lists, and what
// each of the window's events does with the profile menu, the profile file,
// the selected source items and config.xml. The desktop program shows these
// fields and calls the On... operations; nothing here draws.
//
// Thread ownership: the user-interface thread only. The source list has its
// own lock for the file-adding worker.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "windowmodels/AdjustProfileDialog.h"
#include "pipeline/SourceList.h"
#include "profiles/ListControl.h"
#include "profiles/ProfileMenu.h"
#include "settings/ConfigXml.h"

namespace mivora {

// What the "Adjust profiles" dialog opens: its file and preselection.
struct EditProfileTarget {
  std::string path;
  std::optional<ParameterPositions> preselection;
};

class ProfilePanel {
 public:
  // `configPath` is where `config` is saved after each profile choice.
  ProfilePanel(ProfileMenu& menu, CConfigXml& config, std::string configPath, SourceList& sources);

  // First tick of the start-up timer: prepares the menu for the window and
  // the per-user folder, restores the last chosen profile, and shows the
  // current profile.
  void OnStartup(uint64_t window, const std::string& userFolder);

  // A profile was chosen (from the menu, or after a bit-rate change):
  // remembers it in config.xml, shows it and applies it to the selected rows.
  // True when rows were changed and need redrawing.
  bool OnProfileChosen(const std::vector<size_t>& selectedRows);

  // A source row was clicked (-1: none): makes the item's profile current
  // and shows the item's own bit-rate positions.
  void OnSourceClicked(int64_t row);

  // The user picked an item in either bit-rate list (already selected in
  // the list): both lists' choices go into the profile file, then the profile
  // is chosen again. True when rows were changed.
  bool OnBitrateChanged(const std::vector<size_t>& selectedRows);

  // The "Edit" button: the file the dialog adjusts and, for one selected
  // row, that item's positions.
  EditProfileTarget OnEditProfile(const std::vector<size_t>& selectedRows) const;
  // After the dialog ended with OK: the current profile goes into the
  // selected rows and the bit-rate lists show the file's positions. True
  // when rows were changed.
  bool OnEditProfileAccepted(const std::vector<size_t>& selectedRows);

  // What the window shows.
  const std::string& NameText() const { return nameText_; }
  const std::string& EditCaption() const { return editCaption_; }
  ListControl& AudioBitrates() { return audioBitrates_; }
  ListControl& VideoBitrates() { return videoBitrates_; }
  // Profile name field, both bit-rate lists, "Edit" and the target button.
  bool ControlsEnabled() const { return controlsEnabled_; }
  // Selected video kbit/s of the current profile * 1024.
  int32_t CurrentVideoBitrateBps() const { return currentVideoBitrateBps_; }

 private:
  CurrentProfile AskCurrent() const;
  void RememberChoice(const CurrentProfile& current);
  // Loads the profile and puts its extension on the "Edit" button; false
  // (caption unchanged) when it does not load.
  bool ShowExtension(const std::string& path);

  ProfileMenu& menu_;
  CConfigXml& config_;
  std::string configPath_;
  SourceList& sources_;

  std::string nameText_;
  std::string editCaption_;
  ListControl audioBitrates_;
  ListControl videoBitrates_;
  bool controlsEnabled_ = true;
  int32_t currentVideoBitrateBps_ = 0;
};

}  // namespace mivora
