#pragma once
// Opens the progress window for the main window's run: the factory the main
// window is given where the program is assembled
// (CMainDlg::SetProgressWindowFactory), so that neither window's folder
// needs the other.

#include <functional>
#include <vector>

#include "app/main/CMainDlg.h"
#include "pipeline/ConversionJob.h"

class QWidget;

namespace mivora {

// A progress window over `jobs`, not yet shown (showing it starts the
// batch). It is a window of its own (its own taskbar entry while the main
// window is hidden); the main window comes back when the run ends or is
// cancelled, drops its items' edits after a completed run, and takes the
// progress window with it when it goes. `about` is what the About button
// shows.
QWidget* OpenProgressWindow(CMainDlg* owner, std::vector<ConversionJob> jobs,
                            std::function<void(QWidget*)> about = {});

// The factory that opens such windows, for CMainDlg::SetProgressWindowFactory.
ProgressWindowFactory ProgressWindows(std::function<void(QWidget*)> about = {});

}  // namespace mivora
