#pragma once
// Picks the MediaInfo facts out of the engine's description of a source.
//
// The text is read as lines ending in "\n" (a "\r" before it is dropped); the
// text after the last line break is not examined. Only the engine's own
// lines count:
//   - the input's duration line, "  Duration: ..." (two blanks of indent);
//   - its stream lines, "    Stream #I:S...: Video: ..." and "...: Audio: ..."
//     (four blanks of indent);
//   - in a video stream's "Side data:" block, its display matrix line,
//     "displaymatrix: rotation of -90.00 degrees" (the rotation field).
// Lines of the input's metadata block ("  Metadata:" and the entries below
// it) and anything else (a title, a comment or a file name that merely holds
// "Duration:" or "Video:") are ignored. A later matching line replaces the
// values of an earlier one, so with several streams the last one listed wins.

#include <string_view>

#include "pipeline/MediaInfo.h"

namespace mivora {

// Fills the fields a line provides and leaves the others as they are.
// Returns true when a duration line was seen.
bool ParseProbeOutput(std::string_view output, MediaVideoFacts* video, MediaAudioFacts* audio);

}  // namespace mivora
