#include "tools/playrun/DisplayFilter.h"

extern "C" {
#include <libavfilter/avfilter.h>
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
#include <libavutil/frame.h>
#include <libavutil/pixdesc.h>
}

#include <algorithm>
#include <cstdio>
#include <thread>

#include "tools/playrun/FrameFit.h"

namespace mivora::playrun {

const char* const kToneMapChain =
    "zscale=t=linear:npl=100,format=gbrpf32le,zscale=p=bt709,tonemap=tonemap=hable:desat=0,"
    "zscale=t=bt709:m=bt709:r=tv,format=yuv420p";

bool IsHdrTransfer(int transfer) {
  return transfer == AVCOL_TRC_SMPTE2084 || transfer == AVCOL_TRC_ARIB_STD_B67;
}

std::string DisplayChain(int width, int height, int rotation, int transfer) {
  const bool hdr = IsHdrTransfer(transfer);
  if (rotation == 0 && !hdr) return {};
  std::string chain;
  auto add = [&chain](const std::string& step) { chain += (chain.empty() ? "" : ",") + step; };
  // Scaling down first keeps the turn and the tone mapping cheap; the sizes
  // are FitFrameSize's, so the frame then goes into the block as it is.
  FrameSize fitted = FitFrameSize(width, height);
  if (fitted.width < (width & ~1) || fitted.height < (height & ~1))
    add("scale=" + std::to_string(fitted.width) + ":" + std::to_string(fitted.height));
  // The turns the engine's own automatic rotation inserts.
  if (rotation == 90) add("transpose=clock");
  if (rotation == 180) add("hflip,vflip");
  if (rotation == 270) add("transpose=cclock");
  if (hdr) add(kToneMapChain);
  return chain;
}

DisplayFilter::~DisplayFilter() {
  Release();
  av_frame_free(&filtered_);
}

void DisplayFilter::Release() {
  avfilter_graph_free(&graph_);
  source_ = sink_ = nullptr;
}

bool DisplayFilter::Build(const AVFrame* decoded, const std::string& chain) {
  Release();
  chain_ = chain;
  width_ = decoded->width;
  height_ = decoded->height;
  format_ = decoded->format;
  graph_ = avfilter_graph_alloc();
  if (graph_ == nullptr) return false;
  graph_->nb_threads = static_cast<int>(std::clamp(std::thread::hardware_concurrency(), 1u, 4u));
  const AVRational aspect = decoded->sample_aspect_ratio.num > 0 ? decoded->sample_aspect_ratio : AVRational{1, 1};
  char arguments[256];
  std::snprintf(arguments, sizeof arguments, "video_size=%dx%d:pix_fmt=%d:time_base=1/1000:pixel_aspect=%d/%d",
                decoded->width, decoded->height, decoded->format, aspect.num, aspect.den);
  if (avfilter_graph_create_filter(&source_, avfilter_get_by_name("buffer"), "in", arguments, nullptr, graph_) < 0 ||
      avfilter_graph_create_filter(&sink_, avfilter_get_by_name("buffersink"), "out", nullptr, nullptr, graph_) < 0)
    return false;
  AVFilterInOut* outputs = avfilter_inout_alloc();
  AVFilterInOut* inputs = avfilter_inout_alloc();
  bool built = false;
  if (outputs && inputs) {
    outputs->name = av_strdup("in");
    outputs->filter_ctx = source_;
    inputs->name = av_strdup("out");
    inputs->filter_ctx = sink_;
    built = avfilter_graph_parse_ptr(graph_, chain.c_str(), &inputs, &outputs, nullptr) >= 0 &&
            avfilter_graph_config(graph_, nullptr) >= 0;
  }
  avfilter_inout_free(&inputs);
  avfilter_inout_free(&outputs);
  return built;
}

const AVFrame* DisplayFilter::Apply(const AVFrame* decoded) {
  const std::string chain = DisplayChain(decoded->width, decoded->height, rotation_, decoded->color_trc);
  if (chain.empty()) return decoded;
  const bool sameGraph = chain == chain_ && decoded->width == width_ && decoded->height == height_ &&
                         decoded->format == format_;
  // A graph that failed is not tried again for the same frames.
  if (!sameGraph && !Build(decoded, chain)) {
    std::fprintf(stderr, "playrun: cannot set up the video filters \"%s\" for %dx%d %s frames\n", chain.c_str(),
                 decoded->width, decoded->height, av_get_pix_fmt_name(static_cast<AVPixelFormat>(decoded->format)));
    Release();
  }
  if (graph_ == nullptr) return nullptr;
  if (filtered_ == nullptr && (filtered_ = av_frame_alloc()) == nullptr) return nullptr;
  av_frame_unref(filtered_);
  // The source keeps its own reference, so the decoder's frame stays as it is.
  if (av_buffersrc_add_frame_flags(source_, const_cast<AVFrame*>(decoded), AV_BUFFERSRC_FLAG_KEEP_REF) < 0 ||
      av_buffersink_get_frame(sink_, filtered_) < 0)
    return nullptr;
  return filtered_;
}

}  // namespace mivora::playrun
