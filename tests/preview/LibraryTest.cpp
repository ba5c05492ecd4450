// The shared library as the program loads it: its exported names, the C
// functions and the fault guard around the scaler.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "ReferenceScaler.h"
#include "preview/Glimra.h"
#include "tests/support/TestMedia.h"

namespace mivora {
namespace {

TEST(GlimraLibrary, ExportsOnlyItsInterface) {
  const std::string library = std::string(MIVORA_PROGRAM_DIR) + "/libglimra.so";
  auto result = test::RunCommand({"nm", "-DC", "--defined-only", library});
  ASSERT_EQ(result.exitCode, 0) << result.output;
  std::set<std::string> cNames;
  std::vector<std::string> others;
  std::istringstream lines(result.output);
  std::string line;
  while (std::getline(lines, line)) {
    // "address kind name", where a C++ name may hold blanks.
    std::istringstream fields(line);
    std::string address, kind, name;
    fields >> address >> kind;
    std::getline(fields >> std::ws, name);
    if (name.find("::") == std::string::npos && name.find(' ') == std::string::npos)
      cNames.insert(name);
    else
      others.push_back(name);
  }
  const std::set<std::string> expected = {
      "GLIMRA_InitResize", "GLIMRA_ResizeFrame", "GLIMRA_ReleaseResize", "GLIMRA_CropFrame",
      "GLIMRA_BitmapStride", "GLIMRA_ConvertYuv420", "GLIMRA_ConvertYuv420Colour", "DrawYuv420",
      "DrawYuv420Colour", "DVD_Init", "DVD_Stop",
      "DVD_Seek", "DVD_Pause", "DVD_Release", "DVD_Play", "DVD_SetPaint_Callback",
      "DVD_IsPlaying", "DVD_IsPause"};
  EXPECT_EQ(cNames, expected);
  // Everything else belongs to the window class.
  ASSERT_FALSE(others.empty());
  for (const std::string& name : others)
    EXPECT_NE(name.find("mivora::CPlayStatic"), std::string::npos) << name;
}

TEST(GlimraLibrary, DiscEntryPointsAnswerNothing) {
  EXPECT_EQ(DVD_Init(), 0);
  EXPECT_EQ(DVD_Seek(), 0);
  EXPECT_EQ(DVD_IsPlaying(), 0);
  EXPECT_EQ(DVD_IsPause(), 0);
  DVD_Play();
  DVD_Pause();
  DVD_SetPaint_Callback();
  DVD_Stop();
  DVD_Release();
}

struct Frame {
  int width, height;
  std::vector<uint8_t> y, u, v;
  Frame(int w, int h, uint8_t fill = 0)
      : width(w), height(h), y(size_t(w) * h, fill), u(size_t(w / 2) * (h / 2), fill), v(u) {}
  YuvPlanes planes() { return {y.data(), u.data(), v.data()}; }
};

TEST(GlimraLibrary, DestinationOfOneColumnOrRowScales) {
  Frame source(64, 48, 90);
  struct Size {
    int width, height;
  };
  for (Size d : {Size{1, 1}, Size{1, 9}, Size{9, 1}, Size{2, 1}}) {
    ResizeContext* context = GLIMRA_InitResize(64, 48, d.width, d.height, 0, 0, 64, 48);
    ASSERT_NE(context, nullptr);
    Frame out(d.width, d.height, 0);
    YuvPlanes planes = out.planes();
    GLIMRA_ResizeFrame(source.y.data(), source.u.data(), source.v.data(), &planes, context);
    for (uint8_t s : out.y) EXPECT_NEAR(s, 90, 1);
    GLIMRA_ReleaseResize(context);
  }
}

TEST(GlimraLibrary, FaultInsideTheScalerIsReportedAndTheCallReturns) {
  ResizeContext* context = GLIMRA_InitResize(64, 48, 32, 24, 0, 0, 64, 48);
  Frame out(32, 24);
  auto scaleFromBadPlane = [&] {
    YuvPlanes planes = out.planes();
    const auto* bad = reinterpret_cast<const uint8_t*>(16);
    testing::internal::CaptureStderr();
    GLIMRA_ResizeFrame(bad, bad, bad, &planes, context);
    return testing::internal::GetCapturedStderr();
  };
  for (int attempt = 0; attempt < 2; ++attempt) {
    std::string printed = scaleFromBadPlane();
    EXPECT_EQ(printed.rfind("[GLIMRA_ResizeFrame]: Exception code: C0000005 ACCESS_VIOLATION \n", 0), 0u)
        << printed;
    EXPECT_NE(printed.find("Fault address:  "), std::string::npos) << printed;
  }
  // Another thread gets its own translator.
  std::string fromThread;
  std::thread([&] { fromThread = scaleFromBadPlane(); }).join();
  EXPECT_EQ(fromThread.rfind("[GLIMRA_ResizeFrame]: Exception code: C0000005", 0), 0u) << fromThread;

  // A good frame afterwards scales normally.
  Frame source(64, 48, 60);
  YuvPlanes planes = out.planes();
  GLIMRA_ResizeFrame(source.y.data(), source.u.data(), source.v.data(), &planes, context);
  EXPECT_EQ(out.u[0], 60);
  GLIMRA_ReleaseResize(context);
}

TEST(GlimraLibrary, CropFrameAllocatesAndCopiesTheAlignedRegion) {
  Frame source(40, 20);
  for (size_t i = 0; i < source.y.size(); ++i) source.y[i] = static_cast<uint8_t>(i);
  for (size_t i = 0; i < source.u.size(); ++i) source.u[i] = static_cast<uint8_t>(3 * i);
  // 5,3 .. 31,17 aligns to 4,4 .. 32,18.
  ResizeContext* context = GLIMRA_InitResize(40, 20, 0, 0, 5, 3, 31, 17);
  YuvPlanes planes{nullptr, nullptr, nullptr};
  int width = -1, height = -1;
  GLIMRA_CropFrame(source.y.data(), source.u.data(), source.v.data(), &planes, &width, &height, context);
  ASSERT_EQ(width, 28);
  ASSERT_EQ(height, 14);
  ASSERT_NE(planes.y, nullptr);
  for (int r = 0; r < 14; ++r)
    for (int c = 0; c < 28; ++c) ASSERT_EQ(planes.y[r * 28 + c], source.y[(r + 4) * 40 + c + 4]);
  for (int r = 0; r < 7; ++r)
    for (int c = 0; c < 14; ++c) ASSERT_EQ(planes.u[r * 14 + c], source.u[(r + 2) * 20 + c + 2]);
  free(planes.y);
  free(planes.u);
  free(planes.v);
  GLIMRA_ReleaseResize(context);

  // A crop with no area reports 0 x 0 and allocates nothing.
  context = GLIMRA_InitResize(40, 20, 0, 0, 9, 3, 10, 17);
  planes = {nullptr, nullptr, nullptr};
  GLIMRA_CropFrame(source.y.data(), source.u.data(), source.v.data(), &planes, &width, &height, context);
  EXPECT_EQ(width, 0);
  EXPECT_EQ(planes.y, nullptr);
  GLIMRA_ReleaseResize(context);
}

TEST(GlimraLibrary, CropFrameMatchesTheReferenceInsideAndOutsideTheFrame) {
  test::RefFrame source;
  source.width = 37;
  source.height = 23;
  for (auto [plane, bytes] : {std::pair{&source.y, 37 * 23}, {&source.u, 18 * 11}, {&source.v, 18 * 11}})
    for (int i = 0; i < bytes; ++i) plane->push_back(static_cast<uint8_t>(i * 37 + bytes));
  const test::RefCrop crops[] = {{0, 0, 37, 23}, {3, 1, 30, 20}, {-6, -3, 10, 9}, {20, 10, 50, 40}, {-8, -4, 45, 27}};
  for (const test::RefCrop& crop : crops) {
    const test::RefFrame expected = test::ReferenceCrop(source, crop);
    ResizeContext* context = GLIMRA_InitResize(37, 23, 10, 10, crop.left, crop.top, crop.right, crop.bottom);
    YuvPlanes planes{nullptr, nullptr, nullptr};
    int width = 0, height = 0;
    GLIMRA_CropFrame(source.y.data(), source.u.data(), source.v.data(), &planes, &width, &height, context);
    ASSERT_EQ(width, expected.width);
    ASSERT_EQ(height, expected.height);
    EXPECT_EQ(std::vector<uint8_t>(planes.y, planes.y + expected.y.size()), expected.y) << crop.left << "," << crop.top;
    EXPECT_EQ(std::vector<uint8_t>(planes.u, planes.u + expected.u.size()), expected.u);
    EXPECT_EQ(std::vector<uint8_t>(planes.v, planes.v + expected.v.size()), expected.v);
    free(planes.y);
    free(planes.u);
    free(planes.v);
    GLIMRA_ReleaseResize(context);
  }
}

struct Painted {
  GlimraBitmapInfo info{};
  std::vector<uint8_t> bits;
  int calls = 0;
};

TEST(GlimraLibrary, DrawHandsTheBitmapToTheTarget) {
  Painted painted;
  GlimraDrawTarget target{[](void* user, const GlimraBitmapInfo* info, const uint8_t* bits) {
                            auto* p = static_cast<Painted*>(user);
                            p->info = *info;
                            p->bits.assign(bits, bits + info->imageSize);
                            ++p->calls;
                          },
                          &painted};
  Frame frame(5, 2, 128);
  frame.y[0] = 0;  // source row 0 ends up as the last bitmap row
  EXPECT_EQ(DrawYuv420(frame.y.data(), frame.u.data(), frame.v.data(), 5, 2, &target), 1);
  ASSERT_EQ(painted.calls, 1);
  EXPECT_EQ(painted.info.headerSize, 40);
  EXPECT_EQ(painted.info.width, 5);
  EXPECT_EQ(painted.info.height, 2);
  EXPECT_EQ(painted.info.planes, 1);
  EXPECT_EQ(painted.info.bitCount, 24);
  EXPECT_EQ(painted.info.stride, 16);
  ASSERT_EQ(painted.bits.size(), 32u);
  EXPECT_EQ(painted.bits[0], 128);
  EXPECT_EQ(painted.bits[16], 0);
  EXPECT_EQ(DrawYuv420(frame.y.data(), frame.u.data(), frame.v.data(), 0, 2, &target), 1);
  EXPECT_EQ(painted.calls, 1);
}

}  // namespace
}  // namespace mivora
