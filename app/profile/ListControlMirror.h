#pragma once
// Showing a window-less list (ListControl) in a drop-down. The profile logic
// reads and fills only the ListControl; the user's pick goes into it with
// Select, and the drop-down is redrawn from it after every event.

#include <QComboBox>

#include "profiles/ListControl.h"

namespace mivora {

// Replaces the drop-down's items and selection with the list's (no
// selection shows nothing), without reporting it as a user's pick.
// `enabled`: whether the window allows the control now; an empty list is
// disabled either way.
void ShowListControl(const ListControl& list, QComboBox& box, bool enabled);

}  // namespace mivora
