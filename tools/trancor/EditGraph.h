#pragma once
// Turning the program's edit filter chain (the joined "-vf" value) and its 3D
// options into a filter graph that ffmpeg accepts and that does what each
// segment means.
//
// The chain is a comma-separated list of segments (commas inside single
// quotes do not separate): lutyuv, unsharp, vflip, hflip, drawtext, crop,
// scale, and the picture watermark "movie=PATH [name];[in|X][name]
// overlay=X:Y", where "[X]" at the end of the segment before it labels that
// filter's output. Texts and paths arrive in the program's filter-text
// escaping and are re-escaped here for ffmpeg, so that any text is drawn and
// any path is opened literally. Anything else is refused: the adapter never
// passes an unknown filter on.
//
// The region a crop keeps is the one the editor's band covers on the
// unflipped source: the crop runs before the flips and effects, and text and
// picture positions are taken relative to that region. The output frame's
// fit (OutputFrame) follows the edits and comes before the 3D mode.

#include <optional>
#include <string>
#include <string_view>

#include "profiles/OutputFrame.h"
#include "tools/colour/ColourRule.h"

namespace mivora::trancor {

struct StereoOptions {
  int mode = 0;   // 0 Red/Cyan, 1 Red/Green, 2 Red/Blue, 3 Blue/Yellow, 4 Interleaved, 5 Side by side
  int depth = 0;  // pixels, negative swaps the views
};

// The output's frame: the picture (the crop's region, else the whole source
// as ffmpeg hands it over) is fitted into `format` after the edits and
// before the 3D mode. A "scale=W:H" segment of the chain (the frame size the
// program puts behind a crop) names the frame size.
//
// A screen takes the matrix of a picture that names none from its size
// (colour::UnnamedMatrixOf), and many formats cannot name one. So a TV-range
// picture whose output frame falls on the other side of that line from its
// source's matrix (an HD source in an SD frame, SD in HD) is re-coded to the
// matrix the frame implies, after the fit; `sourceColour` is how a screen
// shows the picture entering the edits (none: leave its codes as they are).
struct FrameFitRequest {
  FrameFormat format;
  PictureShape source;
  std::optional<colour::ScreenColour> sourceColour;
};

struct EditGraph {
  bool ok = false;
  std::string graph;  // for ffmpeg's -vf; empty when there is nothing to do
  std::string error;  // why the chain was refused
  // The graph makes the output's frame (its size and display aspect need no
  // further option); false when there was nothing to fit or the source's
  // size is unknown.
  bool fitted = false;
  OutputFrame frame;
  // The matrix the picture was re-coded to; none when its codes are kept.
  std::optional<colour::ScreenColour> recodedTo;
};

// `leadingFilters` (ffmpeg filters, e.g. the tone mapping of an HDR source)
// run on the source before every edit.
EditGraph BuildEditGraph(std::string_view chain, std::optional<StereoOptions> stereo,
                         std::string_view leadingFilters = {}, const std::optional<FrameFitRequest>& fit = {});

// The filters that scale a picture into `frame`: the picture's size, the
// black bars around it, the frame's display aspect.
std::string FitFilters(const OutputFrame& frame);

// ffmpeg's escaping of an arbitrary text as one option value inside a filter
// graph description (quoted for the option parser, then escaped for the graph
// parser).
std::string EscapeGraphValue(std::string_view value);

}  // namespace mivora::trancor
