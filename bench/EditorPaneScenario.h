#pragma once
// The editor's right pane as a playback scenario: every frame goes through
// the editor's frame handler with an effect and a 3D mode on.

#include <cstdint>

#include "preview/Glimra.h"

namespace mivora::bench {

// A frame callback for CPlayStatic: renders the frame into a 322 x 204 pane
// (320 x 200 after the cut to multiples of 8) with the "Aged film" effect,
// brightness 10, a horizontal flip and the red / cyan 3D mode at depth 6.
int EditorPaneFrame(int reserved, YuvPlanes* planes, int width, int height);
// Frames rendered by EditorPaneFrame since the last call (then reset).
uint64_t TakeEditorPaneFrames();

}  // namespace mivora::bench
