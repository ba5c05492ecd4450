#include "tools/playrun/DisplayFilter.h"

extern "C" {
#include <libavfilter/avfilter.h>
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
#include <libavutil/display.h>
#include <libavutil/frame.h>
#include <libavutil/pixdesc.h>
}

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <thread>

#include "tools/colour/ColourRule.h"
#include "tools/playrun/FrameFit.h"

namespace mivora::playrun {

DisplayTurn TurnOfMatrix(const int32_t* m) {
  if (m == nullptr) return {};
  // The clockwise angle, whole degrees in [0, 360) as ffmpeg rounds it.
  double angle = -std::round(av_display_rotation_get(m));
  if (!std::isfinite(angle)) return {};
  angle -= 360 * std::floor(angle / 360 + 0.9 / 360);
  auto near = [angle](double quarter) { return std::fabs(angle - quarter) < 1.0; };
  // A mirror shows in the matrix's signs: ffmpeg turns and flips by them.
  if (near(90)) return {m[3] > 0 ? "transpose=cclock_flip" : "transpose=clock", true};
  if (near(270)) return {m[3] < 0 ? "transpose=clock_flip" : "transpose=cclock", true};
  if (near(180)) {
    std::string flips = m[0] < 0 ? "hflip" : "";
    if (m[4] < 0) flips += flips.empty() ? "vflip" : ",vflip";
    return {flips, false};
  }
  if (near(0) || near(360)) return {m[4] < 0 ? "vflip" : "", false};
  switch ((std::lround(angle / 90.0) % 4 + 4) % 4) {
    case 1: return {"transpose=clock", true};
    case 2: return {"hflip,vflip", false};
    case 3: return {"transpose=cclock", true};
    default: return {};
  }
}

std::string DisplayChain(const FrameFacts& frame, const DisplayTurn& turn) {
  const bool hdr = colour::IsHdrTransfer(frame.transfer);
  if (turn.filters.empty() && !hdr) return {};
  std::string chain;
  auto add = [&chain](const std::string& step) { chain += (chain.empty() ? "" : ",") + step; };
  // Scaling down first keeps the turn and the tone mapping cheap; the sizes
  // are FitFrameSize's, so the frame then goes into the block as it is.
  FrameSize fitted = FitFrameSize(frame.width, frame.height);
  if (fitted.width < (frame.width & ~1) || fitted.height < (frame.height & ~1))
    add("scale=" + std::to_string(fitted.width) + ":" + std::to_string(fitted.height));
  if (!turn.filters.empty()) add(turn.filters);
  if (hdr) add(colour::ToneMapChain(colour::NamesNothing(frame.primaries), colour::NamesNothing(frame.matrix)));
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
  const FrameFacts facts{decoded->width, decoded->height, decoded->color_trc, decoded->color_primaries,
                         decoded->colorspace};
  const std::string chain = DisplayChain(facts, turn_);
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
