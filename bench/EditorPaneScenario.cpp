#include "bench/EditorPaneScenario.h"

#include <QSize>

#include "app/editor/EditorFrameHandler.h"

namespace mivora::bench {
namespace {

EditSettings PaneEdits() {
  EditSettings edits;
  edits.effectsEnabled = 1;
  edits.effect = kEffectAgedFilm;
  edits.brightness = 10;
  edits.contrast = edits.saturation = 100;
  edits.flipHorizontal = 1;
  edits.stereoEnabled = 1;
  edits.stereoMode = kStereoRedCyan;
  edits.stereoDepth = 6;
  return edits;
}

uint64_t g_frames = 0;

}  // namespace

int EditorPaneFrame(int, YuvPlanes* planes, int width, int height) {
  static EditorFrameHandler handler;
  static const EditSettings edits = PaneEdits();
  handler.Render(edits, *planes, width, height, QSize(322, 204));
  if (!handler.Picture().isNull()) ++g_frames;
  return 0;
}

uint64_t TakeEditorPaneFrames() {
  uint64_t frames = g_frames;
  g_frames = 0;
  return frames;
}

}  // namespace mivora::bench
