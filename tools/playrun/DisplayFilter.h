#pragma once
// Makes decoded video frames look as the engine's output will: turned by the
// track's display rotation (the engine turns its output the same way) and,
// for a PQ or HLG source, tone-mapped to BT.709 SDR with the engine's own
// filter chain. A frame too large for the shared block is scaled down first,
// so the costly steps run on fewer pixels. Frames that need neither turn nor
// tone mapping pass through untouched, without a filter graph.

#include <string>

struct AVFilterGraph;
struct AVFilterContext;
struct AVFrame;

namespace mivora::playrun {

// The chain the engine applies to PQ and HLG sources.
extern const char* const kToneMapChain;

// True for the transfer characteristics (AVColorTransferCharacteristic)
// that are tone-mapped: SMPTE ST 2084 (PQ) and ARIB STD-B67 (HLG).
bool IsHdrTransfer(int transfer);

// The filter chain for a frame of `width` x `height` with the clockwise
// `rotation` (0, 90, 180 or 270) and the given transfer; empty when the
// frame goes over as it is.
std::string DisplayChain(int width, int height, int rotation, int transfer);

class DisplayFilter {
 public:
  explicit DisplayFilter(int clockwiseRotation) : rotation_(clockwiseRotation) {}
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

  const int rotation_;
  std::string chain_;  // the chain the graph was built for
  int width_ = 0, height_ = 0, format_ = -1;
  AVFilterGraph* graph_ = nullptr;
  AVFilterContext* source_ = nullptr;
  AVFilterContext* sink_ = nullptr;
  AVFrame* filtered_ = nullptr;
};

}  // namespace mivora::playrun
