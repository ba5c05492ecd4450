#include "app/profile/CProfileMenuPopup.h"

#include <QAction>
#include <QMenu>
#include <algorithm>

#include "ui/BCMenu.h"

namespace mivora {

std::optional<int32_t> CProfileMenuPopup::Pick(const std::vector<ProfileGroup>& groups,
                                               int32_t currentId, int x, int y) {
  ui::BCMenu menu(owner_);
  menu.setObjectName("profileMenu");
  for (const ProfileGroup& group : groups) {
    QMenu* sub = new ui::BCMenu(QString::fromStdString(group.name), &menu);
    bool holdsCurrent = false;
    for (const ProfileEntry& profile : group.profiles) {
      QAction* action = sub->addAction(QString::fromStdString(profile.name));
      action->setData(profile.id);
      action->setCheckable(true);
      action->setChecked(profile.id == currentId);
      holdsCurrent = holdsCurrent || profile.id == currentId;
    }
    QAction* groupAction = menu.addMenu(sub);
    groupAction->setCheckable(true);
    groupAction->setChecked(holdsCurrent);
  }
  if (groups.empty()) menu.addAction(QObject::tr("No profiles found"))->setEnabled(false);

  int top = y + std::max(0, kProfileMenuBoxHeight - menu.sizeHint().height());
  QAction* picked = menu.exec(QPoint(x, top));
  if (picked == nullptr || !picked->data().isValid()) return std::nullopt;
  return picked->data().toInt();
}

}  // namespace mivora
