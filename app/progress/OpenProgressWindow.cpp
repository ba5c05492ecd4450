#include "app/progress/OpenProgressWindow.h"

#include "app/progress/CDlgConverting.h"
#include "app/main/CMainDlg.h"

namespace mivora {

QWidget* OpenProgressWindow(CMainDlg* owner, std::vector<ConversionJob> jobs,
                            std::function<void(QWidget*)> about) {
  auto* window = new CDlgConverting;
  for (const ConversionJob& job : jobs) window->AddJob(job);
  window->SetAboutHandler(std::move(about));
  QObject::connect(window, &CDlgConverting::restoreMainWindow, owner, &CMainDlg::RestoreAfterRun);
  QObject::connect(window, &CDlgConverting::batchCompleted, owner, &CMainDlg::OnRunFinished);
  // A program that ends mid-run stops the batch with the main window.
  QObject::connect(owner, &QObject::destroyed, window, [window] { delete window; });
  return window;
}

}  // namespace mivora
