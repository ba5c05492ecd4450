// Scenes of the profile menu and the "Adjust profiles" dialog.
#include <QAction>
#include <QLabel>
#include <QPainter>
#include <QTest>

#include "app/main/CMainDlg.h"
#include "app/profile/CDlgAdjustProfiles.h"
#include "app/profile/CProfileBar.h"
#include "app/profile/CProfileMenuPopup.h"
#include "tests/shots/ShotScenes.h"
#include "ui/CRowButtonList.h"

namespace mivora::shots {
namespace {

// One picture of several top-level windows as they lie on the screen.
QLabel* Composite(const std::vector<QWidget*>& windows) {
  QRect canvas;
  for (QWidget* window : windows) canvas = canvas.united(window->geometry());
  const qreal ratio = windows.front()->devicePixelRatioF();
  QPixmap picture(canvas.size() * ratio);
  picture.setDevicePixelRatio(ratio);
  picture.fill(QColor(40, 44, 52));
  QPainter painter(&picture);
  for (QWidget* window : windows) painter.drawPixmap(window->geometry().topLeft() - canvas.topLeft(), window->grab());
  painter.end();
  auto* label = new QLabel;
  label->setPixmap(picture);
  label->setFixedSize(canvas.size());
  label->setContentsMargins(0, 0, 0, 0);
  return label;
}

// The main window with the profile menu open above the name field and the
// current profile's group unfolded; `profile` (a path under Profiles/), when
// given, is made the current profile first.
QWidget* ProfileMenuScene(ShotContext& context, const char* profile) {
  CMainDlg* window = context.MainWindow({context.Clip(QStringLiteral("Holiday at the lake.mp4"), 2.0, 640, 360)});
  context.Keep(std::shared_ptr<CMainDlg>(window));
  window->SourceListView()->selectRow(0);
  window->show();
  if (!QTest::qWaitForWindowExposed(window)) return nullptr;

  ProfileMenu& profiles = window->Model().Menu();
  if (profile != nullptr) {
    if (const ProfileEntry* entry = profiles.Catalog().FindByRelativePath(profile)) profiles.Select(entry->id);
  }
  CurrentProfile current;
  profiles.Current(&current);
  // Without an owner, so the kept main window does not delete the menu as well.
  std::shared_ptr<QMenu> menu = CProfileMenuPopup::BuildMenu(nullptr, profiles.Catalog().Groups(), current.id);
  context.Keep(menu);
  const QPoint field = window->ProfileBar()->NameField()->mapToGlobal(QPoint(0, 0));
  menu->popup(CProfileMenuPopup::PlaceInBox(*menu, field.x(), field.y() - kProfileMenuBoxHeight));
  if (!QTest::qWaitForWindowExposed(menu.get())) return nullptr;
  QMenu* group = nullptr;
  for (QAction* action : menu->actions()) {
    if (action->isChecked() && action->menu()) {
      menu->setActiveAction(action);
      group = action->menu();
    }
  }
  QTest::keyClick(menu.get(), Qt::Key_Right);
  QTest::qWait(300);
  if (group) {
    for (QAction* action : group->actions())
      if (action->isChecked()) group->setActiveAction(action);
  }
  std::vector<QWidget*> windows{window, menu.get()};
  if (group && group->isVisible()) windows.push_back(group);
  QLabel* picture = Composite(windows);
  menu->close();
  window->hide();
  return picture;
}

const SceneRegistrar kProfileMenu("profile-menu",
                                  "the profile menu open above the name field, the current group unfolded",
                                  [](ShotContext& context) { return ProfileMenuScene(context, nullptr); });
const SceneRegistrar kProfileMenuHd("profile-menu-hd",
                                    "the profile menu with the HD Video group unfolded (4K and HDR profiles)",
                                    [](ShotContext& context) {
                                      return ProfileMenuScene(context, "HD Video/MKV - H.265 10-bit HDR.xml");
                                    });

const SceneRegistrar kAdjustProfiles("adjust-profiles", "the Adjust profiles dialog on the AVI profile",
                                     [](ShotContext& context) -> QWidget* {
                                       CMainDlg* window = context.MainWindow();
                                       context.Keep(std::shared_ptr<CMainDlg>(window));
                                       window->EnsureProfilesReady();
                                       CurrentProfile current;
                                       window->Model().Menu().Current(&current);
                                       return new CDlgAdjustProfiles(nullptr, current.path);
                                     });

}  // namespace
}  // namespace mivora::shots
