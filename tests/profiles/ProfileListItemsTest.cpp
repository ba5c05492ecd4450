// Every item of every adjustable list of every shipped profile works: the item
// is written into a copy of the profile the way the "Adjust profiles" dialog
// writes a choice (value and index of the scalar, index of the list), and the
// copy converts a generated clip into what it now promises. The clip has full
// chroma (4:4:4), which every video codec must still turn into 4:2:0.

#include <gtest/gtest.h>

#include "profiles/ParameterLists.h"
#include "profiles/XmlDocument.h"
#include "tests/profiles/ProfileConversion.h"
#include "tests/support/TestEnvironment.h"

namespace mivora::test {
namespace {

const char* const kAdjustable[] = {"VideoCodec",   "VideoBitrate",   "VideoSize",     "VideoFrameRate",
                                   "VideoAspectRatio", "AudioCodec", "AudioBitrate",  "AudioSampleRate",
                                   "AudioChannels", "AudioVolume"};

class ProfileListItems : public ::testing::TestWithParam<ShippedProfile> {};

TEST_P(ProfileListItems, EveryItemConverts) {
  const std::string& path = GetParam().entry.path;
  for (const char* scalar : kAdjustable) {
    XmlDocument original;
    ASSERT_TRUE(original.Load(path));
    ParameterList list = ReadParameterList(original, std::string(scalar) + "List");
    for (size_t position = 0; position < list.items.size(); ++position) {
      if (static_cast<int32_t>(position) == list.index) continue;  // converted by the e2e test
      XmlDocument document;
      ASSERT_TRUE(document.Load(path));
      XmlNode value = document.Root().SelectChild(scalar, true);
      value.SetAttribute("value", list.items[position]);
      value.SetIntAttribute("index", static_cast<int32_t>(position));
      document.Root().SelectChild(std::string(scalar) + "List", true).SetIntAttribute("index", static_cast<int32_t>(position));
      std::string copy = MakeTempDir("adjusted") + "/profile.xml";
      ASSERT_TRUE(document.Save(copy));
      ConvertAndCheck(copy, PixelFormatClip("yuv444p", 1), std::string(scalar) + " = " + list.items[position]);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Shipped, ProfileListItems, ::testing::ValuesIn(ShippedProfilesForTests()),
                         [](const auto& info) { return info.param.testName; });

}  // namespace
}  // namespace mivora::test
