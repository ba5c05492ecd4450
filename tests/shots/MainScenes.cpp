// Scenes of the start-up and the main window.
#include <QItemSelectionModel>
#include <QTest>

#include "app/startup/CSplashWnd.h"
#include "app/main/CMainDlg.h"
#include "app/profile/CProfileBar.h"
#include "tests/shots/ShotScenes.h"
#include "ui/CDlgMessageBox.h"
#include "ui/CRowButtonList.h"

namespace mivora::shots {
namespace {

const SceneRegistrar kSplash("splash", "the start-up splash on its last frame", [](ShotContext& context) -> QWidget* {
  auto* splash = new CSplashWnd;
  splash->Start();
  context.settleMs = 1200;  // frames 0 to 10
  return splash;
});

const SceneRegistrar kMain("main", "the main window with three files, one selected", [](ShotContext& context) -> QWidget* {
  CMainDlg* window = context.MainWindow({context.Clip(QStringLiteral("Holiday at the lake.mp4"), 4.0, 640, 360),
                                         context.Clip(QStringLiteral("birthday.avi"), 3.0),
                                         context.Clip(QStringLiteral("interview-take2.mkv"), 2.0, 480, 270)});
  window->SourceListView()->selectRow(1);
  return window;
});

const SceneRegistrar kMultiSelect(
    "main-multiselect", "the main window with five files, three selected and given another profile",
    [](ShotContext& context) -> QWidget* {
      CMainDlg* window = context.MainWindow({context.Clip(QStringLiteral("Holiday at the lake.mp4"), 4.0, 640, 360),
                                             context.Clip(QStringLiteral("birthday.avi"), 3.0),
                                             context.Clip(QStringLiteral("interview-take2.mkv"), 2.0, 480, 270),
                                             context.Clip(QStringLiteral("garden party.mov"), 3.0, 640, 480),
                                             context.Clip(QStringLiteral("skate park.mp4"), 2.0, 480, 270)});
      QTableWidget& list = *window->SourceListView();
      for (int row : {0, 2, 3})
        list.selectionModel()->select(list.model()->index(row, 0),
                                      QItemSelectionModel::Select | QItemSelectionModel::Rows);
      list.selectionModel()->setCurrentIndex(list.model()->index(3, 0), QItemSelectionModel::NoUpdate);
      // The selected rows get another profile, as a pick in the menu does.
      ProfileMenu& menu = window->Model().Menu();
      for (const ProfileEntry& entry : menu.Catalog().All()) {
        if (entry.path.ends_with("/MP4 - MPEG-4 H.264 Video.xml")) menu.Select(entry.id);
      }
      window->ProfileBar()->OnProfileChosen();
      // Active with the list holding the keyboard, as after the user's clicks.
      window->show();
      window->activateWindow();
      if (!QTest::qWaitForWindowActive(window)) return window;
      list.setFocus();
      return window;
    });

const SceneRegistrar kEmpty("main-empty", "the main window before any file is added", [](ShotContext& context) -> QWidget* {
  return context.MainWindow();
});

const SceneRegistrar kMessage("message", "a question in the program's message box", [](ShotContext&) -> QWidget* {
  return new ui::CDlgMessageBox(QStringLiteral("Are you sure you want to start converting?"),
                                ui::kMbYesNo | ui::kMbIconQuestion, nullptr);
});

const SceneRegistrar kNotice("message-error", "a notice with the error picture", [](ShotContext&) -> QWidget* {
  return new ui::CDlgMessageBox(QStringLiteral("Mivora is already running!"), ui::kMbOk | ui::kMbIconStop, nullptr);
});

}  // namespace
}  // namespace mivora::shots
