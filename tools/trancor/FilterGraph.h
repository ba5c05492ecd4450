#pragma once
// Turns the engine's video filter text (the joined "-vf" values) and the 3D
// options into one ffmpeg filter graph for "-vf".
//
// The chains are joined into one edit chain and translated by EditGraph.h,
// which checks every segment and re-escapes texts and paths for ffmpeg.

#include <string>
#include <optional>
#include <vector>

#include "tools/trancor/EditGraph.h"

namespace mivora::trancor {

struct VideoFilterRequest {
  std::vector<std::string> chains;  // each "-vf" value in order
  int d3dMode = -1;  // -1: no 3D
  int d3dDepth = 0;
  std::string leadingFilters;  // ffmpeg filters run on the source before the edits
  std::optional<FrameFitRequest> fit;  // the output frame the picture is fitted into
};

struct VideoFilterGraph {
  bool ok = true;
  std::string error;  // a readable reason when !ok
  std::string graph;  // empty: no filtering
  bool fitted = false;  // the graph makes the output's frame size and aspect
  std::optional<colour::ScreenColour> recodedTo;  // the matrix the picture was re-coded to
};

VideoFilterGraph BuildVideoFilterGraph(const VideoFilterRequest& request);

}  // namespace mivora::trancor
