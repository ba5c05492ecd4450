#include "app/editor/SourceWindowsDialogs.h"

#include "app/editor/EditorWindow.h"
#include "app/editor/PreviewWindow.h"

namespace mivora {

bool SourceWindowsDialogs::EditSource(QWidget* parent, SourceList& list, size_t row) {
  if (row >= list.Count()) return false;
  EditorWindow editor(list, row, parent);
  editor.exec();
  return editor.Saved();
}

void SourceWindowsDialogs::PreviewSource(QWidget* parent, const SourceItem& item) {
  PreviewWindow preview(item.sourcePath, parent);
  preview.exec();
}

}  // namespace mivora
