#pragma once
// What screen readers see of a CRowButtonList: a table whose children are its
// rows; each row holds its text cells (named by their texts) and its image
// buttons (named by their tooltips, with a "press" action that does what a
// click does). The list paints its buttons itself, so without this they
// would not exist for assistive technology.

namespace mivora::ui {

// Registers the list's accessibility factory; safe to call more than once.
void InstallRowButtonListAccessibility();

}  // namespace mivora::ui
