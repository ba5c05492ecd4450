#include "tools/trancor/FilterGraph.h"

#include "tools/trancor/EditGraph.h"

namespace mivora::trancor {
namespace {

std::string TrimBlanks(const std::string& text) {
  size_t start = text.find_first_not_of(" \t");
  if (start == std::string::npos) return "";
  size_t end = text.find_last_not_of(" \t");
  return text.substr(start, end - start + 1);
}

// Several "-vf" options apply one after the other, as one chain.
std::string JoinChains(const std::vector<std::string>& chains) {
  std::string graph;
  for (const std::string& chain : chains) {
    std::string piece = TrimBlanks(chain);
    if (piece.empty()) continue;
    if (!graph.empty()) graph += ',';
    graph += piece;
  }
  return graph;
}

}  // namespace

VideoFilterGraph BuildVideoFilterGraph(const VideoFilterRequest& request) {
  std::optional<StereoOptions> stereo;
  if (request.d3dMode >= 0) stereo = StereoOptions{request.d3dMode, request.d3dDepth};
  EditGraph edit = BuildEditGraph(JoinChains(request.chains), stereo, request.leadingFilters, request.fit);
  VideoFilterGraph result;
  result.ok = edit.ok;
  result.error = edit.error;
  result.graph = edit.graph;
  result.fitted = edit.fitted;
  result.recodedTo = edit.recodedTo;
  return result;
}

}  // namespace mivora::trancor
