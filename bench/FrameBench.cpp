// Preview frame work against references, one thread, in one run:
//   the scaler against libswscale's bicubic YUV 4:2:0 -> YUV 4:2:0,
//   the YUV -> BGR conversion against libswscale's YUV 4:2:0 -> BGR24,
//   each edit preview effect against a memcpy of the same frame.
extern "C" {
#include <libswscale/swscale.h>
}

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "RatioReporter.h"
#include "editing/EffectProcessor.h"
#include "preview/PlaneScaler.h"
#include "preview/ResizeContext.h"
#include "preview/YuvToBgr.h"

namespace mivora::bench {
namespace {

struct Planes {
  int width, height;
  std::vector<uint8_t> y, u, v;
  Planes(int w, int h) : width(w), height(h), y(size_t(w) * h), u(size_t(w / 2) * (h / 2)), v(u) {
    // Smooth picture with noise, as a decoded frame would be.
    std::mt19937 random(42);
    for (int r = 0; r < h; ++r)
      for (int c = 0; c < w; ++c) y[size_t(r) * w + c] = static_cast<uint8_t>((r + c) / 3 + random() % 16);
    for (size_t i = 0; i < u.size(); ++i) {
      u[i] = static_cast<uint8_t>(100 + random() % 50);
      v[i] = static_cast<uint8_t>(120 + random() % 40);
    }
  }
};

struct ResizeCase {
  int sw, sh, dw, dh;
  int left, top, right, bottom;  // crop
};

// Every registered name, in registration order (the order of the ratio table).
std::vector<std::string> g_names;

std::string Name(const char* group, const std::string& what, const char* variant) {
  g_names.push_back(std::string(group) + "/" + what + "/" + variant);
  return g_names.back();
}

void RegisterResize(const ResizeCase& c) {
  const std::string what = std::to_string(c.right - c.left) + "x" + std::to_string(c.bottom - c.top) +
                           (c.right - c.left != c.sw ? "_of_" + std::to_string(c.sw) + "x" + std::to_string(c.sh) : "") +
                           "->" + std::to_string(c.dw) + "x" + std::to_string(c.dh);
  for (bool avx2 : {true, false}) {
    // The AVX2 kernels where the processor has them, and the portable ones.
    if (avx2 && !ScalerUsesAvx2()) continue;
    benchmark::RegisterBenchmark(Name("Resize", what, avx2 ? "glimra" : "glimra_portable").c_str(),
                                 [c, avx2](benchmark::State& state) {
      SetScalerUsesAvx2(avx2);
      Planes source(c.sw, c.sh), out(c.dw, c.dh);
      std::unique_ptr<ResizeContext> context(
          CreateResizeContext(c.sw, c.sh, c.dw, c.dh, c.left, c.top, c.right, c.bottom));
      for (auto _ : state) {
        ResizeFrame(source.y.data(), source.u.data(), source.v.data(), {out.y.data(), out.u.data(), out.v.data()},
                    *context);
        benchmark::DoNotOptimize(out.y.data());
      }
      SetScalerUsesAvx2(true);
    })->Unit(benchmark::kMicrosecond);
  }
  benchmark::RegisterBenchmark(Name("Resize", what, "swscale").c_str(), [c](benchmark::State& state) {
    Planes source(c.sw, c.sh), out(c.dw, c.dh);
    const int w = c.right - c.left, h = c.bottom - c.top;
    SwsContext* sws = sws_getContext(w, h, AV_PIX_FMT_YUV420P, c.dw, c.dh, AV_PIX_FMT_YUV420P, SWS_BICUBIC,
                                     nullptr, nullptr, nullptr);
    const uint8_t* in[3] = {source.y.data() + size_t(c.top) * c.sw + c.left,
                            source.u.data() + size_t(c.top / 2) * (c.sw / 2) + c.left / 2,
                            source.v.data() + size_t(c.top / 2) * (c.sw / 2) + c.left / 2};
    const int inStride[3] = {c.sw, c.sw / 2, c.sw / 2};
    uint8_t* dst[3] = {out.y.data(), out.u.data(), out.v.data()};
    const int dstStride[3] = {c.dw, c.dw / 2, c.dw / 2};
    for (auto _ : state) {
      sws_scale(sws, in, inStride, 0, h, dst, dstStride);
      benchmark::DoNotOptimize(out.y.data());
    }
    sws_freeContext(sws);
  })->Unit(benchmark::kMicrosecond);
}

void RegisterConvert(int w, int h) {
  const std::string what = std::to_string(w) + "x" + std::to_string(h);
  // Full range (the preview's arithmetic) and TV range expanded with BT.709;
  // libswscale's conversion (TV range) is the reference of both.
  struct Variant {
    const char* name;
    bool avx2;
    YuvColour colour;
  };
  for (Variant v : {Variant{"glimra", true, YuvColour::kFullRange}, Variant{"glimra_portable", false, YuvColour::kFullRange},
                    Variant{"glimra_tv709", true, YuvColour::kTvBt709},
                    Variant{"glimra_tv709_portable", false, YuvColour::kTvBt709}}) {
    if (v.avx2 && !ConverterUsesAvx2()) continue;
    benchmark::RegisterBenchmark(Name("Convert", what, v.name).c_str(), [w, h, v](benchmark::State& state) {
      SetConverterUsesAvx2(v.avx2);
      Planes source(w, h);
      std::vector<uint8_t> bits(size_t(BitmapStride(w)) * h);
      for (auto _ : state) {
        ConvertYuv420ToBgr(source.y.data(), source.u.data(), source.v.data(), w, h, bits.data(), v.colour);
        benchmark::DoNotOptimize(bits.data());
      }
      SetConverterUsesAvx2(true);
    })->Unit(benchmark::kMicrosecond);
  }
  benchmark::RegisterBenchmark(Name("Convert", what, "swscale").c_str(), [w, h](benchmark::State& state) {
    Planes source(w, h);
    const int stride = BitmapStride(w);
    std::vector<uint8_t> bits(size_t(stride) * h);
    SwsContext* sws = sws_getContext(w, h, AV_PIX_FMT_YUV420P, w, h, AV_PIX_FMT_BGR24, SWS_BICUBIC, nullptr,
                                     nullptr, nullptr);
    const uint8_t* in[3] = {source.y.data(), source.u.data(), source.v.data()};
    const int inStride[3] = {w, w / 2, w / 2};
    uint8_t* dst[1] = {bits.data()};
    const int dstStride[1] = {stride};
    for (auto _ : state) {
      sws_scale(sws, in, inStride, 0, h, dst, dstStride);
      benchmark::DoNotOptimize(bits.data());
    }
    sws_freeContext(sws);
  })->Unit(benchmark::kMicrosecond);
}

void RegisterEffects(int w, int h) {
  const std::string what = std::to_string(w) + "x" + std::to_string(h);
  using Run = const YuvFrame& (*)(EffectProcessor&, const YuvFrame&);
  struct Effect {
    const char* name;
    Run run;
  };
  static const Effect effects[] = {
      {"flip_vertical", [](EffectProcessor& e, const YuvFrame& f) -> const YuvFrame& { return e.FlipVertical(f); }},
      {"flip_horizontal", [](EffectProcessor& e, const YuvFrame& f) -> const YuvFrame& { return e.FlipHorizontal(f); }},
      {"invert", [](EffectProcessor& e, const YuvFrame& f) -> const YuvFrame& { return e.Invert(f); }},
      {"flip_color", [](EffectProcessor& e, const YuvFrame& f) -> const YuvFrame& { return e.FlipColor(f); }},
      {"gray", [](EffectProcessor& e, const YuvFrame& f) -> const YuvFrame& { return e.Gray(f); }},
      {"aged_film", [](EffectProcessor& e, const YuvFrame& f) -> const YuvFrame& { return e.AgedFilm(f); }},
      {"sharpen", [](EffectProcessor& e, const YuvFrame& f) -> const YuvFrame& { return e.Sharpen(f); }},
      {"blur", [](EffectProcessor& e, const YuvFrame& f) -> const YuvFrame& { return e.Blur(f); }},
      {"colour", [](EffectProcessor& e, const YuvFrame& f) -> const YuvFrame& { return e.Colour(f, 10, 120, 80); }},
      {"anaglyph_red_cyan", [](EffectProcessor& e, const YuvFrame& f) -> const YuvFrame& { return e.Stereo(f, 0, 12); }},
      {"anaglyph_blue_yellow", [](EffectProcessor& e, const YuvFrame& f) -> const YuvFrame& { return e.Stereo(f, 3, -12); }},
      {"interleaved", [](EffectProcessor& e, const YuvFrame& f) -> const YuvFrame& { return e.Stereo(f, 4, 12); }},
      {"side_by_side", [](EffectProcessor& e, const YuvFrame& f) -> const YuvFrame& { return e.Stereo(f, 5, 12); }},
  };
  auto makeFrame = [w, h] {
    Planes p(w, h);
    YuvFrame frame(w, h);
    std::memcpy(frame.Y(), p.y.data(), frame.lumaBytes());
    std::memcpy(frame.U(), p.u.data(), frame.chromaBytes());
    std::memcpy(frame.V(), p.v.data(), frame.chromaBytes());
    return frame;
  };
  benchmark::RegisterBenchmark(Name("Effect", what, "memcpy").c_str(), [=](benchmark::State& state) {
    YuvFrame in = makeFrame(), out(w, h);
    const size_t bytes = in.lumaBytes() + 2 * in.chromaBytes();
    for (auto _ : state) {
      std::memcpy(out.Y(), in.Y(), bytes);
      benchmark::DoNotOptimize(out.Y());
      benchmark::ClobberMemory();
    }
  })->Unit(benchmark::kMicrosecond);
  for (const Effect& effect : effects) {
    Run run = effect.run;
    benchmark::RegisterBenchmark(Name("Effect", what, effect.name).c_str(), [=](benchmark::State& state) {
      YuvFrame in = makeFrame();
      EffectProcessor processor;
      for (auto _ : state) {
        benchmark::DoNotOptimize(run(processor, in).Y());
        benchmark::ClobberMemory();
      }
    })->Unit(benchmark::kMicrosecond);
  }
}

}  // namespace
}  // namespace mivora::bench

