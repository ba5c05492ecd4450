#pragma once
// The profile menu as the user sees it: one sub-menu per group, one entry per
// profile, the current profile ticked. It fills the box of kProfileMenuBoxHeight
// pixels whose top-left corner it is given from the bottom up, so a short menu
// still opens right above the profile name field.

#include <QPointer>
#include <QWidget>

#include "profiles/ProfileMenu.h"

namespace mivora {

inline constexpr int kProfileMenuBoxHeight = 456;

class CProfileMenuPopup : public ProfileMenuView {
 public:
  explicit CProfileMenuPopup(QWidget* owner) : owner_(owner) {}

  std::optional<int32_t> Pick(const std::vector<ProfileGroup>& groups, int32_t currentId, int x,
                              int y) override;

 private:
  QPointer<QWidget> owner_;
};

}  // namespace mivora
