#include <gtest/gtest.h>

#include "editing/FilterEscaping.h"
#include "tests/support/TestEnvironment.h"
#include "tests/support/TestMedia.h"
#include "tools/trancor/EditGraph.h"

namespace mivora::trancor {
namespace {

TEST(EditGraph, TranslatesEachSegment) {
  const struct {
    const char* chain;
    const char* graph;
  } rows[] = {
      {"", ""},
      {"vflip,hflip", "[in]vflip,hflip[out]"},
      {"lutyuv='y=(val-16)*120/100+-10+16:u=(val-128)*120*100/10000+128:v=(val-128)*120*100/10000+128'",
       "[in]lutyuv='y=(val-16)*120/100+-10+16:u=(val-128)*120*100/10000+128:v=(val-128)*120*100/"
       "10000+128'[out]"},
      {"unsharp=7:7:-2:7:7-2", "[in]unsharp=7:7:-2:7:7:-2[out]"},  // blur stays a blur for chroma
      {"crop=100:80:4:6,scale=320:240", "[in]crop=100:80:4:6,scale=320:240[out]"},
      {"movie=/p/logo.png [name];[in][name] overlay=5:6",
       "movie=\\'file:/p/logo.png\\'[v0];[in][v0]overlay=x=max(0\\,min(5\\,main_w-overlay_w)):"
       "y=max(0\\,min(6\\,main_h-overlay_h))[out]"},
      // The crop runs first; the watermarks' positions move into the kept
      // region and are pulled back inside it, as the editor draws them.
      {"hflip[X],movie=/p/a#b$c%23.png [name];[X][name] overlay=5:6,crop=10:10:2:3,scale=20:20",
       "[in]crop=10:10:2:3,hflip[v0];movie=\\'file:/p/a:b\\\\c#.png\\'[v1];[v0][v1]"
       "overlay=x=max(0\\,min(3\\,main_w-overlay_w)):y=max(0\\,min(3\\,main_h-overlay_h)),scale=20:20[out]"},
      {"lutyuv='u=128:v=128',vflip,hflip,drawtext=text='a':fontfile='/f.ttf':fontsize=9:"
       "fontcolor=ffffffff:x=50:y=60,crop=100:80:40:20",
       "[in]crop=100:80:40:20,lutyuv='u=128:v=128',vflip,hflip,drawtext=expansion=none:"
       "fontfile=\\'/f.ttf\\':text=\\'a\\':fontsize=9:fontcolor=0xffffffff:x=max(0\\,min(10\\,w-text_w)):"
       "y=max(0\\,min(40\\,h-text_h))[out]"},
      // Text above and left of the band: brought back to the region's edge.
      {"drawtext=text='a':fontfile='/f.ttf':fontsize=9:fontcolor=ffffffff:x=10:y=5,crop=100:80:40:20",
       "[in]crop=100:80:40:20,drawtext=expansion=none:fontfile=\\'/f.ttf\\':text=\\'a\\':fontsize=9:"
       "fontcolor=0xffffffff:x=max(0\\,min(-30\\,w-text_w)):y=max(0\\,min(-15\\,h-text_h))[out]"},
      {"drawtext=text='a%27b':fontfile='/f#x.ttf':fontsize=24:fontcolor=ff0000ff:x=1:y=2",
       "[in]drawtext=expansion=none:fontfile=\\'/f:x.ttf\\':text=\\'a\\'\\\\\\'\\'b\\':fontsize=24:"
       "fontcolor=0xff0000ff:x=max(0\\,min(1\\,w-text_w)):y=max(0\\,min(2\\,h-text_h))[out]"},
  };
  for (const auto& row : rows) {
    EditGraph g = BuildEditGraph(row.chain, std::nullopt);
    EXPECT_TRUE(g.ok) << row.chain << ": " << g.error;
    EXPECT_EQ(g.graph, row.graph) << row.chain;
  }
}

TEST(EditGraph, RefusesWhatItDoesNotKnow) {
  const char* refused[] = {
      "movie=/etc/passwd",                         // no overlay part
      "scale2ref=1:1",                             // not an edit filter
      "lutyuv='y=1';movie=/x",                     // graph syntax smuggled into an expression
      "drawtext=text='x':textfile='/etc/passwd'",  // unknown drawtext option
      "drawtext=text='x':fontsize=big",
      "crop=1:2:3",
      "hflip,,vflip",
      "vflip=1",
  };
  for (const char* chain : refused) {
    EditGraph g = BuildEditGraph(chain, std::nullopt);
    EXPECT_FALSE(g.ok) << chain;
    EXPECT_FALSE(g.error.empty()) << chain;
  }
  EXPECT_FALSE(BuildEditGraph("", StereoOptions{6, 0}).ok);
}

TEST(EditGraph, LeadingFiltersRunBeforeTheEdits) {
  EXPECT_EQ(BuildEditGraph("", std::nullopt, "format=gray").graph, "[in]format=gray[out]");
  EXPECT_EQ(BuildEditGraph("hflip,crop=8:8:0:0", std::nullopt, "format=gray").graph,
            "[in]format=gray,crop=8:8:0:0,hflip[out]");
}

// Runs ffmpeg on one frame of a lavfi source through `graph` and returns it as RGB24.
std::vector<unsigned char> RenderFrame(const std::string& source, const std::string& graph, int w,
                                       int h) {
  std::string out = test::MakeTempDir("frame") + "/frame.rgb";
  auto r = test::RunCommand({"ffmpeg", "-v", "error", "-nostdin", "-y", "-f", "lavfi", "-i", source,
                             "-vf", graph.empty() ? "null" : graph, "-frames:v", "1", "-f",
                             "rawvideo", "-pix_fmt", "rgb24", "file:" + out});
  EXPECT_EQ(r.exitCode, 0) << graph << "\n" << r.output;
  std::string data = test::ReadFile(out);
  EXPECT_EQ(data.size(), static_cast<size_t>(w * h * 3)) << graph;
  return {data.begin(), data.end()};
}

struct Rgb {
  int r, g, b;
};
Rgb At(const std::vector<unsigned char>& frame, int w, int x, int y) {
  size_t i = (static_cast<size_t>(y) * w + x) * 3;
  if (i + 2 >= frame.size()) return {-1, -1, -1};
  return {frame[i], frame[i + 1], frame[i + 2]};
}

// A white bar over columns 100..119 of a black 320x240 frame.
const char* kBarSource =
    "color=black:size=320x240:rate=25,drawbox=x=100:y=0:w=20:h=240:color=white:t=fill,format=yuv420p";

TEST(EditGraph, AnaglyphTakesRedAndCyanFromShiftedViews) {
  EditGraph g = BuildEditGraph("", StereoOptions{0, 10});
  ASSERT_TRUE(g.ok) << g.error;
  auto f = RenderFrame(kBarSource, g.graph, 320, 240);
  // Red comes from column x + 10 (bar seen at 90..109), cyan from x - 10 (110..129).
  Rgb redOnly = At(f, 320, 95, 120), neither = At(f, 320, 50, 120), cyanOnly = At(f, 320, 125, 120);
  EXPECT_GT(redOnly.r, 200);
  EXPECT_LT(redOnly.g, 60);
  EXPECT_GT(cyanOnly.g, 200);
  EXPECT_GT(cyanOnly.b, 200);
  EXPECT_LT(cyanOnly.r, 60);
  EXPECT_LT(neither.r + neither.g + neither.b, 30);
  // The outer 10 columns have no view on one side and are black.
  Rgb edge = At(f, 320, 315, 120);
  EXPECT_LT(edge.r + edge.g + edge.b, 30);

  // A negative depth swaps the views.
  auto swapped = RenderFrame(kBarSource, BuildEditGraph("", StereoOptions{0, -10}).graph, 320, 240);
  EXPECT_GT(At(swapped, 320, 125, 120).r, 200);
  EXPECT_LT(At(swapped, 320, 95, 120).r, 60);
}

TEST(EditGraph, OtherAnaglyphPairs) {
  const struct {
    int mode;
    Rgb nearOnly, farOnly;  // 1 = channel lit, 0 = dark
  } rows[] = {
      {1, {1, 0, 0}, {0, 1, 0}},  // red / green
      {2, {1, 0, 0}, {0, 0, 1}},  // red / blue
      {3, {0, 0, 1}, {1, 1, 0}},  // blue / yellow
  };
  for (const auto& row : rows) {
    auto f = RenderFrame(kBarSource, BuildEditGraph("", StereoOptions{row.mode, 10}).graph, 320, 240);
    Rgb n = At(f, 320, 95, 120), fa = At(f, 320, 125, 120);
    EXPECT_EQ(n.r > 128, row.nearOnly.r == 1) << row.mode;
    EXPECT_EQ(n.g > 128, row.nearOnly.g == 1) << row.mode;
    EXPECT_EQ(n.b > 128, row.nearOnly.b == 1) << row.mode;
    EXPECT_EQ(fa.r > 128, row.farOnly.r == 1) << row.mode;
    EXPECT_EQ(fa.g > 128, row.farOnly.g == 1) << row.mode;
    EXPECT_EQ(fa.b > 128, row.farOnly.b == 1) << row.mode;
  }
}

TEST(EditGraph, InterleavedAndSideBySideLayouts) {
  auto inter = RenderFrame(kBarSource, BuildEditGraph("", StereoOptions{4, 10}).graph, 320, 240);
  // Even rows show the view moved by +10 (bar at 90..109), odd rows by -10 (110..129).
  EXPECT_GT(At(inter, 320, 95, 100).g, 200);
  EXPECT_LT(At(inter, 320, 95, 101).g, 60);
  EXPECT_GT(At(inter, 320, 125, 101).g, 200);
  EXPECT_LT(At(inter, 320, 125, 100).g, 60);

  auto sbs = RenderFrame(kBarSource, BuildEditGraph("", StereoOptions{5, 0}).graph, 320, 240);
  // Each half holds the picture at half width: the bar at 50..59 and 210..219.
  EXPECT_GT(At(sbs, 320, 55, 120).g, 200);
  EXPECT_GT(At(sbs, 320, 215, 120).g, 200);
  EXPECT_LT(At(sbs, 320, 105, 120).g, 60);
  auto apart = RenderFrame(kBarSource, BuildEditGraph("", StereoOptions{5, 20}).graph, 320, 240);
  // depth 20 moves the halves' pictures by 10 columns each, in opposite directions.
  EXPECT_GT(At(apart, 320, 45, 120).g, 200);
  EXPECT_GT(At(apart, 320, 225, 120).g, 200);
}

TEST(EditGraph, PictureWatermarkLandsWhereAsked) {
  std::string dir = test::MakeTempDir("wm with 'quote', [br] #$ é");
  std::string png = dir + "/logo:1.png";
  auto made = test::RunCommand({"ffmpeg", "-v", "error", "-y", "-f", "lavfi", "-i",
                                "color=red:size=40x30", "-frames:v", "1", "file:" + png});
  ASSERT_EQ(made.exitCode, 0) << made.output;
  std::string chain = "hflip[X],movie=" + EscapeFilterPath(png) + " [name];[X][name] overlay=200:100";
  EditGraph g = BuildEditGraph(chain, std::nullopt);
  ASSERT_TRUE(g.ok) << g.error;
  auto f = RenderFrame(kBarSource, g.graph, 320, 240);
  Rgb inside = At(f, 320, 220, 115), outside = At(f, 320, 260, 115);
  EXPECT_GT(inside.r, 200);
  EXPECT_LT(inside.g, 60);
  EXPECT_LT(outside.r, 30);
  // The flip still applies under the picture: the bar moved to 200..219.
  EXPECT_GT(At(f, 320, 205, 50).g, 200);
}

TEST(EditGraph, HostileTextsAreDrawnLiterally) {
  // The reference draws the same text read from a file, which needs no escaping.
  const char* texts[] = {"it's \"quoted\"", "a:b\\c;d,e[f]", "100% %{pts} \\n", "Käse 🎬"};
  std::string font = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
  // The same font under a name full of characters the chain and ffmpeg treat specially.
  std::string hostileFont = test::MakeTempDir("font 'dir' #$ é, [x];") + "/a:b\\c \"d\".ttf";
  test::WriteFile(hostileFont, test::ReadFile(font));
  for (const char* text : texts) {
    std::string chain = "drawtext=text='" + EncodeFilterText(text) + "':fontfile='" +
                        EscapeFilterPath(hostileFont) + "':fontsize=20:fontcolor=ffffffff:x=5:y=5";
    EditGraph g = BuildEditGraph(chain, std::nullopt);
    ASSERT_TRUE(g.ok) << g.error;
    std::string textFile = test::MakeTempDir("text") + "/t.txt";
    test::WriteFile(textFile, text);
    std::string reference = "[in]drawtext=expansion=none:fontfile=" + font +
                            ":textfile=" + textFile + ":fontsize=20:fontcolor=0xffffffff:x=5:y=5[out]";
    auto ours = RenderFrame("color=black:size=320x60,format=yuv420p", g.graph, 320, 60);
    auto expected = RenderFrame("color=black:size=320x60,format=yuv420p", reference, 320, 60);
    EXPECT_EQ(ours, expected) << text;
    // Something was drawn.
    int lit = 0;
    for (unsigned char c : ours) lit += c > 128;
    EXPECT_GT(lit, 50) << text;
  }
}

// With a flip, the crop keeps the region the editor's band covers on the
// source, mirrored: left half and hflip give the left half mirrored, a top
// strip and vflip the top strip upside down.
TEST(EditGraph, FlipAndCropKeepTheBandsRegion) {
  // Left half: a white box at columns 20..59, rows 20..59; right half: a gray one.
  const char* source =
      "color=black:size=320x240,drawbox=x=20:y=20:w=40:h=40:color=white:t=fill,"
      "drawbox=x=260:y=180:w=40:h=40:color=gray:t=fill,format=yuv420p";
  struct Case {
    const char* chain;
    const char* reference;  // what the region mirrored looks like
  } cases[] = {
      {"hflip,crop=160:240:0:0", "crop=160:240:0:0,hflip"},
      {"vflip,crop=320:120:0:0", "crop=320:120:0:0,vflip"},
      {"vflip,hflip,crop=100:100:0:0", "crop=100:100:0:0,vflip,hflip"},
  };
  for (const Case& c : cases) {
    EditGraph g = BuildEditGraph(std::string(c.chain) + ",scale=320:240", std::nullopt);
    ASSERT_TRUE(g.ok) << g.error;
    auto ours = RenderFrame(source, g.graph, 320, 240);
    auto expected = RenderFrame(source, std::string(c.reference) + ",scale=320:240", 320, 240);
    EXPECT_EQ(ours, expected) << c.chain;
  }
}

// Side by side with depth 10 on a white picture: each half moves its picture
// 5 columns apart, so exactly columns 155..164 are black (the way back from
// planar RGB must not move them).
TEST(EditGraph, SideBySideBlackColumnsStayInPlace) {
  EditGraph g = BuildEditGraph("", StereoOptions{5, 10});
  ASSERT_TRUE(g.ok) << g.error;
  auto f = RenderFrame("color=white:size=320x16,format=yuv420p", g.graph, 320, 16);
  for (int x = 150; x < 170; ++x) {
    bool black = x >= 155 && x <= 164;
    if (black) EXPECT_LT(At(f, 320, x, 8).g, 40) << x;
    else EXPECT_GT(At(f, 320, x, 8).g, 215) << x;
  }
}

}  // namespace
}  // namespace mivora::trancor
