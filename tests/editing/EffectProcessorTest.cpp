#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <random>
#include <string>

#include "EffectReference.h"
#include "editing/EffectProcessor.h"
#include "editing/YuvRgb.h"
#include "tests/support/TestEnvironment.h"
#include "tests/support/TestMedia.h"

namespace mivora {
namespace {

using test::Picture;

struct Size {
  int width, height;
};
const Size kSizes[] = {{1, 1}, {2, 2}, {3, 5}, {4, 4}, {5, 2}, {17, 9}, {30, 20}, {64, 36}, {101, 57}};

YuvFrame RandomFrame(Size s, uint32_t seed) {
  std::mt19937 random(seed);
  YuvFrame frame(s.width, s.height);
  uint8_t* bytes = frame.Y();
  for (size_t i = 0; i < frame.lumaBytes() + 2 * frame.chromaBytes(); ++i)
    bytes[i] = static_cast<uint8_t>(random());
  return frame;
}

Picture ToPicture(const YuvFrame& f) {
  Picture p;
  p.width = f.width();
  p.height = f.height();
  p.y.assign(f.Y(), f.Y() + f.lumaBytes());
  p.u.assign(f.U(), f.U() + f.chromaBytes());
  p.v.assign(f.V(), f.V() + f.chromaBytes());
  return p;
}

// Empty when equal, else where the first difference is.
std::string Difference(const Picture& expected, const YuvFrame& actual) {
  if (expected.width != actual.width() || expected.height != actual.height()) return "size differs";
  Picture got = ToPicture(actual);
  const std::vector<uint8_t>* planes[3][2] = {{&expected.y, &got.y}, {&expected.u, &got.u}, {&expected.v, &got.v}};
  const char* names = "YUV";
  for (int p = 0; p < 3; ++p)
    for (size_t i = 0; i < planes[p][0]->size(); ++i)
      if ((*planes[p][0])[i] != (*planes[p][1])[i])
        return std::string(1, names[p]) + " byte " + std::to_string(i) + ": expected " +
               std::to_string((*planes[p][0])[i]) + ", got " + std::to_string((*planes[p][1])[i]);
  return "";
}

struct Operation {
  const char* name;
  std::function<const YuvFrame&(EffectProcessor&, const YuvFrame&)> run;
  std::function<Picture(const Picture&)> reference;
};

TEST(EffectProcessor, EveryOperationMatchesTheReference) {
  const Operation operations[] = {
      {"flip vertical", &EffectProcessor::FlipVertical, test::RefFlipVertical},
      {"flip horizontal", &EffectProcessor::FlipHorizontal, test::RefFlipHorizontal},
      {"sharpen", &EffectProcessor::Sharpen, [](const Picture& p) { return test::RefUnsharp(p, 3 * 65536); }},
      {"blur", &EffectProcessor::Blur, [](const Picture& p) { return test::RefUnsharp(p, -65536); }},
      {"invert", &EffectProcessor::Invert, test::RefInvert},
      {"flip color", &EffectProcessor::FlipColor, test::RefFlipColor},
      {"gray", &EffectProcessor::Gray, test::RefGray},
      {"aged film", &EffectProcessor::AgedFilm, test::RefAgedFilm},
      {"colour", [](EffectProcessor& e, const YuvFrame& f) -> const YuvFrame& { return e.Colour(f, 12, 130, 70); },
       [](const Picture& p) { return test::RefColour(p, 12, 130, 70); }},
      {"colour dark", [](EffectProcessor& e, const YuvFrame& f) -> const YuvFrame& { return e.Colour(f, -40, 60, 180); },
       [](const Picture& p) { return test::RefColour(p, -40, 60, 180); }},
      {"colour extreme", [](EffectProcessor& e, const YuvFrame& f) -> const YuvFrame& { return e.Colour(f, -7, 5000000, -9); },
       [](const Picture& p) { return test::RefColour(p, -7, 5000000, -9); }},
      {"colour negative", [](EffectProcessor& e, const YuvFrame& f) -> const YuvFrame& { return e.Colour(f, 300, -250, 4000); },
       [](const Picture& p) { return test::RefColour(p, 300, -250, 4000); }},
      {"colour saturation 100", [](EffectProcessor& e, const YuvFrame& f) -> const YuvFrame& { return e.Colour(f, 5, 150, 100); },
       [](const Picture& p) { return test::RefColour(p, 5, 150, 100); }},
  };
  EffectProcessor processor;
  uint32_t seed = 1;
  for (Size s : kSizes) {
    const YuvFrame frame = RandomFrame(s, seed++);
    const Picture picture = ToPicture(frame);
    for (const Operation& op : operations)
      ASSERT_EQ(Difference(op.reference(picture), op.run(processor, frame)), "")
          << op.name << " at " << s.width << "x" << s.height;
  }
}

TEST(EffectProcessor, StereoMatchesTheReferenceForEveryModeAndDepth) {
  EffectProcessor processor;
  uint32_t seed = 50;
  for (Size s : kSizes) {
    if (s.width > 64) continue;
    const YuvFrame frame = RandomFrame(s, seed++);
    const Picture picture = ToPicture(frame);
    for (int mode = 0; mode <= 6; ++mode)
      for (int depth = -50; depth <= 50; ++depth)
        ASSERT_EQ(Difference(test::RefStereo(picture, mode, depth), processor.Stereo(frame, mode, depth)), "")
            << "mode " << mode << " depth " << depth << " at " << s.width << "x" << s.height;
  }
}

TEST(EffectProcessor, ColourConversionIsExactForEveryYuvCombination) {
  // 256 frames of 512 x 128: chroma column = V, luma of chroma row r = 4r..4r+3.
  YuvFrame frame(512, 128);
  for (int i = 0; i < 128; ++i)
    for (int j = 0; j < 512; ++j) frame.Y()[i * 512 + j] = static_cast<uint8_t>(4 * (i / 2) + 2 * (i % 2) + j % 2);
  for (int k = 0; k < 256 * 64; ++k) frame.V()[k] = static_cast<uint8_t>(k % 256);
  std::vector<uint8_t> rgb(512 * 128 * 3);
  const RgbPlanes planes{rgb.data(), rgb.data() + 512 * 128, rgb.data() + 2 * 512 * 128};
  auto clamp = [](double v) { int i = static_cast<int>(v); return i < 0 ? 0 : (i > 255 ? 255 : i); };
  long mismatches = 0;
  for (int u = 0; u < 256; ++u) {
    std::memset(frame.U(), u, frame.chromaBytes());
    YuvToRgb(frame, planes);
    for (int p = 0; p < 512 * 128; ++p) {
      const int y = frame.Y()[p], v = (p % 512) / 2;
      mismatches += planes.r[p] != clamp(y + 1.4022 * (v - 128)) ||
                    planes.g[p] != clamp(y - 0.7145 * (v - 128) - 0.3456 * (u - 128)) ||
                    planes.b[p] != clamp(y + 1.771 * (u - 128));
    }
  }
  EXPECT_EQ(mismatches, 0);
}

TEST(EffectProcessor, KnownCases) {
  EffectProcessor processor;
  const YuvFrame frame = RandomFrame({40, 30}, 9);
  const Picture original = ToPicture(frame);
  // Neutral colour values change nothing.
  EXPECT_EQ(Difference(original, processor.Colour(frame, 0, 100, 100)), "");
  // Contrast scales chroma too, with saturation 100, as in the engine.
  const YuvFrame& contrasted = processor.Colour(frame, 0, 150, 100);
  EXPECT_NE(std::memcmp(contrasted.U(), frame.U(), 2 * frame.chromaBytes()), 0);
  // Flipping twice restores the frame.
  YuvFrame once = processor.FlipVertical(frame);
  EXPECT_EQ(Difference(original, processor.FlipVertical(once)), "");
  // Depth 0: every colour from the same pixel, so red/cyan and blue/yellow
  // (which take their colours from opposite views) give the same picture.
  const Picture redCyan = ToPicture(processor.Stereo(frame, 0, 0));
  EXPECT_EQ(Difference(redCyan, processor.Stereo(frame, 3, 0)), "");
}

TEST(EffectProcessor, OutputFramesAreReusedUntilTheSizeChanges) {
  EffectProcessor processor;
  const YuvFrame small = RandomFrame({16, 8}, 1), other = RandomFrame({16, 8}, 2), large = RandomFrame({24, 12}, 3);
  const YuvFrame* first = &processor.Gray(small);
  const uint8_t* firstBytes = first->Y();
  EXPECT_EQ(&processor.Gray(other), first);
  EXPECT_EQ(processor.Gray(other).Y(), firstBytes);
  const YuvFrame& resized = processor.Gray(large);
  EXPECT_EQ(resized.width(), 24);
  EXPECT_EQ(resized.height(), 12);
  EXPECT_EQ(Difference(test::RefGray(ToPicture(large)), resized), "");
  // Each operation has its own frame.
  EXPECT_NE(&processor.Invert(small), &processor.Gray(small));
  // An empty frame gives an empty result.
  EXPECT_EQ(processor.Stereo(YuvFrame(), 0, 10).width(), 0);
}

}  // namespace
}  // namespace mivora

