// The main window's profile, bit-rate and output-folder rows.

#include <QItemSelectionModel>
#include <algorithm>

#include "app/main/CMainDlg.h"
#include "app/main/MainDlgLayout.h"
#include "app/output/COutputFolderBar.h"
#include "app/profile/CProfileBar.h"
#include "ui/CGPImageButton.h"
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

void CMainDlg::OrderTabs() {
  // As the window reads: the caption buttons left to right, then the rows
  // from the top down, each left to right.
  const QList<QWidget*> order = {about_button_,
                                 help_,
                                 minimize_,
                                 close_,
                                 add_,
                                 clear_,
                                 list_,
                                 profileBar_->TargetButton(),
                                 profileBar_->EditButton(),
                                 profileBar_->VideoBitrates(),
                                 profileBar_->AudioBitrates(),
                                 outputBar_->Folders(),
                                 outputBar_->BrowseButton(),
                                 outputBar_->OpenButton(),
                                 start_};
  for (qsizetype i = 0; i + 1 < order.size(); ++i) setTabOrder(order[i], order[i + 1]);
}

std::vector<size_t> CMainDlg::SelectedRows() const {
  std::vector<size_t> rows;
  for (const QModelIndex& index : list_->selectionModel()->selectedRows())
    rows.push_back(static_cast<size_t>(index.row()));
  std::sort(rows.begin(), rows.end());
  return rows;
}

}  // namespace mivora
