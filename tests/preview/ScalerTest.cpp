#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <string>
#include <vector>

#include "GuardedPlane.h"
#include "ReferenceScaler.h"
#include "preview/PlaneScaler.h"
#include "preview/ResizeContext.h"

namespace mivora {
namespace {

using test::GuardedPlane;
using test::RefCrop;
using test::RefFrame;

RefFrame RandomFrame(int width, int height, uint32_t seed) {
  std::mt19937 random(seed);
  RefFrame f;
  f.width = width;
  f.height = height;
  auto fill = [&](std::vector<uint8_t>& plane, size_t bytes) {
    plane.resize(bytes);
    for (uint8_t& b : plane) b = static_cast<uint8_t>(random());
  };
  fill(f.y, size_t(width) * height);
  fill(f.u, size_t(width / 2) * (height / 2));
  fill(f.v, size_t(width / 2) * (height / 2));
  return f;
}

// Copies a plane next to a guard page (a zero-sized plane stays readable
// nowhere: any read of it faults).
std::unique_ptr<GuardedPlane> Guarded(const std::vector<uint8_t>& bytes, GuardedPlane::Guard guard) {
  auto plane = std::make_unique<GuardedPlane>(bytes.size(), guard);
  if (!bytes.empty()) std::memcpy(plane->data(), bytes.data(), bytes.size());
  return plane;
}

std::string FirstDifference(const std::vector<uint8_t>& expected, const uint8_t* actual, int width,
                            const char* plane) {
  for (size_t i = 0; i < expected.size(); ++i)
    if (expected[i] != actual[i])
      return std::string(plane) + " differs at x " + std::to_string(i % width) + ", y " +
             std::to_string(i / width) + ": expected " + std::to_string(expected[i]) + ", got " +
             std::to_string(actual[i]);
  return "";
}

// Scales with the library on guarded planes and compares with the reference.
void ExpectMatchesReference(const RefFrame& source, int dw, int dh, RefCrop crop) {
  SCOPED_TRACE(std::to_string(source.width) + "x" + std::to_string(source.height) + " -> " +
               std::to_string(dw) + "x" + std::to_string(dh) + " crop " + std::to_string(crop.left) +
               "," + std::to_string(crop.top) + "," + std::to_string(crop.right) + "," +
               std::to_string(crop.bottom));
  const RefFrame expected = test::ReferenceResize(source, dw, dh, crop);
  std::unique_ptr<ResizeContext> context(CreateResizeContext(
      source.width, source.height, dw, dh, crop.left, crop.top, crop.right, crop.bottom));
  for (bool avx2 : {false, true}) {
    SetScalerUsesAvx2(avx2);
    for (auto guard : {GuardedPlane::Guard::After, GuardedPlane::Guard::Before}) {
      auto y = Guarded(source.y, guard), u = Guarded(source.u, guard), v = Guarded(source.v, guard);
      GuardedPlane outY(expected.y.size(), GuardedPlane::Guard::After);
      GuardedPlane outU(expected.u.size(), GuardedPlane::Guard::After);
      GuardedPlane outV(expected.v.size(), GuardedPlane::Guard::After);
      ResizeFrame(y->data(), u->data(), v->data(), {outY.data(), outU.data(), outV.data()}, *context);
      ASSERT_EQ(FirstDifference(expected.y, outY.data(), dw, "Y"), "") << "avx2 " << avx2;
      ASSERT_EQ(FirstDifference(expected.u, outU.data(), dw / 2, "U"), "") << "avx2 " << avx2;
      ASSERT_EQ(FirstDifference(expected.v, outV.data(), dw / 2, "V"), "") << "avx2 " << avx2;
    }
  }
  SetScalerUsesAvx2(true);
}

struct Size {
  int width, height;
};

TEST(FrameScaler, MatchesTheReferenceForManySizes) {
  const Size sources[] = {{2, 2}, {3, 3}, {4, 2}, {5, 7}, {16, 16}, {35, 19}, {64, 48}, {99, 67}, {722, 483}};
  uint32_t seed = 1;
  for (Size s : sources) {
    const RefFrame source = RandomFrame(s.width, s.height, seed++);
    const Size destinations[] = {{1, 1},
                                 {1, 2},
                                 {2, 1},
                                 {2, 2},
                                 {3, 5},
                                 {7, 4},
                                 {s.width, s.height},
                                 {s.width / 2 + 1, s.height / 2 + 1},
                                 {s.width / 7 + 1, s.height / 9 + 1},
                                 {2 * s.width + 3, 2 * s.height + 1},
                                 {320, 200}};
    for (Size d : destinations) ExpectMatchesReference(source, d.width, d.height, {0, 0, s.width, s.height});
  }
}

TEST(FrameScaler, MatchesTheReferenceForCropsAtEveryAlignment) {
  const Size sources[] = {{64, 36}, {67, 39}, {128, 71}};
  uint32_t seed = 100;
  for (Size s : sources) {
    const RefFrame source = RandomFrame(s.width, s.height, seed++);
    for (int left = 0; left < 8; ++left)
      for (int top = 0; top < 4; ++top)
        for (int trim = 0; trim < 4; ++trim) {
          RefCrop crop{left, top, s.width - trim, s.height - trim};
          ExpectMatchesReference(source, 40, 24, crop);
          ExpectMatchesReference(source, 17, 9, crop);
        }
  }
}

TEST(FrameScaler, StaysInsideThePlanesForCropsReachingOutside) {
  const RefFrame source = RandomFrame(67, 41, 7);
  const RefCrop crops[] = {
      {0, 3, 67, 41},       // reaches the bottom from a lower top
      {0, 0, 67, 41},       // right rounds up past a width of 4k + 3
      {-9, -5, 73, 47},     // outside on every side
      {-40, -30, 10, 8},    // mostly above and left of the frame
      {50, 30, 120, 90},    // mostly below and right
      {1, 0, 2, 41},        // aligned width 0
      {0, 1, 67, 2},        // aligned height 0
      {40, 20, 8, 4},       // right and bottom before left and top
      {200, 100, 260, 140},  // wholly outside
  };
  const Size destinations[] = {{1, 1}, {2, 2}, {16, 10}, {67, 41}, {160, 90}};
  for (RefCrop crop : crops)
    for (Size d : destinations) ExpectMatchesReference(source, d.width, d.height, crop);
}

TEST(FrameScaler, MatchesTheReferenceForRandomSizesAndCrops) {
  std::mt19937 random(2024);
  auto pick = [&](int low, int high) { return low + static_cast<int>(random() % (high - low + 1)); };
  for (int round = 0; round < 300; ++round) {
    const int sw = pick(1, 40), sh = pick(1, 30);
    const RefFrame source = RandomFrame(sw, sh, static_cast<uint32_t>(round));
    const RefCrop crop{pick(-12, sw), pick(-8, sh), pick(-4, sw + 12), pick(-4, sh + 8)};
    ExpectMatchesReference(source, pick(1, 48), pick(1, 36), crop);
  }
}

TEST(FrameScaler, CopiesWhenTheAlignedCropHasTheDestinationSize) {
  const RefFrame source = RandomFrame(64, 48, 11);
  // Crop 3,1 .. 43,33 aligns to 4,2 .. 44,34: 40 x 32, no filtering.
  std::unique_ptr<ResizeContext> context(CreateResizeContext(64, 48, 40, 32, 3, 1, 43, 33));
  ASSERT_EQ(context->scalingNeeded, 0);
  std::vector<uint8_t> y(40 * 32), u(20 * 16), v(20 * 16);
  ResizeFrame(source.y.data(), source.u.data(), source.v.data(), {y.data(), u.data(), v.data()}, *context);
  for (int row = 0; row < 32; ++row)
    for (int col = 0; col < 40; ++col)
      ASSERT_EQ(y[row * 40 + col], source.y[(row + 2) * 64 + col + 4]) << row << "," << col;
  for (int row = 0; row < 16; ++row)
    for (int col = 0; col < 20; ++col) ASSERT_EQ(v[row * 20 + col], source.v[(row + 1) * 32 + col + 2]);
}

TEST(FrameScaler, AlignsCropCoordinates) {
  struct Case {
    int left, top, right, bottom;
    CropRect expected;
  } cases[] = {
      {1, 1, 8, 8, {0, 2, 8, 8}},
      {3, 0, 11, 3, {4, 0, 12, 4}},
      {2, 2, 6, 5, {0, 2, 4, 6}},
      {-3, -1, -1, 0, {0, 0, 0, 0}},
      {-5, -3, 5, 7, {-4, -2, 4, 8}},
  };
  for (const Case& c : cases) {
    CropRect r = AlignCrop(c.left, c.top, c.right, c.bottom);
    EXPECT_EQ(r.left, c.expected.left);
    EXPECT_EQ(r.top, c.expected.top);
    EXPECT_EQ(r.right, c.expected.right);
    EXPECT_EQ(r.bottom, c.expected.bottom);
  }
}

TEST(FrameScaler, FlatFramesStayFlat) {
  RefFrame source = RandomFrame(90, 60, 3);
  std::fill(source.y.begin(), source.y.end(), 200);
  std::fill(source.u.begin(), source.u.end(), 77);
  std::fill(source.v.begin(), source.v.end(), 255);
  std::unique_ptr<ResizeContext> context(CreateResizeContext(90, 60, 37, 23, 0, 0, 90, 60));
  std::vector<uint8_t> y(37 * 23), u(18 * 11), v(18 * 11);
  ResizeFrame(source.y.data(), source.u.data(), source.v.data(), {y.data(), u.data(), v.data()}, *context);
  for (uint8_t s : u) ASSERT_EQ(s, 77);
  for (uint8_t s : v) ASSERT_EQ(s, 255);
  // The cubic weights are truncated, so the interior may lose one step.
  for (uint8_t s : y) ASSERT_NEAR(s, 200, 1);
}

TEST(FrameScaler, ContextWithoutDestinationScalesNothing) {
  for (Size d : {Size{0, 10}, Size{10, 0}, Size{-4, 10}, Size{40000, 10}}) {
    std::unique_ptr<ResizeContext> context(CreateResizeContext(32, 32, d.width, d.height, 0, 0, 32, 32));
    EXPECT_FALSE(context->prepared);
    ResizeFrame(nullptr, nullptr, nullptr, {nullptr, nullptr, nullptr}, *context);
  }
}

TEST(FrameScaler, CubicTableFollowsTheSpline) {
  const uint16_t* table = CubicWeightTable();
  EXPECT_EQ(table[0], 0);
  EXPECT_EQ(table[65536], 43690);  // B(0) = 2/3
  EXPECT_EQ(table[32768], 10922);  // B(-1) = 1/6
  EXPECT_EQ(table[98304], 10922);  // B(1)
  EXPECT_EQ(table[131072], 0);     // B(2)
  EXPECT_EQ(table[139999], 0);     // past the support
}

}  // namespace
}  // namespace mivora
