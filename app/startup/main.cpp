// The desktop program: one instance per user session, the splash while the
// main window builds, then the main window until it is closed.
#include <QApplication>
#include <QStringList>
#include <QWindow>
#include <clocale>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>

#include "app/about/AboutBox.h"
#include "app/editor/SourceWindowsDialogs.h"
#include "app/main/CMainDlg.h"
#include "app/main/SourceListKeeper.h"
#include "app/progress/DoneNotification.h"
#include "app/progress/LauncherEntryProgress.h"
#include "app/startup/CSplashWnd.h"
#include "app/startup/InstanceChannel.h"
#include "app/startup/OpenProgressWindow.h"
#include "app/startup/QuitOnTerminate.h"
#include "app/startup/SingleInstance.h"
#include "common/Folders.h"
#include "common/Log.h"
#include "common/PrivateFiles.h"
#include "ui/CDlgMessageBox.h"
#include "ui/Skin.h"

namespace {

// How long a second start waits for the running program to take its files.
constexpr int kHandOverTimeLimitMs = 5000;

// A later start's files: added as a drop adds them; the program's window in
// front (the progress window while a run hides the main window).
void ReceiveHandOver(mivora::CMainDlg& window, const QStringList& paths) {
  QWidget* front = window.isVisible() || !window.ProgressWindow() ? static_cast<QWidget*>(&window) : window.ProgressWindow();
  if (front->isMinimized() || !front->isVisible()) front->showNormal();
  front->raise();
  front->activateWindow();
  if (!paths.isEmpty()) window.AddPaths(paths, mivora::AddRoute::kDrop);
}

const char* OutcomeText(mivora::SingleInstance::Outcome outcome) {
  switch (outcome) {
    case mivora::SingleInstance::Outcome::kFirst: return "held";
    case mivora::SingleInstance::Outcome::kAlreadyRunning: return "held by the running program";
    case mivora::SingleInstance::Outcome::kUnprotected: return "none";
  }
  return "";
}

// Logs the first time the main window is on the screen (the display server
// has mapped it), with the platform it runs on.
class MappedLogger : public QObject {
 public:
  explicit MappedLogger(QWidget* window) : QObject(window), window_(window) {}

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched == window_ && event->type() == QEvent::Show && window_->windowHandle()) {
      window_->windowHandle()->installEventFilter(this);
    } else if (event->type() == QEvent::Expose && window_->windowHandle() == watched &&
               window_->windowHandle()->isExposed()) {
      MLOG("main, main window mapped (%s)", QGuiApplication::platformName().toLatin1().constData());
      window_->windowHandle()->removeEventFilter(this);
      window_->removeEventFilter(this);
    }
    return false;
  }

 private:
  QWidget* window_;
};

// Settings every window relies on, made before the first one opens.
void SetUpApplication(QApplication& app) {
  // Numbers in files and engine arguments are always written in C form.
  std::setlocale(LC_NUMERIC, "C");
  QApplication::setApplicationDisplayName(QString::fromLatin1(mivora::ui::kProductName));
  // Docks and task switchers (Wayland's above all) find the icon and group
  // the windows by the desktop entry's name.
  QGuiApplication::setDesktopFileName(QString::fromLatin1(mivora::kDesktopIconName));
  mivora::ui::Skin::Apply(app);
  mivora::InstallLauncherEntryProgress();  // conversion progress on the launcher icon, where offered
}

// Another start holds the lock: this one hands its files to it and says
// so when it could not. Returns the exit code of this start.
int HandOverToRunningProgram(const QStringList& handedOver) {
  const bool taken = mivora::InstanceChannel::HandOver(mivora::InstanceChannel::SocketPath(), handedOver,
                                                       kHandOverTimeLimitMs);
  if (taken && !handedOver.isEmpty()) {
    MLOG("Leave: main, files handed to the running program");
    return 0;
  }
  std::fprintf(stderr, "%s\n", mivora::kAlreadyRunning);
  const QString text = taken || handedOver.isEmpty()
                           ? QString::fromLatin1(mivora::kAlreadyRunning)
                           : QStringLiteral("%1\nIt did not take the files.").arg(QString::fromLatin1(mivora::kAlreadyRunning));
  mivora::ui::CDlgMessageBox::Show(text, mivora::ui::kMbOk | mivora::ui::kMbIconStop, nullptr);
  MLOG("Leave: main, already running");
  return taken ? 0 : 1;
}

