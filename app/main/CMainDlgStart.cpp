// "Start": the question, the output folder, the job list and the progress window.
#include "app/main/CMainDlg.h"
#include "app/output/COutputFolderBar.h"
#include "common/Log.h"
#include "ui/CDlgMessageBox.h"

namespace mivora {

void CMainDlg::OnStart() {
  MLOG("Enter: CMainDlg::OnStart");
  if (ui::CDlgMessageBox::Show(QString::fromLatin1(kAskStart), ui::kMbYesNo | ui::kMbIconQuestion, this) !=
      ui::kIdFirst) {
    return;
  }
  QString problem;
  const std::string folder = outputBar_->FolderToWrite(&problem);
  if (!problem.isEmpty()) {
    MLOG("Leave: CMainDlg::OnStart, unusable output folder");
    ui::CDlgMessageBox::Show(problem, ui::kMbOk | ui::kMbIconStop, this);
    return;
  }
  if (folder.empty()) {
    ui::CDlgMessageBox::Show(QString::fromLatin1(kNoOutputFolder), ui::kMbOk | ui::kMbIconInformation, this);
    return;
  }
  // Files still being read are part of the batch: their facts are waited for.
  FinishAdding();
  if (progress_) {
    progress_->close();
    progress_->deleteLater();
    progress_ = nullptr;
  }
  JobListResult jobs = model_.BuildJobs(folder);
  if (!jobs.ok) {
    // Nothing is converted; the user learns why instead of seeing nothing happen.
    MLOG("Leave: CMainDlg::OnStart, cannot build the jobs: %s", jobs.error.c_str());
    ui::CDlgMessageBox::Show(QString::fromStdString(jobs.error), ui::kMbOk | ui::kMbIconStop, this);
    return;
  }
  if (!openProgress_) {
    MLOG("Leave: CMainDlg::OnStart, no progress window to run %zu jobs", jobs.jobs.size());
    return;
  }
  model_.OnRunStarting();
  emit RunStarting();
  RefreshTips();
  HideForRun();
  progress_ = openProgress_(this, std::move(jobs.jobs));
  if (progress_) progress_->show();
  MLOG("Leave: CMainDlg::OnStart");
}

}  // namespace mivora