int main(int argc, char** argv) {
  using namespace mivora::bench;
  const ResizeCase resizes[] = {
      {720, 480, 320, 200, 0, 0, 720, 480},
      {1280, 720, 320, 200, 0, 0, 1280, 720},
      {1920, 1080, 640, 360, 0, 0, 1920, 1080},
      {1920, 1080, 320, 200, 320, 180, 1600, 900},  // a 1280 x 720 crop
  };
  for (const ResizeCase& c : resizes) RegisterResize(c);
  RegisterConvert(320, 200);
  RegisterConvert(640, 360);
  RegisterConvert(1920, 1080);
  RegisterEffects(640, 360);

  // Unless told otherwise: five short repetitions of everything in random
  // interleaved order, so that a busy machine disturbs the ratios less.
  std::vector<char*> args(argv, argv + argc);
  bool repetitionsGiven = false, minTimeGiven = false;
  for (int i = 1; i < argc; ++i) {
    repetitionsGiven |= std::strncmp(argv[i], "--benchmark_repetitions", 23) == 0;
    minTimeGiven |= std::strncmp(argv[i], "--benchmark_min_time", 20) == 0;
  }
  char repetitions[] = "--benchmark_repetitions=5";
  char minTime[] = "--benchmark_min_time=0.1";
  char onlyAggregates[] = "--benchmark_report_aggregates_only=false";
  char interleave[] = "--benchmark_enable_random_interleaving=true";
  if (!repetitionsGiven) args.push_back(repetitions);
  if (!minTimeGiven) args.push_back(minTime);
  args.push_back(onlyAggregates);
  args.push_back(interleave);
  int count = static_cast<int>(args.size());
  benchmark::Initialize(&count, args.data());
  std::printf("vector kernels: scaler %s, conversion %s\n", mivora::ScalerUsesAvx2() ? "AVX2" : "portable",
              mivora::ConverterUsesAvx2() ? "AVX2" : "portable");
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintRatios(g_names);
  benchmark::Shutdown();
  return 0;
}
