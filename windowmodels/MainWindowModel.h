#pragma once
// The main window without its widgets: the source list with its rows, the
// settings, the profile menu and panel, the output-folder list, which
// controls are enabled, the edit-summary tooltips, and what "Start" builds.
// The desktop program draws these and calls the operations below; nothing
// here draws or asks the user.
//
// Thread ownership: the user-interface thread only. File-adding workers
// build items on their own threads and hand them over to that thread, so the
// list and the rows always change together.

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "pipeline/SourceList.h"
#include "pipeline/TaskBuilder.h"
#include "profiles/ProfileMenu.h"
#include "settings/ConfigXml.h"
#include "settings/OutputFolderList.h"
#include "windowmodels/ProfilePanel.h"

namespace mivora {

// Texts of the main window's questions and notices.
inline constexpr const char* kAskStart = "Are you sure you want to start converting?";
inline constexpr const char* kNoOutputFolder = "No output folder";
inline constexpr const char* kAskClear = "Are you sure you want to clear the list?";
inline constexpr const char* kAskExit = "Are you sure you want to exit?";

// A row's edit summary: "Trim: hh:mm:ss - hh:mm:ss\n" when trimmed, then
// "Crop: {x,y,width,height}" when cropped; empty when neither is on.
std::string EditSummary(const EditSettings& edits);

class MainWindowModel {
 public:
  // `userFolder`: the per-user data folder (config.xml lives there).
  // `profilesFolder` empty: the program's served profile folder.
  MainWindowModel(std::string userFolder, std::shared_ptr<ProfileMenuView> menuView = {},
                  MessagePoster poster = {}, std::string profilesFolder = {});

  SourceList& Sources() { return sources_; }
  const SourceList& Sources() const { return sources_; }
  CConfigXml& Config() { return config_; }
  const std::string& ConfigPath() const { return configPath_; }
  const std::string& UserFolder() const { return userFolder_; }
  OutputFolderList& OutputFolders() { return outputFolders_; }
  ProfileMenu& Menu() { return menu_; }
  ProfilePanel& Panel() { return panel_; }

  // Loads config.xml and fills the output-folder list (window set-up).
  void LoadSettings();
  // The start-up timer's tick: prepares the profile menu for `window` and
  // restores the last chosen profile.
  void OnStartupTimer(uint64_t window);
  // The profile new files get; false when there is none.
  bool CurrentTarget(TargetProfile* target) const;

  // Appends an item built by a file-adding worker; false (nothing changes)
  // when its file is listed already.
  bool AppendItem(SourceItem item);
  // Row actions; false when nothing changed (out of range, first row up,
  // last row down).
  bool DeleteRow(size_t row);
  bool MoveRowDown(size_t row);
  bool MoveRowUp(size_t row);
  // Empties the list (after the user confirmed).
  void ClearList();

  // After the editor closed on `row`: rebuilds that item's summary tooltip
  // and its estimated size.
  void RefreshEditSummary(size_t row);
  // The edit-summary tooltip of the item at `row` ("" when none). Tips
  // belong to items, so they follow their items when rows move.
  std::string RowTip(size_t row) const;
  // A job of the run failed: the item's row shows "Failed: " and `reason`
  // in its "Info" cell until the next run begins.
  void OnJobFailed(const std::string& sourcePath, const std::string& reason);
  // "Failed: ..." for the item at `row` when its last conversion failed, else "".
  std::string RowFailure(size_t row) const;
  // A run begins: every tooltip and failure is discarded.
  void OnRunStarting();
  // The run is over: every item's edits are dropped.
  void OnRunFinished();

  // "Start" is enabled while the list has items.
  bool StartEnabled() const { return sources_.Count() > 0; }
  // The profile controls (name field, bit rates, "Target", "Edit"): off at
  // set-up, on when a file is added, set by the selection, and off after
  // a delete leaves no row selected or the list empty.
  bool ProfileControlsEnabled() const { return profileControlsEnabled_; }
  // The panel follows the item at `row` (-1: none, the controls rest).
  void OnSourceClicked(int64_t row);
  // The user changed the selection: `selected` rows in list order, `current`
  // the row last clicked or moved to (-1: none). The panel follows the
  // current row when it is selected, else the first selected row, and rests
  // when nothing is selected. An item already followed is not followed again,
  // so the current profile changes only when the user reaches another file.
  // The row followed now; -1 when nothing changed or nothing is selected.
  int64_t OnSelectionChanged(const std::vector<size_t>& selected, int64_t current);
  // After a delete: whether a row is still selected.
  void OnRowsDeleted(bool rowSelected);

  // The job list of a run into `outputFolder` (the core's rules).
  JobListResult BuildJobs(const std::string& outputFolder);

 private:
  std::string userFolder_;
  std::string configPath_;
  CConfigXml config_;
  SourceList sources_;
  ProfileMenu menu_;
  ProfilePanel panel_;
  OutputFolderList outputFolders_;
  std::map<std::string, std::string> tipsByPath_;  // source path -> edit summary
  std::map<std::string, std::string> failuresByPath_;  // source path -> why its job failed
  std::string followedPath_;  // the item whose profile the panel shows ("" none)
  bool profileControlsEnabled_ = false;
};

}  // namespace mivora
