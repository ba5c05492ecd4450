// The desktop program: one instance per user session, the splash while the
// main window builds, then the main window until it is closed.
#include <QApplication>
#include <QStringList>
#include <clocale>
#include <cstdio>

#include "app/about/AboutBox.h"
#include "app/main/CMainDlg.h"
#include "app/CSplashWnd.h"
#include "app/progress/LauncherEntryProgress.h"
#include "app/SingleInstance.h"
#include "app/editor/SourceWindowsDialogs.h"
#include "common/Folders.h"
#include "common/Log.h"
#include "ui/CDlgMessageBox.h"
#include "ui/Skin.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  // Numbers in files and engine arguments are always written in C form.
  std::setlocale(LC_NUMERIC, "C");
  QApplication::setApplicationDisplayName(QString::fromLatin1(mivora::ui::kProductName));
  mivora::ui::Skin::Apply(app);
  mivora::InstallLauncherEntryProgress();  // conversion progress on the launcher icon, where offered
  const std::string userFolder = mivora::AppDataFolder("Mivora");
  MLOG("Enter: main, program folder: %s", mivora::ProgramFolder().c_str());

  mivora::SingleInstance instance;
  if (instance.outcome() == mivora::SingleInstance::Outcome::kAlreadyRunning) {
    std::fprintf(stderr, "%s\n", mivora::kAlreadyRunning);
    mivora::ui::CDlgMessageBox::Show(QString::fromLatin1(mivora::kAlreadyRunning), mivora::ui::kMbOk | mivora::ui::kMbIconStop,
                                     nullptr);
    MLOG("Leave: main, already running");
    return 0;
  }

  auto* splash = new mivora::CSplashWnd;
  splash->Start();
  mivora::CMainDlg window(userFolder);
  mivora::SourceWindowsDialogs sourceWindows;  // the editor and the preview window
  window.SetSourceWindows(&sourceWindows);
  window.SetAboutAction(&mivora::ShowAboutBox);
  splash->CloseSplash();
  delete splash;
  // The program lives as long as the main window, which hides during a run
  // (a modal loop would end at that) and leaves only through its own close.
  QApplication::setQuitOnLastWindowClosed(false);
  QObject::connect(&window, &QDialog::finished, &app, &QCoreApplication::quit);
  window.show();
  // Files handed over by the desktop (dropped on the launcher, "Open with")
  // join the list as files dropped on the window do.
  const QStringList handedOver = QApplication::arguments().mid(1);
  if (!handedOver.isEmpty()) window.AddPaths(handedOver, mivora::AddRoute::kDrop);
  const int code = app.exec();
  MLOG("Leave: main");
  return code;
}
