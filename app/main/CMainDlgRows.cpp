// The main window's row actions, clearing and the edit-summary tooltips.
#include "app/main/CMainDlg.h"
#include "app/main/SourceWindows.h"
#include "common/Log.h"
#include "ui/CDlgMessageBox.h"
#include "ui/CGPImageButton.h"
#include "ui/CRowButtonList.h"

namespace mivora {

void CMainDlg::OnRowButton(int row, int action) {
  if (row < 0 || static_cast<size_t>(row) >= model_.Sources().Count()) return;
  MLOG("CMainDlg::OnRowButton, row: %d, action: %d", row, action);
  switch (action) {
    case kRowEdit: EditRow(row); break;
    case kRowPreview:
      if (sourceWindows_) {
        if (std::optional<SourceItem> item = model_.Sources().At(static_cast<size_t>(row)))
          sourceWindows_->PreviewSource(this, *item);
      }
      break;
    case kRowDelete: DeleteRow(row); break;
    case kRowMoveDown: MoveRow(row, true); break;
    case kRowMoveUp: MoveRow(row, false); break;
    default: break;
  }
}

void CMainDlg::EditRow(int row) {
  if (!sourceWindows_) return;
  sourceWindows_->EditSource(this, model_.Sources(), static_cast<size_t>(row));
  // The editor may have changed the profile's lists as well as the item.
  RefreshRows();
  model_.RefreshEditSummary(static_cast<size_t>(row));
  RefreshTips();
}

void CMainDlg::DeleteRow(int row) {
  if (!model_.DeleteRow(static_cast<size_t>(row))) return;
  list_->removeRow(row);
  model_.OnRowsDeleted(!list_->selectionModel()->selectedRows().isEmpty());
  RefreshTips();
  UpdateControls();
  emit SourcesChanged();
}

void CMainDlg::MoveRow(int row, bool down) {
  const bool moved = down ? model_.MoveRowDown(static_cast<size_t>(row)) : model_.MoveRowUp(static_cast<size_t>(row));
  if (!moved) return;
  const int other = down ? row + 1 : row - 1;
  list_->SetRowTexts(row, RowTexts(static_cast<size_t>(row)));
  list_->SetRowTexts(other, RowTexts(static_cast<size_t>(other)));
  list_->selectRow(other);
  RefreshTips();
  emit SourcesChanged();
}

void CMainDlg::OnClearList() {
  if (model_.Sources().Count() == 0) return;
  if (ui::CDlgMessageBox::Show(QString::fromLatin1(kAskClear), ui::kMbYesNo | ui::kMbIconQuestion, this) !=
      ui::kIdFirst) {
    return;
  }
  ForgetPendingFiles();
  model_.ClearList();
  list_->setRowCount(0);
  UpdateControls();
  emit SourcesChanged();
}

void CMainDlg::RefreshRows() {
  for (int row = 0; row < list_->rowCount(); ++row) list_->SetRowTexts(row, RowTexts(static_cast<size_t>(row)));
  RefreshTips();
}

void CMainDlg::RefreshTips() {
  // The File cell shows the item's edit summary, else its whole path.
  for (int row = 0; row < list_->rowCount(); ++row) {
    QTableWidgetItem* cell = list_->item(row, 0);
    if (!cell) continue;
    const std::string tip = model_.RowTip(static_cast<size_t>(row));
    cell->setToolTip(tip.empty() ? cell->text() : QString::fromStdString(tip));
  }
}

}  // namespace mivora
