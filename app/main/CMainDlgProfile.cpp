// The main window's profile, bit-rate and output-folder rows.

#include <QItemSelectionModel>
#include <algorithm>

#include "app/main/CMainDlg.h"
#include "app/main/MainDlgLayout.h"
#include "app/output/COutputFolderBar.h"
#include "app/profile/CProfileBar.h"
#include "ui/CRowButtonList.h"

namespace mivora {

void CMainDlg::BuildProfileControls() {
  profileBar_ = new CProfileBar(this, model_.Menu(), model_.Panel(), [this] { return SelectedRows(); });
  profileBar_->setGeometry(layout::kProfileRow.united(layout::kQualityRow));
  connect(profileBar_, &CProfileBar::rowsChanged, this, &CMainDlg::RefreshRows);
  connect(this, &CMainDlg::SourceClicked, profileBar_, &CProfileBar::OnSourceClicked);
  connect(this, &CMainDlg::ProfileControlsChanged, profileBar_, &CProfileBar::SetControlsEnabled);

  outputBar_ = new COutputFolderBar(this, model_.OutputFolders());
  outputBar_->setGeometry(layout::kOutputRow);
}

std::vector<size_t> CMainDlg::SelectedRows() const {
  std::vector<size_t> rows;
  for (const QModelIndex& index : list_->selectionModel()->selectedRows())
    rows.push_back(static_cast<size_t>(index.row()));
  std::sort(rows.begin(), rows.end());
  return rows;
}

}  // namespace mivora
