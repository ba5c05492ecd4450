#pragma once
// How the main window's row buttons open the per-file windows. The editor and
// preview windows implement it; the main window holds a pointer that may be
// null, and then those two buttons do nothing.

#include <cstddef>

#include "pipeline/SourceList.h"

class QWidget;

namespace mivora {

// Opens the per-file windows from the main window's row buttons.
class SourceWindows {
 public:
  virtual ~SourceWindows() = default;
  // "Edit the video": edits the item at `row` of `list` in a modal editor; true when the item's edits changed.
  virtual bool EditSource(QWidget* parent, SourceList& list, size_t row) = 0;
  // "Preview": plays the item's source file in a modal preview window.
  virtual void PreviewSource(QWidget* parent, const SourceItem& item) = 0;
};

}  // namespace mivora