namespace mivora {
namespace {

// The engine's lutyuv tables run by ffmpeg over every 8-bit value: the
// preview's colour values, invert and flip colour give the same bytes.
TEST(EffectProcessor, ColourTablesMatchTheEngine) {
  // 256 x 2 luma with every value per row, chroma with every value too.
  YuvFrame frame(512, 2);
  for (int x = 0; x < 512; ++x) frame.Y()[x] = frame.Y()[512 + x] = static_cast<uint8_t>(x / 2);
  for (int x = 0; x < 256; ++x) {
    frame.U()[x] = static_cast<uint8_t>(x);
    frame.V()[x] = static_cast<uint8_t>(255 - x);
  }
  const std::string dir = test::MakeTempDir("lut");
  test::WriteFile(dir + "/in.yuv", std::string(reinterpret_cast<const char*>(frame.Y()),
                                               frame.lumaBytes() + 2 * frame.chromaBytes()));
  struct Case {
    std::string lut;  // the engine's segment, as the edit arguments write it
    std::function<const YuvFrame&(EffectProcessor&, const YuvFrame&)> preview;
  };
  auto colour = [](int b, int k, int s) {
    char text[200];
    std::snprintf(text, sizeof text,
                  "lutyuv='y=(val-16)*%d/100+%d+16:u=(val-128)*%d*%d/10000+128:v=(val-128)*%d*%d/10000+128'",
                  k, b, k, s, k, s);
    return Case{text, [=](EffectProcessor& p, const YuvFrame& f) -> const YuvFrame& { return p.Colour(f, b, k, s); }};
  };
  std::vector<Case> cases = {
      colour(20, 120, 80), colour(-35, 60, 100), colour(0, 100, 150), colour(100, 200, 0),
      {"lutyuv='y=negval:u=negval:v=negval'", [](EffectProcessor& p, const YuvFrame& f) -> const YuvFrame& { return p.Invert(f); }},
      {"lutyuv='u=negval:v=negval'", [](EffectProcessor& p, const YuvFrame& f) -> const YuvFrame& { return p.FlipColor(f); }},
      {"lutyuv='u=128:v=128'", [](EffectProcessor& p, const YuvFrame& f) -> const YuvFrame& { return p.Gray(f); }},
      {"lutyuv='u=116:v=134'", [](EffectProcessor& p, const YuvFrame& f) -> const YuvFrame& { return p.AgedFilm(f); }},
  };
  for (const Case& c : cases) {
    test::CommandResult r = test::RunCommand(
        {"ffmpeg", "-v", "error", "-nostdin", "-y", "-f", "rawvideo", "-pix_fmt", "yuv420p", "-s", "512x2", "-i",
         "file:" + dir + "/in.yuv", "-vf", c.lut, "-f", "rawvideo", "file:" + dir + "/out.yuv"});
    ASSERT_EQ(r.exitCode, 0) << r.output;
    std::string engine = test::ReadFile(dir + "/out.yuv");
    EffectProcessor processor;
    const YuvFrame& ours = c.preview(processor, frame);
    std::string preview(reinterpret_cast<const char*>(ours.Y()), ours.lumaBytes() + 2 * ours.chromaBytes());
    ASSERT_EQ(engine.size(), preview.size()) << c.lut;
    size_t firstDifference = 0;
    while (firstDifference < engine.size() && engine[firstDifference] == preview[firstDifference]) ++firstDifference;
    EXPECT_EQ(firstDifference, engine.size())
        << c.lut << ": byte " << firstDifference << " engine " << int(uint8_t(engine[firstDifference]))
        << ", preview " << int(uint8_t(preview[firstDifference]));
  }
}

}  // namespace
}  // namespace mivora
