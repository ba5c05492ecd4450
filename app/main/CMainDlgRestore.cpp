// Items that come back from the saved list after an abnormal end.
#include "app/main/CMainDlg.h"
#include "ui/CRowButtonList.h"

namespace mivora {

void CMainDlg::AddRestoredItem(SourceItem item) {
  const std::string path = item.sourcePath;
  // The keeper has probed the file again; the item comes whole.
  if (!model_.AppendItem(std::move(item))) return;
  list_->AppendRow(RowTexts(model_.Sources().Count() - 1));
  UpdateControls();
  emit SourcesChanged();
  // An edited item's tooltip is its edit summary.
  const SourceList& sources = model_.Sources();
  for (size_t row = 0; row < sources.Count(); ++row) {
    if (sources.At(row)->sourcePath == path) model_.RefreshEditSummary(row);
  }
  RefreshTips();
}

}  // namespace mivora
