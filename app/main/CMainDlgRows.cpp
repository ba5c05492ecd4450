// The main window's row actions, clearing and the edit-summary tooltips.
#include <QItemSelectionModel>
#include <QScopedValueRollback>

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
  model_.RefreshEditSummary(static_cast<size_t>(row));
  RefreshRows();
}

void CMainDlg::FollowSelection() {
  if (rowsChanging_) return;
  const int64_t followed = model_.OnSelectionChanged(SelectedRows(), list_->currentRow());
  if (followed >= 0) emit SourceClicked(static_cast<int>(followed));
  emit ProfileControlsChanged(model_.ProfileControlsEnabled());
}

void CMainDlg::DeleteRow(int row) {
  if (!model_.DeleteRow(static_cast<size_t>(row))) return;
  {
    // The list moves its current row and selection as the row goes; the
    // current profile stays what the user chose.
    QScopedValueRollback<bool> changing(rowsChanging_, true);
    list_->removeRow(row);
  }
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
  // The selection and the current row travel with their items.
  QScopedValueRollback<bool> changing(rowsChanging_, true);
  QItemSelectionModel& selection = *list_->selectionModel();
  const bool rowSelected = selection.isRowSelected(row);
  const bool otherSelected = selection.isRowSelected(other);
  const auto mark = [&](int at, bool selected) {
    selection.select(list_->model()->index(at, 0),
                     (selected ? QItemSelectionModel::Select : QItemSelectionModel::Deselect) |
                         QItemSelectionModel::Rows);
  };
  if (rowSelected != otherSelected) {
    mark(row, otherSelected);
    mark(other, rowSelected);
  }
  const int current = list_->currentRow();
  if (current == row || current == other) {
    selection.setCurrentIndex(list_->model()->index(current == row ? other : row, list_->currentColumn()),
                              QItemSelectionModel::NoUpdate);
  }
  RefreshTips();
  emit SourcesChanged();
}

void CMainDlg::DeleteSelectedRows() {
  const std::vector<size_t> rows = SelectedRows();
  for (auto row = rows.rbegin(); row != rows.rend(); ++row) DeleteRow(static_cast<int>(*row));
}

void CMainDlg::OnClearList() {
  if (model_.Sources().Count() == 0) return;
  if (ui::CDlgMessageBox::Show(QString::fromLatin1(kAskClear), ui::kMbYesNo | ui::kMbIconQuestion, this) !=
      ui::kIdFirst) {
    return;
  }
  ForgetPendingFiles();
  model_.ClearList();
  QScopedValueRollback<bool> changing(rowsChanging_, true);
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
    // A failed row explains itself wherever the pointer rests.
    const std::string failure = model_.RowFailure(static_cast<size_t>(row));
    if (QTableWidgetItem* info = list_->item(row, 1))
      info->setToolTip(failure.empty() ? info->text() : QString::fromStdString(failure));
  }
}

}  // namespace mivora
