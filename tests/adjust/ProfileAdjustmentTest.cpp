// Drop-down lists filled from profile files and written back into them.

#include <gtest/gtest.h>

#include "profiles/ParameterLists.h"
#include "profiles/Profile.h"
#include "profiles/ProfileAdjustment.h"
#include "tests/adjust/AdjustTestFiles.h"

namespace mivora {
namespace {

using Items = std::vector<std::string>;

TEST(AdjustLists, FillListControlFromListElements) {
  struct Case {
    const char* element;
    Items items;
    int32_t selected;
    bool enabled;
  };
  const Case cases[] = {
      {"<VideoCodecList value=\"XviD,MPEG4\" index=\"1\"/>", {"XviD", "MPEG4"}, 1, true},
      {"<VideoCodecList value=\"XviD,MPEG4\"/>", {"XviD", "MPEG4"}, 0, true},
      {"<VideoCodecList value=\"a,,b,\" index=\"1\"/>", {"a", "b"}, 1, true},
      {"<VideoCodecList value=\"XviD,MPEG4\" index=\"2\"/>", {"XviD", "MPEG4"}, -1, true},
      {"<VideoCodecList value=\"XviD\" index=\"-1\"/>", {"XviD"}, -1, true},
      {"<VideoCodecList value=\"\" index=\"0\"/>", {}, -1, false},
      {"<VideoCodecList index=\"0\"/>", {}, -1, false},
      {"<Other value=\"a,b\" index=\"0\"/>", {}, -1, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.element);
    XmlDocument document;
    ASSERT_TRUE(document.LoadText(std::string("<Profile>") + c.element + "</Profile>"));
    ListControl control;
    control.AddItem("stale");
    control.SetEnabled(!c.enabled);
    EXPECT_EQ(FillListControl(document, "VideoCodecList", control), static_cast<int32_t>(c.items.size()));
    EXPECT_EQ(control.Items(), c.items);
    EXPECT_EQ(control.Selected(), c.selected);
    EXPECT_EQ(control.Enabled(), c.enabled);
  }
}

TEST(AdjustLists, WritersPutValueBeforeIndexAndKeepTheLineFormat) {
  XmlDocument document;
  ASSERT_TRUE(document.LoadText("<Profile>\n    <VideoSize index=\"7\"/>\n</Profile>\n"));
  ListControl sizes;
  for (const char* item : {"320x240", "640x480"}) sizes.AddItem(item);
  sizes.Select(1);
  WriteScalarFromControl(document, "VideoSize", sizes);
  WriteListFromControl(document, "VideoSizeList", sizes);
  ListControl empty;
  empty.SetText("Keep");
  WriteScalarFromControl(document, "VideoFrameRate", empty);
  WriteListFromControl(document, "VideoFrameRateList", empty);
  std::string saved = document.SaveText();
  EXPECT_EQ(saved,
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Profile>\n"
            "    <VideoSize index=\"1\" value=\"640x480\"/>\n"
            "    <VideoSizeList value=\"320x240,640x480\" index=\"1\"/>\n"
            "    <VideoFrameRate value=\"Keep\" index=\"-1\"/>\n"
            "    <VideoFrameRateList value=\"\" index=\"-1\"/>\n"
            "</Profile>\n");
  Profile profile;
  profile.LoadText(saved);
  EXPECT_EQ(profile.videoSizeList, (ParameterList{{"320x240", "640x480"}, 1}));
  EXPECT_EQ(profile.videoFrameRate, "Keep");
}

TEST(AdjustLists, BitrateValueDropsTheUnit) {
  const std::pair<const char*, const char*> cases[] = {
      {"128 Kbps", "128"}, {"  64 Kbps", "64"}, {"1000 Kbps", "1000"}, {"Kbps", ""}, {"ab", ""}, {"", ""}};
  for (const auto& [item, value] : cases) EXPECT_EQ(BitrateValueFromItem(item), value) << item;
}

TEST(AdjustLists, PickedAudioBitrateIsWrittenWithTheVideoSelection) {
  std::string path = test::CopyShippedProfile(test::kAviProfile);
  Profile before;
  ASSERT_TRUE(before.Load(path));
  ListControl audio, video;
  ASSERT_TRUE(RefillBitrateLists(path, audio, video));
  EXPECT_EQ(audio.Items().front(), "64 Kbps");
  EXPECT_EQ(audio.Selected(), 2);
  EXPECT_EQ(video.ShownText(), "1200 Kbps");
  ASSERT_TRUE(audio.Select(5));
  ASSERT_EQ(audio.ShownText(), "256 Kbps");
  ASSERT_TRUE(WriteBitrateChoice(path, audio, video));

  EXPECT_EQ(test::AttributeOf(path, "AudioBitrate", "value"), "256");
  EXPECT_EQ(test::AttributeOf(path, "AudioBitrate", "index"), "5");
  EXPECT_EQ(test::AttributeOf(path, "AudioBitrateList", "index"), "5");
  EXPECT_EQ(test::AttributeOf(path, "VideoBitrate", "value"), "1200");
  EXPECT_EQ(test::AttributeOf(path, "VideoBitrate", "index"), "3");
  EXPECT_EQ(test::AttributeOf(path, "VideoBitrateList", "index"), "3");
  EXPECT_EQ(ReadSelectedBitrate(path, "AudioBitrateList"), 256);
  // The line reader sees exactly the audio choice changed.
  Profile after;
  ASSERT_TRUE(after.Load(path));
  Profile expected = before;
  expected.audioBitrate = "256";
  expected.audioBitrateList.index = 5;
  EXPECT_EQ(after, expected);
}

TEST(AdjustLists, ListWithoutSelectionWritesNothing) {
  // An audio profile has no video bit rates: changing the audio bit rate must
  // not add empty video bit-rate elements.
  std::string path = test::CopyShippedProfile(test::kMp3Profile);
  ListControl audio, video;
  ASSERT_TRUE(RefillBitrateLists(path, audio, video));
  EXPECT_EQ(video.Count(), 0u);
  audio.Select(0);
  ASSERT_TRUE(WriteBitrateChoice(path, audio, video));
  EXPECT_EQ(test::AttributeOf(path, "AudioBitrate", "value"), "32");
  EXPECT_EQ(test::AttributeOf(path, "VideoBitrate", "index"), "<none>");
  EXPECT_EQ(test::AttributeOf(path, "VideoBitrateList", "index"), "<none>");
}

TEST(AdjustLists, UnreadableFileLeavesTheListsAndTheFile) {
  std::string path = test::MakeTempDir("bad") + "/broken.xml";
  const std::string text = "<Profile>\n    <AudioBitrateList value=\"64,128\" index=\"1\">\n</Profile>\n";
  test::WriteFile(path, text);
  ListControl audio, video;
  audio.AddItem("96 Kbps");
  audio.Select(0);
  EXPECT_FALSE(RefillBitrateLists(path, audio, video));
  EXPECT_EQ(audio.Items(), Items{"96 Kbps"});
  EXPECT_FALSE(WriteBitrateChoice(path, audio, video));
  EXPECT_EQ(test::ReadFile(path), text);
}

}  // namespace
}  // namespace mivora
