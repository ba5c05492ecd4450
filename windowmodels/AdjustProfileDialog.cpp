#include "windowmodels/AdjustProfileDialog.h"

#include "common/Log.h"
#include "profiles/Profile.h"
#include "profiles/ProfileAdjustment.h"
#include "profiles/XmlDocument.h"

namespace mivora {

AdjustProfileDialog::AdjustProfileDialog(std::string profilePath,
                                         std::optional<ParameterPositions> preselection)
    : profilePath_(std::move(profilePath)), preselection_(preselection) {}

void AdjustProfileDialog::OnInitDialog() {
  MLOG("Enter: AdjustProfileDialog::OnInitDialog, path: %s", profilePath_.c_str());
  if (!profilePath_.empty()) {
    XmlDocument document;
    if (document.Load(profilePath_)) {
      XmlNode root = document.Root();
      for (int i = 0; i < kParameterCount; ++i) {
        FillListControl(document, kListElementNames[i], lists_[i]);
        lists_[i].SetText(root.SelectChild(kScalarElementNames[i], false).GetAttribute("value", ""));
      }
    }
  }
  if (preselection_) {
    for (int i = 0; i < kParameterCount; ++i) lists_[i].Select((*preselection_)[i]);
  }
}

bool AdjustProfileDialog::OnOK() {
  MLOG("Enter: AdjustProfileDialog::OnOK, path: %s", profilePath_.c_str());
  XmlDocument document;
  Profile profile;
  if (!document.Load(profilePath_)) {
    error_ = "cannot open the profile " + profilePath_ + ": " + document.Error();
  } else if (!profile.Load(profilePath_)) {
    error_ = "cannot read the profile " + profilePath_;
  } else {
    for (int i = 0; i < kParameterCount; ++i)
      WriteScalarFromControl(document, kScalarElementNames[i], lists_[i]);
    for (int i = 0; i < kParameterCount; ++i)
      WriteListFromControl(document, kListElementNames[i], lists_[i]);
    if (document.Save()) {
      MLOG("Leave: AdjustProfileDialog::OnOK, saved");
      return true;
    }
    error_ = "cannot save the profile " + profilePath_ + ": " + document.Error();
  }
  MLOG("Leave: AdjustProfileDialog::OnOK, %s", error_.c_str());
  return false;
}

std::optional<ProfileParameter> ParameterByName(std::string_view name) {
  for (int i = 0; i < kParameterCount; ++i)
    if (name == kScalarElementNames[i]) return static_cast<ProfileParameter>(i);
  return std::nullopt;
}

}  // namespace mivora
