#pragma once
// The profile menu as the user sees it: one sub-menu per group, one entry per
// profile, the current profile ticked (and its group). It fills the box of
// kProfileMenuBoxHeight pixels whose top-left corner it is given from the
// bottom up, so a short menu still opens right above the profile name field.

#include <QMenu>
#include <QPointer>
#include <QWidget>
#include <memory>

#include "profiles/ProfileMenu.h"

namespace mivora {

inline constexpr int kProfileMenuBoxHeight = 456;

class CProfileMenuPopup : public ProfileMenuView {
 public:
  explicit CProfileMenuPopup(QWidget* owner) : owner_(owner) {}

  std::optional<int32_t> Pick(const std::vector<ProfileGroup>& groups, int32_t currentId, int x,
                              int y) override;

  // The menu for `groups`; each profile entry carries its identifier as data.
  static std::unique_ptr<QMenu> BuildMenu(QWidget* owner, const std::vector<ProfileGroup>& groups,
                                          int32_t currentId);
  // Where `menu` opens for the box whose top-left corner is x, y.
  static QPoint PlaceInBox(const QMenu& menu, int x, int y);

 private:
  QPointer<QWidget> owner_;
};

}  // namespace mivora
