#include <gtest/gtest.h>

#include <climits>
#include <clocale>
#include <cstdint>

#include "common/Format.h"

namespace mivora {
namespace {

TEST(FormatByteSize, UnitsAndTruncatedDecimals) {
  const struct {
    uint64_t bytes;
    const char* text;
  } rows[] = {
      {0, "0 Bytes"},
      {1023, "1023 Bytes"},
      {1024, "1.00 KB"},
      {1536, "1.50 KB"},
      {1048575, "1023.99 KB"},  // truncated, never rounded up to 1024.00
      {1048576, "1.00 MB"},
      {7675576, "7.31 MB"},
      {(uint64_t{1} << 30) * 3 / 2, "1.50 GB"},
      {uint64_t{1} << 40, "1.00 TB"},
      {uint64_t{1} << 50, "1.00 PB"},
      {uint64_t{1} << 60, "1.00 EB"},
      {UINT64_MAX, "15.99 EB"},
  };
  for (const auto& row : rows) EXPECT_EQ(FormatByteSize(row.bytes), row.text) << row.bytes;
}

TEST(FormatClock, HoursMinutesSeconds) {
  EXPECT_EQ(FormatClock(0), "00:00:00");
  EXPECT_EQ(FormatClock(59), "00:00:59");
  EXPECT_EQ(FormatClock(3661), "01:01:01");
  EXPECT_EQ(FormatClock(100 * 3600), "100:00:00");
  EXPECT_EQ(FormatClock(UINT32_MAX), "1193046:28:15");
}

TEST(ParseClock, FieldsFromTheLeft) {
  const struct {
    const char* text;
    int32_t seconds;
  } rows[] = {
      {"01:02:03", 3723},
      {"00:00:05.12", 5},
      {"1:2:3:4", 3723},  // at most two ':' are consumed
      {"03:25", 3 * 3600 + 25},
      {"42", 42},
      {"", 0},
      {"ab:cd:ef", 0},
      {"00:03:25.04", 205},
      {"99999999999999999999:00:00", INT32_MAX},  // saturates instead of overflowing
  };
  for (const auto& row : rows) EXPECT_EQ(ParseClock(row.text), row.seconds) << row.text;
}

TEST(ParseByteSize, LeadingDigitsTimesUnit) {
  const struct {
    const char* text;
    int64_t bytes;
  } rows[] = {
      {"7.32 MB", 7340032},
      {"10.50 MB", 10485760},
      {"512 Bytes", 512},
      {"no digits", 0},
      {"3 KB", 3072},
      {"2 GB", int64_t{2} << 30},
      {"1 TB", int64_t{1} << 40},
      {"1 PB", int64_t{1} << 50},
      {"1 EB", 1},  // EB is not a recognised ending
      {"99999999999999999999 PB", INT64_MAX},
  };
  for (const auto& row : rows) EXPECT_EQ(ParseByteSize(row.text), row.bytes) << row.text;
}

TEST(FormatRoundTrip, FormattedSizeParsesBackToItsWholeUnits) {
  // What the list shows and what the estimate reads back agree on whole units.
  EXPECT_EQ(ParseByteSize(FormatByteSize((uint64_t{7} << 20) + 12345)), int64_t{7} << 20);
  EXPECT_EQ(ParseByteSize(FormatByteSize((uint64_t{3} << 30) + 999)), int64_t{3} << 30);
}

TEST(BitrateToBytes, BitsShiftedThenMultiplied) {
  EXPECT_EQ(BitrateToBytes(8000, 10), 10000u);
  EXPECT_EQ(BitrateToBytes(7, 100), 0u);  // the shift comes first
  EXPECT_EQ(BitrateToBytes(UINT32_MAX, UINT32_MAX), uint64_t{UINT32_MAX >> 3} * UINT32_MAX);
}

TEST(ParseWholeNumber, WholeTextWithinItsRangeOrNothing) {
  struct Row {
    const char* text;
    long long minimum, maximum;
    bool ok;
    long long value;
  } rows[] = {
      {"42", 0, 100, true, 42},
      {"-7", -10, 10, true, -7},
      {"+7", 0, 10, true, 7},
      {" 7", 0, 10, true, 7},
      {"0xFFFFFFFF", 0, 0xFFFFFFFFLL, false, 0},  // decimal only
      {"4294967295", 0, 0xFFFFFFFFLL, true, 4294967295LL},
      {"101", 0, 100, false, 0},
      {"-1", 0, 100, false, 0},
      {"12abc", 0, 100, false, 0},
      {"12 ", 0, 100, false, 0},
      {"", 0, 100, false, 0},
      {"-", 0, 100, false, 0},
      {"99999999999999999999", 0, LLONG_MAX, false, 0},  // out of range for strtoll
  };
  for (const Row& row : rows) {
    long long value = -12345;
    EXPECT_EQ(ParseWholeNumber(row.text, row.minimum, row.maximum, &value), row.ok) << row.text;
    EXPECT_EQ(value, row.ok ? row.value : -12345) << row.text;
  }
}

TEST(RoundHalfAway, HalvesGoAwayFromZero) {
  EXPECT_EQ(RoundHalfAway(2.5), 3);
  EXPECT_EQ(RoundHalfAway(-2.5), -3);
  EXPECT_EQ(RoundHalfAway(2.49), 2);
  EXPECT_EQ(RoundHalfAway(0.0), 0);
}

TEST(FormatLocale, CommaLocaleDoesNotChangeTexts) {
  const char* previous = std::setlocale(LC_NUMERIC, nullptr);
  std::string saved = previous ? previous : "C";
  if (!std::setlocale(LC_NUMERIC, "de_DE.UTF-8")) GTEST_SKIP() << "no comma locale installed";
  EXPECT_EQ(FormatByteSize(1536), "1.50 KB");
  EXPECT_EQ(ParseByteSize("7.32 MB"), 7340032);
  std::setlocale(LC_NUMERIC, saved.c_str());
}

}  // namespace
}  // namespace mivora
