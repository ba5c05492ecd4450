#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <random>
#include <tuple>
#include <vector>

#include "preview/YuvToBgr.h"

namespace mivora {
namespace {

// The colour formulas evaluated in double precision as written, left to
// right, truncated toward zero and clamped.
uint8_t Clamp(double value) {
  int i = static_cast<int>(value);
  return static_cast<uint8_t>(i < 0 ? 0 : (i > 255 ? 255 : i));
}
uint8_t Blue(int y, int u) { return Clamp(y + 1.771 * (u - 128)); }
uint8_t Green(int y, int u, int v) { return Clamp(y - 0.3456 * (u - 128) - 0.7145 * (v - 128)); }
uint8_t Red(int y, int v) { return Clamp(y + 1.4022 * (v - 128)); }

class YuvToBgrPaths : public testing::TestWithParam<bool> {
 protected:
  void SetUp() override { SetConverterUsesAvx2(GetParam()); }
  void TearDown() override { SetConverterUsesAvx2(true); }
};
INSTANTIATE_TEST_SUITE_P(Kernels, YuvToBgrPaths, testing::Values(false, true),
                         [](const testing::TestParamInfo<bool>& info) { return info.param ? "Avx2" : "Portable"; });

TEST_P(YuvToBgrPaths, ExactForEveryYuvCombination) {
  // One frame per U: 512 x 128 pixels, chroma column = V, and the four luma
  // samples of chroma row r are 4r .. 4r + 3, so every (Y, V) pair occurs.
  const int width = 512, height = 128, cw = 256, ch = 64;
  const int stride = BitmapStride(width);
  std::vector<uint8_t> y(width * height), u(cw * ch), v(cw * ch), bits(stride * height);
  for (int i = 0; i < height; ++i)
    for (int j = 0; j < width; ++j) y[i * width + j] = static_cast<uint8_t>(4 * (i / 2) + 2 * (i % 2) + j % 2);
  for (int r = 0; r < ch; ++r)
    for (int c = 0; c < cw; ++c) v[r * cw + c] = static_cast<uint8_t>(c);
  long mismatches = 0;
  for (int uu = 0; uu < 256; ++uu) {
    std::fill(u.begin(), u.end(), static_cast<uint8_t>(uu));
    ConvertYuv420ToBgr(y.data(), u.data(), v.data(), width, height, bits.data());
    for (int i = 0; i < height; ++i) {
      const uint8_t* row = bits.data() + (height - 1 - i) * stride;
      for (int j = 0; j < width; ++j) {
        const int yy = y[i * width + j], vv = j / 2;
        const uint8_t* px = row + 3 * j;
        if (px[0] != Blue(yy, uu) || px[1] != Green(yy, uu, vv) || px[2] != Red(yy, vv)) {
          if (++mismatches < 5)
            ADD_FAILURE() << "Y " << yy << " U " << uu << " V " << vv << ": got " << int(px[0]) << ","
                          << int(px[1]) << "," << int(px[2]) << " expected " << int(Blue(yy, uu)) << ","
                          << int(Green(yy, uu, vv)) << "," << int(Red(yy, vv));
        }
      }
    }
  }
  EXPECT_EQ(mismatches, 0);
}

// Layout: bottom-up rows, stride padding, chroma of the odd column and row.
TEST_P(YuvToBgrPaths, LaysOutRowsBottomUpWithPaddedStride) {
  struct Size {
    int width, height;
  };
  std::mt19937 random(5);
  for (Size s : {Size{1, 1}, Size{2, 2}, Size{3, 3}, Size{5, 4}, Size{7, 9}, Size{64, 3}, Size{33, 17}, Size{95, 31}}) {
    const int cw = s.width / 2, ch = s.height / 2;
    std::vector<uint8_t> y(s.width * s.height), u(cw * ch), v(cw * ch);
    for (auto* plane : {&y, &u, &v})
      for (uint8_t& b : *plane) b = static_cast<uint8_t>(random());
    const int stride = BitmapStride(s.width);
    ASSERT_EQ(stride % 4, 0);
    ASSERT_GE(stride, 3 * s.width);
    ASSERT_LT(stride, 3 * s.width + 4);
    std::vector<uint8_t> bits(stride * s.height, 0xEE);
    ConvertYuv420ToBgr(y.data(), u.data(), v.data(), s.width, s.height, bits.data());
    for (int i = 0; i < s.height; ++i) {
      const uint8_t* row = bits.data() + (s.height - 1 - i) * stride;
      for (int j = 0; j < s.width; ++j) {
        int uu = 128, vv = 128;
        if (cw > 0 && ch > 0) {
          int k = std::min(i / 2, ch - 1) * cw + std::min(j / 2, cw - 1);
          uu = u[k];
          vv = v[k];
        }
        const int yy = y[i * s.width + j];
        ASSERT_EQ(row[3 * j], Blue(yy, uu)) << s.width << "x" << s.height << " at " << j << "," << i;
        ASSERT_EQ(row[3 * j + 1], Green(yy, uu, vv));
        ASSERT_EQ(row[3 * j + 2], Red(yy, vv));
      }
      for (int p = 3 * s.width; p < stride; ++p) ASSERT_EQ(row[p], 0);
    }
  }
}

// TV-range frames against the expansion in double precision, for every
// (Y, U, V) on a coarse grid and every size's odd column and row: within 1,
// and the same bytes from both kernels.
struct TvCase {
  YuvColour colour;
  double kr, kb;
};
const TvCase kTvCases[] = {{YuvColour::kTvBt601, 0.299, 0.114},
                           {YuvColour::kTvBt709, 0.2126, 0.0722},
                           {YuvColour::kTvBt2020, 0.2627, 0.0593}};

std::array<int, 3> ExpandedBgr(const TvCase& c, int y, int u, int v) {
  const double l = (y - 16) * 255.0 / 219.0, cb = (u - 128) * 255.0 / 224.0, cr = (v - 128) * 255.0 / 224.0;
  const double kg = 1 - c.kr - c.kb;
  const double r = l + 2 * (1 - c.kr) * cr, b = l + 2 * (1 - c.kb) * cb;
  const double g = l - 2 * c.kb * (1 - c.kb) / kg * cb - 2 * c.kr * (1 - c.kr) / kg * cr;
  auto clamp = [](double x) { return static_cast<int>(std::lround(std::clamp(x, 0.0, 255.0))); };
  return {clamp(b), clamp(g), clamp(r)};
}

TEST_P(YuvToBgrPaths, TvRangeFramesAreExpandedWithTheirMatrix) {
  const int width = 37, height = 3, cw = width / 2;  // 18 chroma samples, an odd column
  for (const TvCase& c : kTvCases) {
    for (int yy = 0; yy < 256; yy += 5)
      for (int uu = 0; uu < 256; uu += 15) {
        std::vector<uint8_t> y(width * height, static_cast<uint8_t>(yy)), u(cw), v(cw);
        for (int k = 0; k < cw; ++k) u[k] = static_cast<uint8_t>(uu), v[k] = static_cast<uint8_t>(15 * k);
        const int stride = BitmapStride(width);
        std::vector<uint8_t> bits(stride * height);
        ConvertYuv420ToBgr(y.data(), u.data(), v.data(), width, height, bits.data(), c.colour);
        for (int j = 0; j < width; ++j) {
          const std::array<int, 3> want = ExpandedBgr(c, yy, uu, v[std::min(j / 2, cw - 1)]);
          for (int channel = 0; channel < 3; ++channel)
            ASSERT_NEAR(bits[3 * j + channel], want[channel], 1)
                << "matrix " << int(c.colour) << " Y " << yy << " U " << uu << " x " << j << " channel " << channel;
        }
      }
  }
}

TEST(YuvToBgr, BothKernelsGiveTheSameTvBytes) {
  std::mt19937 random(11);
  const int width = 203, height = 9, cw = width / 2, ch = height / 2;
  std::vector<uint8_t> y(width * height), u(cw * ch), v(cw * ch);
  for (auto* plane : {&y, &u, &v})
    for (uint8_t& b : *plane) b = static_cast<uint8_t>(random());
  for (const TvCase& c : kTvCases) {
    std::vector<uint8_t> portable(BitmapStride(width) * height), avx2(portable.size());
    SetConverterUsesAvx2(false);
    ConvertYuv420ToBgr(y.data(), u.data(), v.data(), width, height, portable.data(), c.colour);
    SetConverterUsesAvx2(true);
    ConvertYuv420ToBgr(y.data(), u.data(), v.data(), width, height, avx2.data(), c.colour);
    EXPECT_EQ(portable, avx2) << int(c.colour);
  }
}

// Black and white of a TV-range frame are black and white on the screen;
// full-range frames keep the preview's arithmetic (16 stays 16).
TEST(YuvToBgr, TvBlackAndWhiteBecomeScreenBlackAndWhite) {
  for (YuvColour colour : {YuvColour::kTvBt601, YuvColour::kTvBt709, YuvColour::kTvBt2020}) {
    for (auto [level, lowest, highest] : {std::tuple{16, 0, 4}, std::tuple{235, 250, 255}}) {
      uint8_t y[4] = {uint8_t(level), uint8_t(level), uint8_t(level), uint8_t(level)}, u = 128, v = 128, bits[16];
      ConvertYuv420ToBgr(y, &u, &v, 2, 2, bits, colour);
      for (int p = 0; p < 6; ++p) {
        EXPECT_GE(bits[p], lowest) << int(colour) << " level " << level;
        EXPECT_LE(bits[p], highest) << int(colour) << " level " << level;
      }
    }
  }
  uint8_t y[4] = {16, 16, 16, 16}, u = 128, v = 128, bits[16];
  ConvertYuv420ToBgr(y, &u, &v, 2, 2, bits, YuvColour::kFullRange);
  EXPECT_EQ(bits[0], 16);
  EXPECT_EQ(YuvColourFromCode(2), YuvColour::kTvBt709);
  EXPECT_EQ(YuvColourFromCode(77), YuvColour::kFullRange);
}

TEST(YuvToBgr, KnownColours) {
  struct Case {
    uint8_t y, u, v;
    uint8_t b, g, r;
  } cases[] = {
      {128, 128, 128, 128, 128, 128},  // grey stays grey
      {255, 128, 255, 255, 164, 255},  // red clamps at 255
      {0, 0, 128, 0, 44, 0},           // blue clamps at 0 from a negative value
  };
  for (const Case& c : cases) {
    uint8_t y[4] = {c.y, c.y, c.y, c.y}, u = c.u, v = c.v, bits[16];
    ConvertYuv420ToBgr(y, &u, &v, 2, 2, bits);
    for (int p = 0; p < 2; ++p) {
      EXPECT_EQ(bits[3 * p], c.b);
      EXPECT_EQ(bits[3 * p + 1], c.g);
      EXPECT_EQ(bits[3 * p + 2], c.r);
    }
  }
  EXPECT_EQ(BitmapStride(5), 16);
  EXPECT_EQ(BitmapStride(4), 12);
  EXPECT_EQ(BitmapStride(1), 4);
}

}  // namespace
}  // namespace mivora
