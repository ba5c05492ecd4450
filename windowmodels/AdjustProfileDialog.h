#pragma once
// The "Adjust profiles" dialog without its window: one drop-down list per
// adjustable parameter, filled from a profile file and written back into it
// on OK. The desktop program draws the lists and calls OnInitDialog and
// OnOK; `mivora-cli adjust` drives the same object.

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "pipeline/SourceItem.h"
#include "profiles/ListControl.h"

namespace mivora {

inline constexpr const char* kAdjustProfilesTitle = "Adjust profiles";

// A position for each of the ten parameters, in their fixed order.
using ParameterPositions = std::array<int32_t, kParameterCount>;

class AdjustProfileDialog {
 public:
  explicit AdjustProfileDialog(std::string profilePath,
                               std::optional<ParameterPositions> preselection = std::nullopt);

  // Fills the ten lists from the profile file (they stay empty when the file
  // does not open), then selects the preselected positions when given (a
  // position outside a list leaves it without selection). Each list's own
  // text is the parameter's current value, so a list that offers nothing or
  // has nothing selected writes that value back unchanged.
  void OnInitDialog();

  // Writes the ten values, then the ten lists, into the profile file and
  // saves it. False, with nothing written, when the file does not open as a
  // document or does not load as a profile, or when the save fails; the
  // dialog then stays open.
  bool OnOK();

  ListControl& List(ProfileParameter parameter) { return lists_[parameter]; }
  const ListControl& List(ProfileParameter parameter) const { return lists_[parameter]; }
  const std::string& ProfilePath() const { return profilePath_; }
  const char* Title() const { return kAdjustProfilesTitle; }
  // Why OnOK failed.
  const std::string& Error() const { return error_; }

 private:
  std::string profilePath_;
  std::optional<ParameterPositions> preselection_;
  std::array<ListControl, kParameterCount> lists_;
  std::string error_;
};

// The ten parameters' names as given on the command line (the scalar
// element names); nothing when the name is none of them.
std::optional<ProfileParameter> ParameterByName(std::string_view name);

}  // namespace mivora
