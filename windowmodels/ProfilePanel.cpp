#include "windowmodels/ProfilePanel.h"

#include <algorithm>

#include "common/Log.h"
#include "pipeline/TaskBuilder.h"
#include "profiles/ParameterLists.h"
#include "profiles/Profile.h"
#include "profiles/ProfileAdjustment.h"
#include "profiles/XmlDocument.h"

namespace mivora {
namespace {

int32_t SelectedVideoBitrateBps(const std::string& path) {
  int64_t bps = int64_t{ReadSelectedBitrate(path, "VideoBitrateList")} * 1024;
  return static_cast<int32_t>(std::clamp<int64_t>(bps, 0, INT32_MAX));
}

}  // namespace

ProfilePanel::ProfilePanel(ProfileMenu& menu, CConfigXml& config, std::string configPath,
                           SourceList& sources)
    : menu_(menu), config_(config), configPath_(std::move(configPath)), sources_(sources) {}

CurrentProfile ProfilePanel::AskCurrent() const {
  CurrentProfile current;
  if (!menu_.Current(&current)) MLOG("ProfilePanel, no current profile");
  return current;
}

void ProfilePanel::RememberChoice(const CurrentProfile& current) {
  config_.SetLastProfileId(std::to_string(current.id));
  if (!config_.SaveConfig(configPath_)) MLOG("ProfilePanel, cannot save %s", configPath_.c_str());
}

bool ProfilePanel::ShowExtension(const std::string& path) {
  Profile profile;
  if (path.empty() || !profile.Load(path)) return false;
  editCaption_ = profile.formatExt;
  return true;
}

void ProfilePanel::OnStartup(uint64_t window, const std::string& userFolder) {
  MLOG("Enter: ProfilePanel::OnStartup");
  menu_.Prepare(window, userFolder);
  std::string lastId = config_.GetLastProfileId();
  if (!lastId.empty() && !menu_.Select(LeadingInteger(lastId)))
    MLOG("ProfilePanel::OnStartup, no profile has the identifier %s", lastId.c_str());
  CurrentProfile current = AskCurrent();
  currentVideoBitrateBps_ = SelectedVideoBitrateBps(current.path);
  ShowExtension(current.path);
  nameText_ = " " + current.name;
  RefillBitrateLists(current.path, audioBitrates_, videoBitrates_);
  MLOG("Leave: ProfilePanel::OnStartup, profile: %s", current.path.c_str());
}

bool ProfilePanel::OnProfileChosen(const std::vector<size_t>& selectedRows) {
  MLOG("Enter: ProfilePanel::OnProfileChosen");
  CurrentProfile current = AskCurrent();
  RememberChoice(current);
  nameText_ = " " + current.name;
  currentVideoBitrateBps_ = SelectedVideoBitrateBps(current.path);
  if (!ShowExtension(current.path)) {
    MLOG("Leave: ProfilePanel::OnProfileChosen, cannot read %s", current.path.c_str());
    return false;
  }
  if (!selectedRows.empty()) ApplyProfileToRows(sources_, selectedRows, current.path, current.id, true);
  RefillBitrateLists(current.path, audioBitrates_, videoBitrates_);
  MLOG("Leave: ProfilePanel::OnProfileChosen, rows: %zu", selectedRows.size());
  return !selectedRows.empty();
}

void ProfilePanel::OnSourceClicked(int64_t row) {
  std::optional<SourceItem> item;
  if (row >= 0) item = sources_.At(static_cast<size_t>(row));
  controlsEnabled_ = item.has_value();
  if (!item) return;
  if (!menu_.Select(item->profileId))
    MLOG("ProfilePanel::OnSourceClicked, no profile has the identifier %d", item->profileId);
  CurrentProfile current = AskCurrent();
  RememberChoice(current);
  nameText_ = " " + current.name;
  if (!ShowExtension(current.path)) return;
  XmlDocument document;
  if (!document.Load(current.path)) return;
  FillBitrateControl(document, "AudioBitrateList", audioBitrates_);
  audioBitrates_.Select(item->listIndices[kAudioBitrate]);
  FillBitrateControl(document, "VideoBitrateList", videoBitrates_);
  videoBitrates_.Select(item->listIndices[kVideoBitrate]);
}

bool ProfilePanel::OnBitrateChanged(const std::vector<size_t>& selectedRows) {
  CurrentProfile current = AskCurrent();
  if (!current.path.empty()) WriteBitrateChoice(current.path, audioBitrates_, videoBitrates_);
  return OnProfileChosen(selectedRows);
}

EditProfileTarget ProfilePanel::OnEditProfile(const std::vector<size_t>& selectedRows) const {
  EditProfileTarget target;
  target.path = AskCurrent().path;
  if (selectedRows.size() == 1) {
    if (std::optional<SourceItem> item = sources_.At(selectedRows.front())) {
      target.path = item->profilePath;
      target.preselection = item->listIndices;
    }
  }
  return target;
}

bool ProfilePanel::OnEditProfileAccepted(const std::vector<size_t>& selectedRows) {
  CurrentProfile current = AskCurrent();
  if (!selectedRows.empty()) ApplyProfileToRows(sources_, selectedRows, current.path, current.id, false);
  // The lists keep their items; they show the positions now in the file
  // (the first items when it does not open).
  int32_t audioPosition = 0;
  int32_t videoPosition = 0;
  XmlDocument document;
  if (document.Load(current.path)) {
    audioPosition = ReadParameterList(document, "AudioBitrateList").index;
    videoPosition = ReadParameterList(document, "VideoBitrateList").index;
  }
  audioBitrates_.Select(audioPosition);
  videoBitrates_.Select(videoPosition);
  currentVideoBitrateBps_ = SelectedVideoBitrateBps(current.path);
  return !selectedRows.empty();
}

}  // namespace mivora
