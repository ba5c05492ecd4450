#include <gtest/gtest.h>

#include "common/TextCodec.h"

namespace mivora {
namespace {

TEST(TextCodec, RepairReplacesEveryInvalidSequence) {
  const struct {
    std::string in;
    std::string out;
  } rows[] = {
      {"plain", "plain"},
      {"Käse €", "Käse €"},
      {"a\xff" "b", "a\xEF\xBF\xBD" "b"},
      {"\xC3", "\xEF\xBF\xBD"},                          // cut sequence at the end
      {"\xC0\xAF", "\xEF\xBF\xBD\xEF\xBF\xBD"},          // overlong '/'
      {"\xED\xA0\x80", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},  // surrogate
      {std::string("a\0b", 3), std::string("a\0b", 3)},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(RepairUtf8(row.in), row.out);
    EXPECT_TRUE(IsValidUtf8(RepairUtf8(row.in)));
  }
}

TEST(TextCodec, Utf16RoundTripKeepsEveryPlane) {
  std::string text = "Zoë 🎬 日本";
  EXPECT_EQ(Utf16ToUtf8(Utf8ToUtf16(text)), text);
  EXPECT_EQ(Utf8ToUtf16("🎬").size(), 2u);
  EXPECT_EQ(Utf16ToUtf8(std::u16string(1, u'\xD800')), "\xEF\xBF\xBD");
}

TEST(TextCodec, AnsiToUtf8IsNeverCut) {
  std::string longName(5000, 'n');
  EXPECT_EQ(AnsiToUtf8(longName), longName);
  EXPECT_EQ(AnsiToUtf8(""), "");
}

}  // namespace
}  // namespace mivora
