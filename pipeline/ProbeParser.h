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
// "Duration:" or "Video:") are ignored. Of several streams, the facts are
// those of the tracks the conversion uses (TrackChoice.h): the ones `choice`
// names (stream numbers, "#0:N"), or without it the ones the rule picks from
// the dispositions the text shows ("(default)", "(attached pic)",
// "(still image)").

#include <string_view>

#include "pipeline/MediaInfo.h"
#include "pipeline/TrackChoice.h"

namespace mivora {

// Fills the fields a line provides and leaves the others as they are.
// Returns true when a duration line was seen.
bool ParseProbeOutput(std::string_view output, MediaVideoFacts* video, MediaAudioFacts* audio,
                      const TrackChoice* choice = nullptr);

}  // namespace mivora
