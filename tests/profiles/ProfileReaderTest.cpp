#include <gtest/gtest.h>

#include <functional>

#include "profiles/Profile.h"
#include "tests/support/TestEnvironment.h"

namespace mivora {
namespace {

Profile LoadFrom(const std::string& text) {
  std::string path = test::MakeTempDir("reader") + "/p.xml";
  test::WriteFile(path, text);
  Profile profile;
  EXPECT_TRUE(profile.Load(path));
  // The in-memory reader must agree with the file reader.
  Profile fromText;
  fromText.LoadText(text);
  EXPECT_EQ(fromText, profile);
  return profile;
}

struct ReaderCase {
  const char* name;
  std::string text;
  std::function<void(const Profile&)> check;
};

TEST(ProfileReader, LineRules) {
  const ReaderCase cases[] = {
      {"last line is never read, with a final line feed",
       "<P>\n<FormatExt value=\"avi\"/>\n<VideoCodec value=\"XviD\"/>\n",
       [](const Profile& p) {
         EXPECT_EQ(p.formatExt, "avi");
         EXPECT_EQ(p.videoCodec, "");
       }},
      {"last line is never read, without a final line feed",
       "<P>\n<FormatExt value=\"avi\"/>\n<VideoCodec value=\"XviD\"/>",
       [](const Profile& p) {
         EXPECT_EQ(p.formatExt, "avi");
         EXPECT_EQ(p.videoCodec, "");
       }},
      {"CR LF reads like LF",
       "<P>\r\n<FormatExt value=\"avi\"/>\r\n<VideoSizeList value=\"a,b\" index=\"1\"/>\r\n</P>\r\n",
       [](const Profile& p) {
         EXPECT_EQ(p.formatExt, "avi");
         EXPECT_EQ(p.videoSizeList.items, (std::vector<std::string>{"a", "b"}));
         EXPECT_EQ(p.videoSizeList.index, 1);
       }},
      {"scalar and list lines of the same name stay apart",
       "<P>\n<VideoCodec value=\"XviD\" index=\"0\"/>\n<VideoCodecList value=\"XviD,MPEG4\" index=\"1\"/>\n</P>\n",
       [](const Profile& p) {
         EXPECT_EQ(p.videoCodec, "XviD");
         EXPECT_EQ(p.videoCodecList.items, (std::vector<std::string>{"XviD", "MPEG4"}));
         EXPECT_EQ(p.videoCodecList.index, 1);
       }},
      {"an empty list value is one empty item",
       "<P>\n<AudioBitrateList value=\"\" index=\"3\"/>\n</P>\n",
       [](const Profile& p) {
         EXPECT_EQ(p.audioBitrateList.items, std::vector<std::string>{""});
         EXPECT_EQ(p.audioBitrateList.index, 3);
       }},
      {"the first key in table order wins",
       "<P>\n<ProfileComment value=\"has VideoSize in it\"/>\n<X VideoSize =\"1\" AudioCodec =\"2\"/>\n</P>\n",
       [](const Profile& p) {
         EXPECT_EQ(p.profileComment, "has VideoSize in it");
         EXPECT_EQ(p.videoSize, "1");
         EXPECT_EQ(p.audioCodec, "");
       }},
      {"text content instead of a value attribute is not read",
       "<P>\n<VideoCodec>XviD</VideoCodec>\n</P>\n",
       [](const Profile& p) { EXPECT_EQ(p.videoCodec, ""); }},
      {"a later line of the same key replaces the earlier",
       "<P>\n<AudioCodec value=\"MP3\"/>\n<AudioCodec value=\"AAC\"/>\n</P>\n",
       [](const Profile& p) { EXPECT_EQ(p.audioCodec, "AAC"); }},
      {"list index: sign, garbage, missing, huge",
       "<P>\n<VideoSizeList value=\"a\" index=\"-2\"/>\n<AudioCodecList value=\"a\" index=\"x7\"/>\n"
       "<AudioBitrateList value=\"1,,2\"/>\n<VideoBitrateList value=\"1\" index=\"99999999999\"/>\n</P>\n",
       [](const Profile& p) {
         EXPECT_EQ(p.videoSizeList.index, -2);
         EXPECT_EQ(p.audioCodecList.index, 0);
         EXPECT_EQ(p.audioBitrateList.items, (std::vector<std::string>{"1", "", "2"}));
         EXPECT_EQ(p.audioBitrateList.index, 0);
         EXPECT_EQ(p.videoBitrateList.index, 2147483647);
       }},
      {"a line with one quote gives an empty value",
       "<P>\n<FormatExt value=\"avi/>\n</P>\n",
       [](const Profile& p) { EXPECT_EQ(p.formatExt, ""); }},
      {"empty file", "", [](const Profile& p) { EXPECT_EQ(p, Profile()); }},
      {"a lone line feed", "\n", [](const Profile& p) { EXPECT_EQ(p, Profile()); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    c.check(LoadFrom(c.text));
  }
}

TEST(ProfileReader, MissingLinesKeepEarlierContentAndMissingFileChangesNothing) {
  Profile profile;
  profile.formatExt = "old";
  profile.audioCodec = "keep";
  std::string path = test::MakeTempDir("keep") + "/p.xml";
  test::WriteFile(path, "<P>\n<FormatExt value=\"mp4\"/>\n</P>\n");
  ASSERT_TRUE(profile.Load(path));
  EXPECT_EQ(profile.formatExt, "mp4");
  EXPECT_EQ(profile.audioCodec, "keep");

  Profile before = profile;
  EXPECT_FALSE(profile.Load(path + ".missing"));
  EXPECT_EQ(profile, before);
  EXPECT_TRUE(Profile().Load(test::MakeTempDir("folder")));  // a folder opens but holds no lines
}

TEST(ProfileReader, LinesLongerThanTheLimitAreSkippedAndTheRestIsRead) {
  std::string text = "<P>\n<FormatExt value=\"avi\"/>\n<VideoCodec value=\"";
  text.append(kMaxProfileLineBytes + 10, 'A');
  text += "\"/>\n<AudioCodec value=\"MP3\"/>\n</P>\n";
  Profile profile = LoadFrom(text);
  EXPECT_EQ(profile.formatExt, "avi");
  EXPECT_EQ(profile.videoCodec, "");
  EXPECT_EQ(profile.audioCodec, "MP3");
}

TEST(ProfileReader, CrLfProfileReadsLikeItsLfTwin) {
  std::string crlf = test::ReadFile(MIVORA_TEST_DATA_DIR "/profiles/sample-crlf.xml");
  ASSERT_NE(crlf.find("\r\n"), std::string::npos);
  std::string lf;
  for (char c : crlf)
    if (c != '\r') lf += c;
  Profile fromCrlf = LoadFrom(crlf), fromLf = LoadFrom(lf);
  EXPECT_EQ(fromCrlf, fromLf);
  EXPECT_EQ(fromCrlf.videoCodec, "XviD");
  EXPECT_EQ(fromCrlf.audioVolumeList.items.back(), "200%");
}

TEST(ProfileReader, LeadingInteger) {
  const std::pair<const char*, int32_t> cases[] = {
      {"12", 12}, {" 7x", 7}, {"-3", -3}, {"+4", 4}, {"", 0}, {"x1", 0},
      {"-99999999999", -2147483647 - 1}, {"2147483648", 2147483647},
  };
  for (const auto& [text, expected] : cases) EXPECT_EQ(LeadingInteger(text), expected) << text;
}

}  // namespace
}  // namespace mivora
