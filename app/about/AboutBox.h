#pragma once
// Opening the about box from any window (the main window's "i" button, the
// progress window's About button).

class QWidget;

namespace mivora {

// Shows the about box modally over `parent`, asking this build's servers.
void ShowAboutBox(QWidget* parent);

}  // namespace mivora
