#pragma once
// Turns the engine's video filter text (the joined "-vf" values) and the 3D
// options into one ffmpeg filter graph for "-vf".
//
// Today plain filter chains ("crop=600:400:20:40,scale=640:480") pass through
// unchanged and the 3D mode 0 adds nothing. The edit filters that need
// translating (watermark pictures, text, colour, sharpening, 3D) are added
// here, each as its own step in BuildVideoFilterGraph.

#include <string>
#include <vector>

namespace mivora::trancor {

struct VideoFilterRequest {
  std::vector<std::string> chains;  // each "-vf" value in order
  int d3dMode = 0;
  int d3dDepth = 0;
};

struct VideoFilterGraph {
  bool ok = true;
  std::string error;  // a readable reason when !ok
  std::string graph;  // empty: no filtering
};

VideoFilterGraph BuildVideoFilterGraph(const VideoFilterRequest& request);

}  // namespace mivora::trancor
