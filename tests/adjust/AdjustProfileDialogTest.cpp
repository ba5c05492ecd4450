// The "Adjust profiles" dialog's lists and its OK on real profile files.

#include <gtest/gtest.h>

#include <filesystem>

#include "windowmodels/AdjustProfileDialog.h"
#include "profiles/Profile.h"
#include "tests/adjust/AdjustTestFiles.h"

namespace fs = std::filesystem;

namespace mivora {
namespace {

// Every scalar of the record that the dialog may touch, in parameter order.
std::array<std::string, kParameterCount> Scalars(const Profile& p) {
  return {p.videoCodec, p.videoBitrate, p.videoSize, p.videoFrameRate, p.videoAspectRatio,
          p.audioCodec, p.audioBitrate, p.audioSampleRate, p.audioChannels, p.audioVolume};
}

TEST(AdjustDialog, OkWritesEveryChoiceIntoBothElements) {
  std::string path = test::CopyShippedProfile(test::kAviProfile);
  AdjustProfileDialog dialog(path);
  dialog.OnInitDialog();
  EXPECT_STREQ(dialog.Title(), "Adjust profiles");
  const ParameterPositions chosen = {1, 6, 0, 2, 2, 0, 5, 3, 0, 4};
  for (int i = 0; i < kParameterCount; ++i)
    ASSERT_TRUE(dialog.List(ProfileParameter(i)).Select(chosen[i])) << kScalarElementNames[i];
  ASSERT_TRUE(dialog.OnOK()) << dialog.Error();

  Profile profile;
  ASSERT_TRUE(profile.Load(path));
  const std::array<std::string, kParameterCount> expected = {
      "MPEG4", "3000", "320x240", "25", "16:9", "MP3", "256", "48000", "Mono", "150%"};
  EXPECT_EQ(Scalars(profile), expected);
  for (int i = 0; i < kParameterCount; ++i) {
    SCOPED_TRACE(kScalarElementNames[i]);
    std::string position = std::to_string(chosen[i]);
    EXPECT_EQ(test::AttributeOf(path, kScalarElementNames[i], "value"), expected[i]);
    EXPECT_EQ(test::AttributeOf(path, kScalarElementNames[i], "index"), position);
    EXPECT_NE(test::AttributeOf(path, kListElementNames[i], "value"), "<none>");
    EXPECT_EQ(test::AttributeOf(path, kListElementNames[i], "index"), position);
  }
  std::string arguments = profile.BuildEngineArguments();
  for (const char* piece : {"-vcodec mpeg4", "-b 3000k", "-s 320x240", "-r 25", "-ab 256k", "-ar 48000",
                            "-ac 1", "-aspect 16:9", "-vol 384"})
    EXPECT_NE(arguments.find(piece), std::string::npos) << piece << " in " << arguments;
}

TEST(AdjustDialog, PreselectionOutsideAListKeepsTheCurrentValue) {
  std::string path = test::CopyShippedProfile(test::kAviProfile);
  AdjustProfileDialog dialog(path, ParameterPositions{99, 6, -1, 0, 0, 0, 2, 2, 1, 2});
  dialog.OnInitDialog();
  EXPECT_FALSE(dialog.List(kVideoCodec).HasSelection());
  EXPECT_EQ(dialog.List(kVideoBitrate).ShownText(), "3000");
  ASSERT_TRUE(dialog.OnOK()) << dialog.Error();
  EXPECT_EQ(test::AttributeOf(path, "VideoCodec", "value"), "XviD");
  EXPECT_EQ(test::AttributeOf(path, "VideoCodec", "index"), "-1");
  EXPECT_EQ(test::AttributeOf(path, "VideoSize", "value"), "640x480");
  EXPECT_EQ(test::AttributeOf(path, "VideoBitrate", "value"), "3000");
}

TEST(AdjustDialog, EmptyListIsDisabledAndKeepsItsValue) {
  std::string path = test::MakeTempDir("empty") + "/p.xml";
  test::WriteFile(path,
                  "<?xml version=\"1.0\"?>\n<Profile>\n    <AudioCodec value=\"MP3\" index=\"0\"/>\n"
                  "    <AudioCodecList value=\"\" index=\"0\"/>\n</Profile>\n");
  AdjustProfileDialog dialog(path);
  dialog.OnInitDialog();
  EXPECT_EQ(dialog.List(kAudioCodec).Count(), 0u);
  EXPECT_FALSE(dialog.List(kAudioCodec).Enabled());
  ASSERT_TRUE(dialog.OnOK());
  Profile profile;
  ASSERT_TRUE(profile.Load(path));
  EXPECT_EQ(profile.audioCodec, "MP3");
  EXPECT_EQ(test::AttributeOf(path, "AudioCodec", "index"), "-1");
}

TEST(AdjustDialog, OkWithoutChangesKeepsEveryShippedProfile) {
  // Saving twice gives the same bytes, and the line reader's record keeps
  // every value and every list that was there.
  for (const auto& entry : fs::recursive_directory_iterator(MIVORA_SOURCE_PROFILES)) {
    if (entry.path().extension() != ".xml") continue;
    std::string relative = fs::relative(entry.path(), MIVORA_SOURCE_PROFILES).string();
    SCOPED_TRACE(relative);
    std::string path = test::CopyShippedProfile(relative);
    Profile before;
    ASSERT_TRUE(before.Load(path));
    std::string firstSave;
    for (int pass = 0; pass < 3; ++pass) {
      AdjustProfileDialog dialog(path);
      dialog.OnInitDialog();
      ASSERT_TRUE(dialog.OnOK()) << dialog.Error();
      if (pass == 0) firstSave = test::ReadFile(path);
      else EXPECT_EQ(test::ReadFile(path), firstSave);
    }
    Profile after;
    ASSERT_TRUE(after.Load(path));
    EXPECT_EQ(Scalars(after), Scalars(before));
    EXPECT_EQ(after.formatExt, before.formatExt);
    EXPECT_EQ(after.profileComment, before.profileComment);
    const ParameterList Profile::*lists[] = {
        &Profile::videoCodecList, &Profile::videoBitrateList, &Profile::videoSizeList,
        &Profile::videoFrameRateList, &Profile::videoAspectRatioList, &Profile::audioCodecList,
        &Profile::audioBitrateList, &Profile::audioSampleRateList, &Profile::audioChannelsList,
        &Profile::audioVolumeList};
    for (auto list : lists) {
      if (!(before.*list).items.empty()) {
        EXPECT_EQ(after.*list, before.*list);
      }
    }
    EXPECT_EQ(after.BuildEngineArguments(), before.BuildEngineArguments());
  }
}

TEST(AdjustDialog, SpecialCharactersSurvive) {
  std::string path = test::MakeTempDir("special") + "/p.xml";
  test::WriteFile(path,
                  "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Profile>\n"
                  "    <VideoSize value=\"a\"/>\n"
                  "    <VideoSizeList value=\"Größe 1,a&amp;b,&lt;x&gt;,it's,Ω*2\" index=\"0\"/>\n"
                  "</Profile>\n");
  const char* items[] = {"Größe 1", "a&b", "<x>", "it's", "Ω*2"};
  for (int position = 0; position < 5; ++position) {
    SCOPED_TRACE(items[position]);
    AdjustProfileDialog dialog(path);
    dialog.OnInitDialog();
    ASSERT_EQ(dialog.List(kVideoSize).Count(), 5u);
    dialog.List(kVideoSize).Select(position);
    ASSERT_TRUE(dialog.OnOK());
    EXPECT_EQ(test::AttributeOf(path, "VideoSize", "value"), items[position]);
    EXPECT_EQ(test::AttributeOf(path, "VideoSizeList", "value"), "Größe 1,a&b,<x>,it's,Ω*2");
  }
  // Texts without XML markup characters read the same through the line reader.
  Profile profile;
  ASSERT_TRUE(profile.Load(path));
  EXPECT_EQ(profile.videoSize, "Ω*2");
  EXPECT_EQ(profile.videoSizeList.items.front(), "Größe 1");
  EXPECT_EQ(profile.videoSizeList.items[3], "it's");
}

TEST(AdjustDialog, FileThatDoesNotOpenIsNotWritten) {
  std::string folder = test::MakeTempDir("hostile");
  struct Case {
    const char* name;
    std::string text;
  };
  const Case cases[] = {
      {"broken.xml", "<Profile>\n    <VideoCodec value=\"XviD\" index=\"0\">\n</Profile>\n"},
      {"entities.xml",
       "<?xml version=\"1.0\"?>\n<!DOCTYPE p [<!ENTITY a \"aaaaaaaaaa\"><!ENTITY b \"&a;&a;&a;&a;\">]>\n"
       "<Profile>\n    <VideoCodec value=\"&b;\"/>\n    <VideoCodecList value=\"&b;\" index=\"0\"/>\n</Profile>\n"},
      {"huge.xml", "<Profile>\n    <VideoCodecList value=\"" + std::string(17u << 20, 'x') +
                       "\" index=\"0\"/>\n</Profile>\n"},
      {"binary.xml", std::string("\0\xff\xfe<Profile>\n", 13)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string path = folder + "/" + c.name;
    test::WriteFile(path, c.text);
    AdjustProfileDialog dialog(path, ParameterPositions{});
    dialog.OnInitDialog();
    for (int i = 0; i < kParameterCount; ++i) EXPECT_EQ(dialog.List(ProfileParameter(i)).Count(), 0u);
    EXPECT_FALSE(dialog.OnOK());
    EXPECT_FALSE(dialog.Error().empty());
    EXPECT_TRUE(test::ReadFile(path) == c.text);
  }
  AdjustProfileDialog missing(folder + "/missing.xml");
  missing.OnInitDialog();
  EXPECT_FALSE(missing.OnOK());
  EXPECT_FALSE(fs::exists(folder + "/missing.xml"));
  AdjustProfileDialog noPath("");
  noPath.OnInitDialog();
  EXPECT_FALSE(noPath.OnOK());
}

TEST(AdjustDialog, ParameterNames) {
  EXPECT_EQ(ParameterByName("AudioVolume"), kAudioVolume);
  EXPECT_EQ(ParameterByName("VideoCodec"), kVideoCodec);
  EXPECT_EQ(ParameterByName("VideoCodecList"), std::nullopt);
  EXPECT_EQ(ParameterByName("videocodec"), std::nullopt);
}

}  // namespace
}  // namespace mivora
