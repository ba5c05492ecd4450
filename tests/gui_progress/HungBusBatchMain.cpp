// A batch in the progress window, in a process of its own that ends through
// SIGTERM as the program does: prints "started" once Start has returned.
#include <QApplication>
#include <QPointer>
#include <clocale>
#include <cstdio>

#include "app/startup/QuitOnTerminate.h"
#include "app/progress/CConvertingTray.h"
#include "app/progress/CDlgConverting.h"
#include "app/progress/LauncherEntryProgress.h"
#include "common/Folders.h"
#include "ui/Skin.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: hung_bus_batch SOURCE OUTPUT\n");
    return 2;
  }
  mivora::SetProgramFolder(MIVORA_PROGRAM_DIR);  // the engine adapter lives there
  QApplication app(argc, argv);
  std::setlocale(LC_NUMERIC, "C");
  mivora::ui::Skin::Apply(app);
  mivora::InstallLauncherEntryProgress();
  mivora::CConvertingTray::AssumeAvailable(true);
  mivora::QuitOnTerminate();
  QPointer<mivora::CDlgConverting> dialog = new mivora::CDlgConverting;
  dialog->AddJob({argv[1], argv[2], "10 KB", "mp4", "-vcodec libx264 -acodec mp2 -s 1280x720 ", 20});
  if (!dialog->Start()) return 1;
  dialog->MinimizeToTray();
  std::printf("started\n");
  std::fflush(stdout);
  const int code = app.exec();
  delete dialog;
  return code;
}
