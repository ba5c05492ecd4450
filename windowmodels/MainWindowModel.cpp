#include "windowmodels/MainWindowModel.h"

#include <algorithm>
#include <utility>

#include "common/Format.h"
#include "common/Log.h"

namespace mivora {

std::string EditSummary(const EditSettings& edits) {
  std::string summary;
  if (edits.trimEnabled) {
    summary += "Trim: " + FormatClock(static_cast<uint32_t>(std::max(edits.trimStart, 0))) + " - " +
               FormatClock(static_cast<uint32_t>(std::max(edits.trimEnd, 0))) + "\n";
  }
  if (edits.cropEnabled) {
    summary += "Crop: {" + std::to_string(edits.cropLeft) + "," + std::to_string(edits.cropTop) + "," +
               std::to_string(edits.cropRight - edits.cropLeft) + "," +
               std::to_string(edits.cropBottom - edits.cropTop) + "}";
  }
  return summary;
}

MainWindowModel::MainWindowModel(std::string userFolder, std::shared_ptr<ProfileMenuView> menuView,
                                 MessagePoster poster, std::string profilesFolder)
    : userFolder_(std::move(userFolder)),
      configPath_(userFolder_ + "/config.xml"),
      menu_(std::move(menuView), std::move(poster), std::move(profilesFolder)),
      panel_(menu_, config_, configPath_, sources_),
      outputFolders_(config_, configPath_) {}

void MainWindowModel::LoadSettings() {
  const bool loaded = config_.LoadConfig(configPath_);
  if (!loaded) MLOG("MainWindowModel::LoadSettings, no settings in %s", configPath_.c_str());
  outputFolders_.Fill(loaded);
}

void MainWindowModel::OnStartupTimer(uint64_t window) { panel_.OnStartup(window, userFolder_); }

bool MainWindowModel::CurrentTarget(TargetProfile* target) const {
  CurrentProfile current;
  if (!menu_.Current(&current) || current.path.empty()) return false;
  target->path = current.path;
  target->id = current.id;
  return true;
}

bool MainWindowModel::AppendItem(SourceItem item) {
  if (!sources_.Append(std::move(item))) return false;
  profileControlsEnabled_ = true;
  return true;
}

bool MainWindowModel::DeleteRow(size_t row) {
  std::optional<SourceItem> item = sources_.At(row);
  if (!item || !sources_.Remove(row)) return false;
  tipsByPath_.erase(item->sourcePath);
  if (item->sourcePath == followedPath_) followedPath_.clear();
  return true;
}

bool MainWindowModel::MoveRowDown(size_t row) {
  return row + 1 < sources_.Count() && sources_.Move(row, row + 1);
}

bool MainWindowModel::MoveRowUp(size_t row) { return row > 0 && sources_.Move(row, row - 1); }

void MainWindowModel::ClearList() {
  sources_.Clear();
  tipsByPath_.clear();
  followedPath_.clear();
  profileControlsEnabled_ = false;
}

void MainWindowModel::RefreshEditSummary(size_t row) {
  // A new trim changes what the output will weigh.
  sources_.Update(row, [](SourceItem& stored) { RefreshEstimatedSize(&stored); });
  std::optional<SourceItem> item = sources_.At(row);
  if (!item) return;
  // An item whose edits are all off shows no summary rather than an old one.
  std::string summary = item->editSettings ? EditSummary(*item->editSettings) : std::string();
  if (summary.empty()) {
    tipsByPath_.erase(item->sourcePath);
  } else {
    tipsByPath_[item->sourcePath] = std::move(summary);
  }
}

std::string MainWindowModel::RowTip(size_t row) const {
  std::optional<SourceItem> item = sources_.At(row);
  if (!item) return {};
  auto found = tipsByPath_.find(item->sourcePath);
  return found == tipsByPath_.end() ? std::string() : found->second;
}

void MainWindowModel::OnJobFailed(const std::string& sourcePath, const std::string& reason) {
  failuresByPath_[sourcePath] = reason;
}

std::string MainWindowModel::RowFailure(size_t row) const {
  std::optional<SourceItem> item = sources_.At(row);
  if (!item) return {};
  auto found = failuresByPath_.find(item->sourcePath);
  return found == failuresByPath_.end() ? std::string() : std::string(kFailedWord) + ": " + found->second;
}

void MainWindowModel::OnRunStarting() {
  tipsByPath_.clear();
  failuresByPath_.clear();
}

void MainWindowModel::OnRunFinished() {
  for (size_t i = 0; i < sources_.Count(); ++i) {
    sources_.Update(i, [](SourceItem& item) { item.editSettings.reset(); });
  }
  tipsByPath_.clear();
}

void MainWindowModel::OnSourceClicked(int64_t row) {
  panel_.OnSourceClicked(row);
  profileControlsEnabled_ = panel_.ControlsEnabled();
}

int64_t MainWindowModel::OnSelectionChanged(const std::vector<size_t>& selected, int64_t current) {
  if (selected.empty()) {
    followedPath_.clear();
    OnSourceClicked(-1);
    return -1;
  }
  const bool currentSelected =
      current >= 0 && std::find(selected.begin(), selected.end(), static_cast<size_t>(current)) != selected.end();
  const size_t lead = currentSelected ? static_cast<size_t>(current) : selected.front();
  std::optional<SourceItem> item = sources_.At(lead);
  if (!item || (item->sourcePath == followedPath_ && profileControlsEnabled_)) return -1;
  followedPath_ = item->sourcePath;
  OnSourceClicked(static_cast<int64_t>(lead));
  return static_cast<int64_t>(lead);
}

void MainWindowModel::OnRowsDeleted(bool rowSelected) {
  if (sources_.Count() == 0 || !rowSelected) profileControlsEnabled_ = false;
}

JobListResult MainWindowModel::BuildJobs(const std::string& outputFolder) {
  MLOG("Enter: MainWindowModel::BuildJobs, folder: %s", outputFolder.c_str());
  JobListResult result = BuildJobList(sources_, outputFolder);
  MLOG("Leave: MainWindowModel::BuildJobs, jobs: %zu", result.jobs.size());
  return result;
}

}  // namespace mivora
