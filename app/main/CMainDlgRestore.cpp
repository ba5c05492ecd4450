// Items whose facts are known already (rebuilt elsewhere) join the list
// through the source session without a probe.
#include "app/main/CMainDlg.h"

namespace mivora {

void CMainDlg::AddRestoredItem(SourceItem item) { session_->AddWholeItem(std::move(item)); }

}  // namespace mivora
