#pragma once
// The per-file windows the main window's row buttons open: the editor and
// the preview window, both modal.

#include "app/main/SourceWindows.h"

namespace mivora {

class SourceWindowsDialogs : public SourceWindows {
 public:
  bool EditSource(QWidget* parent, SourceList& list, size_t row) override;
  void PreviewSource(QWidget* parent, const SourceItem& item) override;
};

}  // namespace mivora
