#include <gtest/gtest.h>

#include "pattern/Pattern.h"

namespace mivora {
namespace {

TEST(Pattern, LeftmostMatchWithStartAndLength) {
  const struct {
    const char* pattern;
    std::string text;
    bool found;
    size_t start, length;
  } rows[] = {
      {"time=\\d+:\\d+:\\d+", "frame= 10 time=00:00:01.20 bitrate", true, 10, 13},
      {"\\d{2}:\\d{2}:\\d{2}\\.\\d{2}", "Duration: 00:03:25.04, start", true, 10, 11},
      {"\\d+ kb/s", "bitrate: 1205 kb/s", true, 9, 9},
      {"[0-9]{2,}x[0-9]+", "yuv420p, 6x4, 1280x720 [SAR", true, 14, 8},
      {"[\\d.]+ fps", "25 tbr, 29.97 fps, 30 tbn", true, 8, 9},
      {"-s \\d+x\\d+", "-b 800k -s 320x240 -r 25", true, 8, 10},
      {"-r \\d+", "no rate here", false, 0, 0},
      {"a+", "", false, 0, 0},
  };
  for (const auto& row : rows) {
    auto match = FindPattern(row.pattern, row.text);
    ASSERT_EQ(match.has_value(), row.found) << row.pattern;
    if (match) {
      EXPECT_EQ(match->start, row.start) << row.pattern;
      EXPECT_EQ(match->length, row.length) << row.pattern;
    }
  }
}

TEST(Pattern, EightBitTextAndBadExpressions) {
  Pattern p("\\d+");
  EXPECT_EQ(p.FindText("\xff\xfe 123 \xc3"), "123");
  Pattern broken("[unclosed");
  EXPECT_FALSE(broken.ok());
  EXPECT_FALSE(broken.Find("anything").has_value());
}

}  // namespace
}  // namespace mivora
