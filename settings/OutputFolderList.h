#pragma once
// The behaviour of the output-folder drop-down, without the widget: the
// items it shows, its selection, and what browsing, choosing and
// "Clear List" do to the settings. The desktop program mirrors Items() and
// Selection() into its combo box after each call.
//
// Invariant: the items are the recent folders in order ("Default" shown as
// the user's videos folder), followed by "Clear List" whenever at least one
// folder is listed.

#include <string>
#include <vector>

#include "settings/ConfigXml.h"

namespace mivora {

class OutputFolderList {
 public:
  static constexpr const char* kClearListItem = "Clear List";
  static constexpr int kNoSelection = -1;

  OutputFolderList(CConfigXml& config, std::string configPath);

  // Fills the items from the settings after a load (`loaded` = its result).
  void Fill(bool loaded);
  // The folder picker returned `path`.
  void Browse(const std::string& path);
  // The user selected item `index` (kNoSelection for none).
  void Choose(int index);

  const std::vector<std::string>& Items() const { return items_; }
  int Selection() const { return selection_; }
  // The folder shown in the drop-down; empty when none is selected.
  std::string CurrentFolder() const;

 private:
  void Store(const std::vector<std::string>& dirs);
  static std::string Shown(const std::string& dir);

  CConfigXml& config_;
  std::string configPath_;
  std::vector<std::string> items_;
  int selection_ = kNoSelection;
};

}  // namespace mivora
