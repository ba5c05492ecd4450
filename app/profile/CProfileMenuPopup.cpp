#include "app/profile/CProfileMenuPopup.h"

#include <QAction>
#include <algorithm>

#include "ui/BCMenu.h"

namespace mivora {

std::unique_ptr<QMenu> CProfileMenuPopup::BuildMenu(QWidget* owner, const std::vector<ProfileGroup>& groups,
                                                    int32_t currentId) {
  auto menu = std::make_unique<ui::BCMenu>(owner);
  menu->setObjectName("profileMenu");
  for (const ProfileGroup& group : groups) {
    QMenu* sub = new ui::BCMenu(QString::fromStdString(group.name), menu.get());
    bool holdsCurrent = false;
    for (const ProfileEntry& profile : group.profiles) {
      QAction* action = sub->addAction(QString::fromStdString(profile.name));
      action->setData(profile.id);
      action->setCheckable(true);
      action->setChecked(profile.id == currentId);
      holdsCurrent = holdsCurrent || profile.id == currentId;
    }
    QAction* groupAction = menu->addMenu(sub);
    groupAction->setCheckable(true);
    groupAction->setChecked(holdsCurrent);
  }
  if (groups.empty()) menu->addAction(QObject::tr("No profiles found"))->setEnabled(false);
  return menu;
}

QPoint CProfileMenuPopup::PlaceInBox(const QMenu& menu, int x, int y) {
  return QPoint(x, y + std::max(0, kProfileMenuBoxHeight - menu.sizeHint().height()));
}

std::optional<int32_t> CProfileMenuPopup::Pick(const std::vector<ProfileGroup>& groups, int32_t currentId,
                                               int x, int y) {
  std::unique_ptr<QMenu> menu = BuildMenu(owner_, groups, currentId);
  QAction* picked = menu->exec(PlaceInBox(*menu, x, y));
  if (picked == nullptr || !picked->data().isValid()) return std::nullopt;
  return picked->data().toInt();
}

}  // namespace mivora
