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
  // A probe that found a duration but no picture found a sound-only file.
  bool soundOnly = !item.mediaInfo.video.duration.empty() && item.mediaInfo.video.videoCodec.empty();
  PreviewWindow preview(item.sourcePath, parent, !soundOnly);
  preview.exec();
}

}  // namespace mivora
