#include "net/VersionReply.h"

#include <gtest/gtest.h>

namespace mivora {
namespace {

TEST(VersionReplyTest, TagsAreReadAndMissingOnesKeepTheOwnVersion) {
  struct {
    std::string reply;
    std::string text;
    int number;
    int build;
    bool newer;
  } cases[] = {
      {"<html><v>1.31</v><i>131</i><b>1</b></html>", "1.31", 131, 1, true},
      {"<v>1.20</v><i>120</i><b>300</b>", "1.20", 120, 300, true},
      {"<v>1.30</v><i>130</i><b>202</b>", "1.30", 130, 202, false},
      {"<i>129</i><b>202</b>", "130", 129, 202, false},
      {"no tags at all", "130", 130, 202, false},
      {"", "130", 130, 202, false},
      {"<I>200</I><B>300</B>", "130", 130, 202, false},  // tags are case-sensitive
      {"<i>140abc</i>", "130", 140, 202, true},           // leading digits only
      {"<i>abc</i><b>x</b>", "130", 0, 0, false},
      {"<i>99999999999999</i>", "130", 2147483647, 202, true},
      {"<b>203", "130", 130, 202, false},                 // no closing tag
      {"</i>5<i>131</i>", "130", 131, 202, true},         // closing tag before the opening one
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.reply);
    VersionInfo info = ParseVersionReply(c.reply);
    EXPECT_EQ(info.text, c.text);
    EXPECT_EQ(info.number, c.number);
    EXPECT_EQ(info.build, c.build);
    EXPECT_EQ(IsNewerThanOwn(info), c.newer);
  }
}

TEST(VersionReplyTest, OnlyTheFirst1023BytesCount) {
  std::string padding(1000, ' ');
  EXPECT_EQ(ParseVersionReply(padding + "<i>131</i>").number, 131);  // ends at byte 1010
  std::string late(1015, ' ');
  EXPECT_EQ(ParseVersionReply(late + "<i>131</i>").number, 130);    // closing tag beyond 1023
}

TEST(VersionReplyTest, QuestionNamesTextAndBuild) {
  VersionInfo info{"1.31", 131, 7};
  EXPECT_EQ(NewVersionQuestion(info), "Found new version: 1.31 build 7,do you want download now?");
}

}  // namespace
}  // namespace mivora
