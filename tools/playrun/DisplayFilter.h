#pragma once
// Makes decoded video frames look as the engine's output will: turned and
// mirrored by the track's display matrix (as ffmpeg's automatic rotation does
// to the output) and, for a PQ or HLG source, tone-mapped to BT.709 SDR with
// the colour rule's chain (tools/colour). A frame too large for the shared
// block is scaled down first, so the costly steps run on fewer pixels. Frames
// that need neither turn nor tone mapping pass through untouched, without a
// filter graph.

#include <cstdint>
#include <string>
#include <utility>

struct AVFilterGraph;
struct AVFilterContext;
struct AVFrame;

namespace mivora::playrun {

// What a track's display matrix asks for, read as ffmpeg's automatic
// rotation reads it: the filters that turn and mirror the picture (empty:
// none), and whether its sides are exchanged.
struct DisplayTurn {
  std::string filters;
  bool exchangesSides = false;
};
// `matrix`: the nine values of a display matrix (AV_PKT_DATA_DISPLAYMATRIX),
// or null. Angles between the quarters go to the nearest quarter turn.
DisplayTurn TurnOfMatrix(const int32_t* matrix);

// What the chain depends on of a decoded frame (codes as FFmpeg's AVCOL_*).
struct FrameFacts {
  int width = 0, height = 0;
  int transfer = 2, primaries = 2, matrix = 2;  // 2: unspecified
};

// The filter chain for a frame with the track's `turn`; empty when the frame
// goes over as it is.
std::string DisplayChain(const FrameFacts& frame, const DisplayTurn& turn);

class DisplayFilter {
 public:
  explicit DisplayFilter(DisplayTurn turn) : turn_(std::move(turn)) {}
  ~DisplayFilter();
  DisplayFilter(const DisplayFilter&) = delete;
  DisplayFilter& operator=(const DisplayFilter&) = delete;

  // The frame to hand over for `decoded`: `decoded` itself when it needs no
  // filtering, else the filtered frame (owned here, valid until the next
  // call). Null when filtering fails; the reason goes to standard error
  // once per graph.
  const AVFrame* Apply(const AVFrame* decoded);

 private:
  bool Build(const AVFrame* decoded, const std::string& chain);
  void Release();

  const DisplayTurn turn_;
  std::string chain_;  // the chain the graph was built for
  int width_ = 0, height_ = 0, format_ = -1;
  AVFilterGraph* graph_ = nullptr;
  AVFilterContext* source_ = nullptr;
  AVFilterContext* sink_ = nullptr;
  AVFrame* filtered_ = nullptr;
};

}  // namespace mivora::playrun
