#include "app/startup/OpenProgressWindow.h"

#include "app/progress/CDlgConverting.h"
#include "common/Log.h"

namespace mivora {

QWidget* OpenProgressWindow(CMainDlg* owner, std::vector<ConversionJob> jobs,
                            std::function<void(QWidget*)> about) {
  auto* window = new CDlgConverting;
  for (const ConversionJob& job : jobs) window->AddJob(job);
  window->SetAboutHandler(std::move(about));
  // The number of conversions at once is the user's setting, kept in config.xml.
  MainWindowModel& model = owner->Model();
  if (int chosen = model.Config().GetConversionsAtOnce(); chosen > 0)
    window->SetConversionsAtOnce(chosen);
  QObject::connect(window, &CDlgConverting::conversionsAtOnceChosen, owner, [owner](int count) {
    MainWindowModel& settings = owner->Model();
    settings.Config().SetConversionsAtOnce(count);
    if (!settings.Config().SaveConfig(settings.ConfigPath()))
      MLOG("OpenProgressWindow, cannot save %s", settings.ConfigPath().c_str());
  });
  QObject::connect(window, &CDlgConverting::restoreMainWindow, owner, &CMainDlg::RestoreAfterRun);
  QObject::connect(window, &CDlgConverting::batchCompleted, owner, &CMainDlg::OnRunFinished);
  QObject::connect(window, &CDlgConverting::sourceConverted, owner, &CMainDlg::OnSourceConverted);
  QObject::connect(window, &CDlgConverting::jobFailed, owner, &CMainDlg::OnJobFailed);
  // A program that ends mid-run stops the batch with the main window.
  QObject::connect(owner, &QObject::destroyed, window, [window] { delete window; });
  return window;
}

ProgressWindowFactory ProgressWindows(std::function<void(QWidget*)> about) {
  return [about = std::move(about)](CMainDlg* owner, std::vector<ConversionJob> jobs) {
    return OpenProgressWindow(owner, std::move(jobs), about);
  };
}

}  // namespace mivora