// What earlier versions and killed runs left behind is put right first.
void TidyLeftovers(const std::string& userFolder) {
  // Files that an older version left readable by others are closed to them.
  mivora::TightenPrivateTree(userFolder);
  // What killed runs of the program left in the temporary folder goes first.
  mivora::RemoveLeftoversOfEndedProcesses();
}

// The main window's parts that come from outside its folder: the source
// windows, the about box and the progress window.
void ConnectMainWindow(mivora::CMainDlg& window, mivora::SourceWindowsDialogs& sourceWindows) {
  window.SetSourceWindows(&sourceWindows);
  window.SetAboutAction(&mivora::ShowAboutBox);
  window.SetProgressWindowFactory(mivora::ProgressWindows(&mivora::ShowAboutBox));
}

// Each change of the list is logged with its size and last file (what the
// program holds, for the log's reader and the start-up tests).
void LogSourceListChanges(mivora::CMainDlg& window) {
  QObject::connect(&window, &mivora::CMainDlg::SourcesChanged, &window, [&window] {
    const mivora::SourceList& sources = window.Model().Sources();
    const std::optional<mivora::SourceItem> last = sources.Count() ? sources.At(sources.Count() - 1) : std::nullopt;
    MLOG("main, source list: %zu files, last: %s", sources.Count(), last ? last->sourcePath.c_str() : "");
  });
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  SetUpApplication(app);
  const std::string userFolder = mivora::AppDataFolder("Mivora");
  // Files handed over by the desktop (dropped on the launcher, "Open with").
  const QStringList handedOver = QApplication::arguments().mid(1);

  // Taken before anything is logged: the log belongs to the program that
  // runs, so only a start that holds the lock begins a new one; a second
  // start adds its lines to the running program's log.
  mivora::SingleInstance instance;
  if (instance.outcome() != mivora::SingleInstance::Outcome::kAlreadyRunning) mivora::ResetLogForNewRun();
  MLOG("Enter: main, program folder: %s, lock: %s (%s)", mivora::ProgramFolder().c_str(),
       mivora::SingleInstance::LockPath().c_str(), OutcomeText(instance.outcome()));
  if (instance.outcome() == mivora::SingleInstance::Outcome::kAlreadyRunning)
    return HandOverToRunningProgram(handedOver);
  TidyLeftovers(userFolder);
  // A later start hands its files over through this door.
  mivora::InstanceChannel channel;
  channel.Listen(mivora::InstanceChannel::SocketPath());

  auto splash = std::make_unique<mivora::CSplashWnd>();
  splash->Start();
  mivora::CMainDlg window(userFolder);
  mivora::SourceWindowsDialogs sourceWindows;  // the editor and the preview window
  ConnectMainWindow(window, sourceWindows);
  splash->CloseSplash();
  splash.reset();
  // The program lives as long as the main window, which hides during a run
  // (a modal loop would end at that) and leaves only through its own close.
  QApplication::setQuitOnLastWindowClosed(false);
  // The list is kept on disk while the program runs; only the exit the user
  // chose ("x", then Yes) means it need not come back.
  mivora::SourceListKeeper keeper(window, mivora::SourceListKeeper::PathIn(userFolder));
  QObject::connect(&window, &QDialog::finished, &keeper, &mivora::SourceListKeeper::MarkCleanExit);
  QObject::connect(&window, &QDialog::finished, &app, &QCoreApplication::quit);
  window.installEventFilter(new MappedLogger(&window));
  window.show();
  // Files handed over by the desktop, now or by a later start, join the list
  // as files dropped on the window do.
  if (!handedOver.isEmpty()) window.AddPaths(handedOver, mivora::AddRoute::kDrop);
  channel.SetReceiver([&window](const QStringList& paths) { ReceiveHandOver(window, paths); });
  LogSourceListChanges(window);
  mivora::QuitOnTerminate();
  keeper.OfferRestore();
  // Ended while the question was open: the saved list stays for next time.
  if (mivora::TerminateRequested()) {
    MLOG("Leave: main, ended at start-up");
    return 0;
  }
  keeper.StartSaving();
  const int code = app.exec();
  MLOG("Leave: main");
  return code;
}
