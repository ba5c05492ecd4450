#include "settings/OutputFolderList.h"

#include <algorithm>

#include "common/Folders.h"

namespace mivora {

OutputFolderList::OutputFolderList(CConfigXml& config, std::string configPath)
    : config_(config), configPath_(std::move(configPath)) {}

std::string OutputFolderList::Shown(const std::string& dir) {
  return dir == "Default" ? VideosFolder() : dir;
}

void OutputFolderList::Store(const std::vector<std::string>& dirs) {
  config_.SetRecentDirs(&dirs);
  config_.SaveConfig(configPath_);  // a failed save keeps the list in memory
}

void OutputFolderList::Fill(bool loaded) {
  items_.clear();
  selection_ = kNoSelection;
  if (!loaded) return;
  std::vector<std::string> dirs;
  config_.GetRecentDirs(dirs);
  for (const std::string& dir : dirs) items_.push_back(Shown(dir));
  if (!items_.empty()) {
    items_.push_back(kClearListItem);
    selection_ = 0;
  }
}

void OutputFolderList::Browse(const std::string& path) {
  if (path.empty()) return;  // the picker was cancelled
  std::vector<std::string> dirs;
  config_.GetRecentDirs(dirs);
  // The items mirror the list, plus "Clear List" when there is any folder; a
  // list emptied by "Clear List" still shows that one item.
  bool hadClear = !items_.empty() && items_.back() == kClearListItem;
  auto found = std::find(dirs.begin(), dirs.end(), path);
  if (found != dirs.end()) {
    size_t index = static_cast<size_t>(found - dirs.begin());
    dirs.erase(found);
    if (index < items_.size()) items_.erase(items_.begin() + static_cast<long>(index));
  }
  dirs.insert(dirs.begin(), path);
  items_.insert(items_.begin(), Shown(path));
  if (!hadClear) items_.push_back(kClearListItem);
  selection_ = 0;
  Store(dirs);
}

void OutputFolderList::Choose(int index) {
  int count = static_cast<int>(items_.size());
  if (index == kNoSelection || index < 0 || index >= count) return;
  if (index == count - 1 && items_[index] == kClearListItem) {
    Store({});
    items_ = {kClearListItem};
    selection_ = kNoSelection;
    return;
  }
  selection_ = index;
  if (index == 0) return;
  std::vector<std::string> dirs;
  config_.GetRecentDirs(dirs);
  if (static_cast<size_t>(index) < dirs.size()) {
    std::rotate(dirs.begin(), dirs.begin() + index, dirs.begin() + index + 1);
    std::rotate(items_.begin(), items_.begin() + index, items_.begin() + index + 1);
    selection_ = 0;
    Store(dirs);
  }
}

std::string OutputFolderList::CurrentFolder() const {
  if (selection_ < 0 || selection_ >= static_cast<int>(items_.size())) return {};
  if (items_[selection_] == kClearListItem) return {};
  return items_[selection_];
}

}  // namespace mivora
